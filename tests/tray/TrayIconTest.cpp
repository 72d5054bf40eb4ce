// The tray icon against a recorded shell and recorded menu and window calls; the menu is the
// real one from the resources.
#include "tray/TrayIcon.h"

#include "platform/Win32Api.h"
#include "res/resource.h"
#include "tests/platform/GuiTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string g_calls;              // what the icon asked of the platform, in order
std::string g_tip;                // the tip of the last record the shell got
std::vector<BOOL> g_shellResults; // the shell's answers in turn; TRUE once they run out
HWND g_window = nullptr;          // the notification window
HMENU g_loaded = nullptr;
const HICON kIcon = reinterpret_cast<HICON>(0x1C0);

std::string To(HWND window) { return window == g_window ? "" : "(elsewhere)"; }

BOOL WINAPI Shell(DWORD message, PNOTIFYICONDATAA record)
{
    g_calls += std::string(message == NIM_ADD ? "ADD " : message == NIM_MODIFY ? "MODIFY " : "DELETE ") +
               std::to_string(record->uFlags) + (record->hIcon == kIcon ? " icon; " : "; ");
    // The same record throughout: the shell knows the icon by its window and identifier.
    EXPECT_EQ(std::to_string(NOTIFYICONDATAA_V1_SIZE) + " 130 1034", std::to_string(record->cbSize) + " " +
                  std::to_string(record->uID) + " " + std::to_string(record->uCallbackMessage) + To(record->hWnd));
    g_tip.assign(record->szTip, strnlen(record->szTip, sizeof record->szTip));
    if (g_shellResults.empty())
        return TRUE;
    const BOOL result = g_shellResults.front();
    g_shellResults.erase(g_shellResults.begin());
    return result;
}

class TrayIcon : public testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_shellResults.clear();
        g_window = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        m_notify.m_hWnd = g_window;
    }
    void TearDown() override
    {
        DestroyWindow(g_window);
        m_notify.m_hWnd = nullptr;
    }
    CWnd m_notify;

    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> m_shell{Win().Shell_NotifyIconA, Shell};
    ScopedOverride<decltype(Win32Api::LoadMenuA)> m_load{Win().LoadMenuA, [](HINSTANCE module, LPCSTR name) WINAPI {
        g_calls += "LoadMenu " + std::to_string(reinterpret_cast<UINT_PTR>(name)) + "; ";
        return g_loaded = LoadMenuA(module, name);
    }};
    ScopedOverride<decltype(Win32Api::SetForegroundWindow)> m_foreground{Win().SetForegroundWindow,
                                                                         [](HWND window) WINAPI -> BOOL {
        g_calls += "SetForegroundWindow" + To(window) + "; ";
        return TRUE;
    }};
    ScopedOverride<decltype(Win32Api::TrackPopupMenu)> m_track{
        Win().TrackPopupMenu, [](HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT* rect) WINAPI {
            POINT cursor;
            GetCursorPos(&cursor);
            g_calls += "TrackPopupMenu " + MenuItems(menu) + " " + std::to_string(flags) + To(owner) +
                       (x == cursor.x && y == cursor.y && !rect ? " at the cursor; " : " elsewhere; ");
            return TRUE;
        }};
    ScopedOverride<decltype(Win32Api::SendMessageA)> m_send{
        Win().SendMessageA, [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) WINAPI -> LRESULT {
            g_calls += "SendMessage" + To(window) + " " + std::to_string(message) + " " + std::to_string(wParam) + " " +
                       std::to_string(lParam) + "; ";
            return 0;
        }};
    ScopedOverride<decltype(Win32Api::DestroyMenu)> m_destroy{Win().DestroyMenu, [](HMENU menu) WINAPI {
        g_calls += menu == g_loaded ? "DestroyMenu; " : "DestroyMenu(another); ";
        return DestroyMenu(menu);
    }};
};

