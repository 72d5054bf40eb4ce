#pragma once
#include "platform/Win32.h"

// Every Win32 operation the program calls goes through this one table. It starts out
// pointing at the real API; a test replaces single entries with ScopedOverride to record
// calls or inject results, and everything it does not replace stays real.
struct Win32Api {
    // Text: also in the host build, where stand-ins take the place of the Windows ones.
    int (WINAPIV* wsprintfA)(LPSTR, LPCSTR, ...);
    BOOL (WINAPI* CharToOemBuffA)(LPCSTR, LPSTR, DWORD);
    BOOL (WINAPI* OemToCharBuffA)(LPCSTR, LPSTR, DWORD);
#ifdef _WIN32
    // Files, mailslots and the computer name
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::CreateMailslotA) CreateMailslotA;
    decltype(&::GetMailslotInfo) GetMailslotInfo;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::GetComputerNameA) GetComputerNameA;
    // Processes
    decltype(&::CreateMutexA) CreateMutexA;
    decltype(&::GetLastError) GetLastError;
    decltype(&::ReleaseMutex) ReleaseMutex;
    decltype(&::GetVersion) GetVersion;
    // Shell
    decltype(&::Shell_NotifyIconA) Shell_NotifyIconA;
    // Menus
    decltype(&::LoadMenuA) LoadMenuA;
    decltype(&::GetSubMenu) GetSubMenu;
    decltype(&::SetMenuDefaultItem) SetMenuDefaultItem;
    decltype(&::GetMenuItemID) GetMenuItemID;
    decltype(&::TrackPopupMenu) TrackPopupMenu;
    decltype(&::GetSystemMenu) GetSystemMenu;
    decltype(&::AppendMenuA) AppendMenuA;
    decltype(&::DestroyMenu) DestroyMenu;
    // Windows
    decltype(&::MessageBoxA) MessageBoxA;
    decltype(&::SetForegroundWindow) SetForegroundWindow;
    decltype(&::GetCursorPos) GetCursorPos;
    decltype(&::PostMessageA) PostMessageA;
    decltype(&::SendMessageA) SendMessageA;
    decltype(&::IsWindow) IsWindow;
    decltype(&::IsIconic) IsIconic;
    decltype(&::ShowWindow) ShowWindow;
    decltype(&::GetClientRect) GetClientRect;
    decltype(&::GetSystemMetrics) GetSystemMetrics;
    decltype(&::DrawIcon) DrawIcon;
    decltype(&::LoadImageA) LoadImageA;
    decltype(&::RegisterWindowMessageA) RegisterWindowMessageA;
    // Monitors and the taskbar
    decltype(&::FindWindowA) FindWindowA;
    decltype(&::SHAppBarMessage) SHAppBarMessage;
    decltype(&::MonitorFromPoint) MonitorFromPoint;
    decltype(&::MonitorFromRect) MonitorFromRect;
    decltype(&::GetMonitorInfoA) GetMonitorInfoA;
    // DPI, from Windows 10 1607 on; null where Windows is older (found at run time, so that
    // the programs still start there).
    decltype(&::GetDpiForWindow) GetDpiForWindow;
    decltype(&::GetSystemMetricsForDpi) GetSystemMetricsForDpi;
    decltype(&::SystemParametersInfoForDpi) SystemParametersInfoForDpi;
    // The time, and whether the user has the screen for a full-screen program or a
    // presentation (Windows Vista on: E_NOTIMPL on older systems)
    decltype(&::GetTickCount) GetTickCount;
    decltype(&::SHQueryUserNotificationState) SHQueryUserNotificationState;
#endif
};

// The table. A function, not a plain global, because global objects of the program use it
// from their constructors, before other globals are guaranteed to be built.
Win32Api& Win();

// Replaces one entry of the table for the lifetime of the object, then puts back what was
// there before.
template <class Fn>
class ScopedOverride {
public:
    ScopedOverride(Fn& entry, Fn replacement) : m_entry(entry), m_saved(entry) { entry = replacement; }
    ~ScopedOverride() { m_entry = m_saved; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    Fn& m_entry;
    Fn m_saved;
};
