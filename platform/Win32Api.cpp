#include "platform/Win32Api.h"

#ifdef _WIN32
namespace {
// A function of user32.dll that older Windows lack: null there.
template <class Fn>
Fn Newer(const char* name)
{
    const FARPROC function = GetProcAddress(GetModuleHandleA("user32.dll"), name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(function));
}

// Looked up at the first call, so that the programs still start on systems before Vista.
HRESULT WINAPI QueryUserNotificationState(QUERY_USER_NOTIFICATION_STATE* state)
{
    static const auto query = reinterpret_cast<decltype(&::SHQueryUserNotificationState)>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("shell32.dll"), "SHQueryUserNotificationState")));
    return query ? query(state) : E_NOTIMPL;
}
} // namespace
#else
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
        ::FindWindowA, ::SHAppBarMessage, ::MonitorFromPoint, ::MonitorFromRect, ::GetMonitorInfoA,
        Newer<decltype(&::GetDpiForWindow)>("GetDpiForWindow"),
        Newer<decltype(&::GetSystemMetricsForDpi)>("GetSystemMetricsForDpi"),
        Newer<decltype(&::SystemParametersInfoForDpi)>("SystemParametersInfoForDpi"),
        ::GetTickCount, QueryUserNotificationState,
#else
        HostWsprintfA, HostCharToOemBuffA, HostOemToCharBuffA,
#endif
    };
    return api;
}