// The icon is in one of two states, whatever fails: registered, the only state in which it calls
// the shell again, or not. Registered, it is changed, registered again after a shell restart,
// and removed once.
TEST_F(TrayIcon, IsRegisteredOrNotWhateverFails)
{
    CWnd dead;
    DestroyWindow(dead.m_hWnd = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    const std::string all = "ADD 7; MODIFY 2 icon; ADD 7 icon; DELETE 0 icon; ";
    const struct {
        DWORD version; // the major version in the low byte, the minor in the next
        CWnd* window;
        std::vector<BOOL> shell;
        BOOL created, changed;
        std::string calls;
    } cases[] = {
        {0x0A03, &m_notify, {}, FALSE, FALSE, ""}, // Windows 3.10
        {0x0004, &m_notify, {}, TRUE, TRUE, all},  // Windows 4.0
        {0x0006, nullptr, {}, FALSE, FALSE, ""},
        {0x0006, &dead, {}, FALSE, FALSE, ""},
        {0x0006, &m_notify, {FALSE}, FALSE, FALSE, "ADD 7; "},
        {0x0006, &m_notify, {TRUE, FALSE}, TRUE, FALSE, all},             // NIM_MODIFY refused
        {0x0006, &m_notify, {TRUE, TRUE, FALSE}, TRUE, TRUE, all},        // the second NIM_ADD refused
        {0x0006, &m_notify, {TRUE, TRUE, TRUE, FALSE}, TRUE, TRUE, all}, // NIM_DELETE refused
    };
    static DWORD s_version;
    const ScopedOverride<decltype(Win32Api::GetVersion)> version(Win().GetVersion, []() WINAPI { return s_version; });
    for (const auto& c : cases) {
        s_version = c.version;
        g_shellResults = c.shell;
        g_calls.clear();
        {
            CTrayIcon icon;
            EXPECT_EQ(c.created, icon.Create(c.window, WM_TRAYNOTIFY, "Pellamy", nullptr, IDR_TRAYMENU));
            EXPECT_EQ(c.changed, icon.SetIcon(kIcon));
            icon.Restore();
            icon.RemoveIcon();
            icon.RemoveIcon(); // and the destructor once more: one removal at most reaches the shell
        }
        EXPECT_EQ(c.calls, g_calls) << c.version << " " << c.shell.size();
    }
    dead.m_hWnd = nullptr;
}

TEST_F(TrayIcon, RightClickShowsTheMenuAndDoubleClickRunsItsFirstItem)
{
#ifndef _WIN64
    EXPECT_EQ(88u, NOTIFYICONDATAA_V1_SIZE); // the record's first form, as 32-bit Windows reads it
#endif
    CTrayIcon icon;
    ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, std::string(100, 't').c_str(), kIcon, IDR_TRAYMENU));
    EXPECT_EQ(std::string(63, 't'), g_tip);
    g_calls.clear();
    EXPECT_EQ(1, icon.OnTrayNotification(IDR_TRAYMENU, WM_RBUTTONUP));
    MSG posted = {};
    EXPECT_TRUE(PeekMessageA(&posted, g_window, WM_USER, WM_USER, PM_REMOVE) && !posted.wParam && !posted.lParam);
    // Only the low 16 bits of lParam carry the mouse message.
    EXPECT_EQ(1, icon.OnTrayNotification(IDR_TRAYMENU, MAKELPARAM(WM_LBUTTONDBLCLK, 0x55)));
    EXPECT_EQ("LoadMenu 130; SetForegroundWindow; TrackPopupMenu Pellamy Dialog*=102|-|Exit=57665|-|"
              "About ORVANTIS...=57664| 0 at the cursor; DestroyMenu; "
              "LoadMenu 130; SetForegroundWindow; SendMessage 273 102 0; DestroyMenu; ",
              g_calls);

    // Another icon's callback, and events it does not act on.
    g_calls.clear();
    EXPECT_EQ(0, icon.OnTrayNotification(IDR_TRAYMENU + 1, WM_RBUTTONUP));
    for (const LPARAM event : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE})
        EXPECT_EQ(1, icon.OnTrayNotification(IDR_TRAYMENU, event));
    EXPECT_EQ("", g_calls);

    // Without its menu, or a popup in it, neither event does anything.
    const ScopedOverride<decltype(Win32Api::GetSubMenu)> noPopup(Win().GetSubMenu,
                                                                  [](HMENU, int) WINAPI -> HMENU { return nullptr; });
    EXPECT_EQ(0, icon.OnTrayNotification(IDR_TRAYMENU, WM_RBUTTONUP));
    EXPECT_EQ(0, icon.OnTrayNotification(IDR_TRAYMENU, WM_LBUTTONDBLCLK));
    const ScopedOverride<decltype(Win32Api::LoadMenuA)> noMenu(
        Win().LoadMenuA, [](HINSTANCE, LPCSTR) WINAPI -> HMENU { return nullptr; });
    EXPECT_EQ(0, icon.OnTrayNotification(IDR_TRAYMENU, WM_RBUTTONUP));
    EXPECT_EQ(0, icon.OnTrayNotification(IDR_TRAYMENU, WM_LBUTTONDBLCLK));
    EXPECT_EQ("LoadMenu 130; DestroyMenu; LoadMenu 130; DestroyMenu; ", g_calls);
}

} // namespace
