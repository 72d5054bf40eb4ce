#include "platform/Win32Api.h"

#ifndef _WIN32
#include "platform/HostText.h"
#endif

Win32Api& Win()
{
    static Win32Api api = {
#ifdef _WIN32
        ::wsprintfA, ::CharToOemBuffA, ::OemToCharBuffA,
        ::CreateFileA, ::CreateMailslotA, ::GetMailslotInfo, ::ReadFile, ::WriteFile, ::CloseHandle, ::GetComputerNameA,
        ::CreateMutexA, ::GetLastError, ::ReleaseMutex, ::GetVersion,
        ::Shell_NotifyIconA,
        ::LoadMenuA, ::GetSubMenu, ::SetMenuDefaultItem, ::GetMenuItemID, ::TrackPopupMenu,
        ::GetSystemMenu, ::AppendMenuA, ::DestroyMenu,
        ::MessageBoxA, ::SetForegroundWindow, ::GetCursorPos, ::PostMessageA, ::SendMessageA,
        ::IsWindow, ::IsIconic, ::ShowWindow, ::GetClientRect, ::GetSystemMetrics, ::DrawIcon,
        ::LoadImageA, ::RegisterWindowMessageA,
#else
        HostWsprintfA, HostCharToOemBuffA, HostOemToCharBuffA,
#endif
    };
    return api;
}
