// The tray icon against a recorded shell and recorded menu and window calls.
#include "tray/TrayIcon.h"

#include "platform/Win32Api.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAA record; // its first 88 bytes, as the shell reads them
};

// What the tray icon asks of the platform, in order, with the shell's answers injected.
struct Platform {
    static Platform& Get()
    {
        static Platform platform;
        return platform;
    }
    std::vector<ShellCall> shell;
    std::vector<std::string> calls;
    BOOL shellResult = TRUE;
    HMENU loadedMenu = nullptr;
};

ShellCall Copy(DWORD message, const NOTIFYICONDATAA* record)
{
    ShellCall call = {message, {}};
    memcpy(&call.record, record, NOTIFYICONDATAA_V1_SIZE);
    return call;
}

std::string Hex(UINT_PTR value)
{
    char text[16];
    wsprintfA(text, "%x", static_cast<unsigned>(value));
    return text;
}

// The whole record as registered: the first form's size (88 bytes on 32-bit Windows), the
// notify window, identifier 130, flags 7, callback 1034, the given picture and the tip.
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the shell's first form of the record");
#endif
void ExpectRegistered(const NOTIFYICONDATAA& record, HWND window, HICON icon)
{
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE), record.cbSize);
    EXPECT_EQ(window, record.hWnd);
    EXPECT_EQ(130u, record.uID);
    EXPECT_EQ(7u, record.uFlags);
    EXPECT_EQ(1034u, record.uCallbackMessage);
    EXPECT_EQ(icon, record.hIcon);
    EXPECT_STREQ("Pellamy", record.szTip);
}

class TrayIcon : public testing::Test {
protected:
    void SetUp() override
    {
        Platform::Get() = Platform();
        m_window = CreateWindowA("STATIC", "notify", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        m_notify.m_hWnd = m_window;
    }
    void TearDown() override { DestroyWindow(m_window); }

    static const std::vector<ShellCall>& Shell() { return Platform::Get().shell; }
    static const std::vector<std::string>& Calls() { return Platform::Get().calls; }

    HWND m_window = nullptr;
    CWnd m_notify;
    const HICON m_icon = LoadIcon(nullptr, IDI_APPLICATION);

    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> m_shell{
        Win().Shell_NotifyIconA, [](DWORD message, PNOTIFYICONDATAA record) WINAPI {
            Platform::Get().shell.push_back(Copy(message, record));
            return Platform::Get().shellResult;
        }};
    // The menu is the real one from the resources; what it is used for is recorded.
    ScopedOverride<decltype(Win32Api::LoadMenuA)> m_load{
        Win().LoadMenuA, [](HINSTANCE instance, LPCSTR name) WINAPI {
            Platform::Get().calls.push_back("LoadMenu " + std::to_string(reinterpret_cast<UINT_PTR>(name)));
            return Platform::Get().loadedMenu = LoadMenuA(instance, name);
        }};
    ScopedOverride<decltype(Win32Api::SetMenuDefaultItem)> m_default{
        Win().SetMenuDefaultItem, [](HMENU menu, UINT item, UINT byPosition) WINAPI {
            Platform::Get().calls.push_back("SetMenuDefaultItem " + std::to_string(item) + " " +
                                            std::to_string(byPosition));
            return SetMenuDefaultItem(menu, item, byPosition);
        }};
    ScopedOverride<decltype(Win32Api::GetCursorPos)> m_cursor{Win().GetCursorPos, [](LPPOINT point) WINAPI -> BOOL {
        Platform::Get().calls.push_back("GetCursorPos");
        *point = {321, 234};
        return TRUE;
    }};
    ScopedOverride<decltype(Win32Api::SetForegroundWindow)> m_foreground{Win().SetForegroundWindow,
                                                                         [](HWND) WINAPI -> BOOL {
        Platform::Get().calls.push_back("SetForegroundWindow");
        return TRUE;
    }};
    ScopedOverride<decltype(Win32Api::TrackPopupMenu)> m_track{
        Win().TrackPopupMenu, [](HMENU menu, UINT flags, int x, int y, int, HWND, const RECT* rect) WINAPI -> BOOL {
            // The first item shows in bold: it is the default.
            const UINT defaultItem = GetMenuDefaultItem(menu, TRUE, 0);
            Platform::Get().calls.push_back("TrackPopupMenu " + std::to_string(flags) + " " + std::to_string(x) +
                                            "," + std::to_string(y) + " default " + std::to_string(defaultItem) +
                                            (rect ? " rect" : ""));
            return TRUE;
        }};
    ScopedOverride<decltype(Win32Api::PostMessageA)> m_post{
        Win().PostMessageA, [](HWND, UINT message, WPARAM wParam, LPARAM lParam) WINAPI -> BOOL {
            Platform::Get().calls.push_back("PostMessage " + Hex(message) + " " + std::to_string(wParam) + " " +
                                            std::to_string(lParam));
            return TRUE;
        }};
    ScopedOverride<decltype(Win32Api::SendMessageA)> m_send{
        Win().SendMessageA, [](HWND, UINT message, WPARAM wParam, LPARAM lParam) WINAPI -> LRESULT {
            Platform::Get().calls.push_back("SendMessage " + Hex(message) + " " + std::to_string(wParam) + " " +
                                            std::to_string(lParam));
            return 0;
        }};
    ScopedOverride<decltype(Win32Api::DestroyMenu)> m_destroy{Win().DestroyMenu, [](HMENU menu) WINAPI {
        Platform::Get().calls.push_back(menu == Platform::Get().loadedMenu ? "DestroyMenu loaded" : "DestroyMenu other");
        return DestroyMenu(menu);
    }};
};

TEST_F(TrayIcon, RegistersTheRecordTheShellExpects)
{
    CTrayIcon icon;
    ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, "Pellamy", nullptr, IDR_TRAYMENU));
    EXPECT_TRUE(icon.SetIcon(m_icon));
    icon.RemoveIcon();
    icon.RemoveIcon();

    ASSERT_EQ(3u, Shell().size());
    EXPECT_EQ(DWORD(NIM_ADD), Shell()[0].message);
    ExpectRegistered(Shell()[0].record, m_window, nullptr);

    EXPECT_EQ(DWORD(NIM_MODIFY), Shell()[1].message);
    EXPECT_EQ(2u, Shell()[1].record.uFlags);
    EXPECT_EQ(m_icon, Shell()[1].record.hIcon);
    EXPECT_EQ(130u, Shell()[1].record.uID);

    EXPECT_EQ(DWORD(NIM_DELETE), Shell()[2].message);
    EXPECT_EQ(0u, Shell()[2].record.uFlags);
    EXPECT_EQ(m_window, Shell()[2].record.hWnd);
}

// After a shell restart the same record goes in again, picture included; an icon that is
// not registered stays away.
TEST_F(TrayIcon, RestoreRegistersTheSameRecordAgain)
{
    CTrayIcon icon;
    EXPECT_FALSE(icon.Restore());
    ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, "Pellamy", nullptr, IDR_TRAYMENU));
    icon.SetIcon(m_icon);
    EXPECT_TRUE(icon.Restore());
    icon.RemoveIcon();
    EXPECT_FALSE(icon.Restore());

    ASSERT_EQ(4u, Shell().size());
    EXPECT_EQ(DWORD(NIM_ADD), Shell()[2].message);
    ExpectRegistered(Shell()[2].record, m_window, m_icon);
    EXPECT_EQ(DWORD(NIM_DELETE), Shell()[3].message);
}

TEST_F(TrayIcon, DestructionRemovesARegisteredIcon)
{
    {
        CTrayIcon icon;
        ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, "Pellamy", m_icon, IDR_TRAYMENU));
    }
    ASSERT_EQ(2u, Shell().size());
    EXPECT_EQ(DWORD(NIM_DELETE), Shell()[1].message);
}

TEST_F(TrayIcon, TipIsCutTo63Characters)
{
    CTrayIcon icon;
    const std::string tip(100, 't');
    ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, tip.c_str(), m_icon, IDR_TRAYMENU));
    EXPECT_EQ(std::string(63, 't'), Shell()[0].record.szTip);
}

// Every way Create fails leaves the icon unregistered: no later shell call at all.
TEST_F(TrayIcon, FailedCreateLeavesNothingToChangeOrRemove)
{
    const HWND dead = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(dead);
    CWnd deadWnd;
    deadWnd.m_hWnd = dead;

    struct Case {
        const char* what;
        bool oldPlatform;
        CWnd* notify;
        BOOL shellResult;
        size_t shellCalls; // the refused registration itself
    } cases[] = {
        {"Windows 3", true, &m_notify, TRUE, 0},
        {"no window", false, nullptr, TRUE, 0},
        {"dead window", false, &deadWnd, TRUE, 0},
        {"NIM_ADD refused", false, &m_notify, FALSE, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Platform::Get() = Platform();
        Platform::Get().shellResult = c.shellResult;
        std::optional<ScopedOverride<decltype(Win32Api::GetVersion)>> version3;
        if (c.oldPlatform)
            version3.emplace(Win().GetVersion, []() WINAPI -> DWORD { return 0x0A280003; });
        {
            CTrayIcon icon;
            EXPECT_FALSE(icon.Create(c.notify, WM_TRAYNOTIFY, "Pellamy", m_icon, IDR_TRAYMENU));
            EXPECT_FALSE(icon.SetIcon(m_icon));
            icon.RemoveIcon();
        }
        EXPECT_EQ(c.shellCalls, Shell().size());
    }
    deadWnd.m_hWnd = nullptr;
}

TEST_F(TrayIcon, SetIconBeforeCreateMakesNoShellCall)
{
    CTrayIcon icon;
    EXPECT_FALSE(icon.SetIcon(m_icon));
    EXPECT_TRUE(Shell().empty());
}

TEST_F(TrayIcon, RightClickShowsTheMenuAtTheCursorWithItsFirstItemDefault)
{
    CTrayIcon icon;
    ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, "Pellamy", m_icon, IDR_TRAYMENU));
    EXPECT_EQ(1, icon.OnTrayNotification(IDR_TRAYMENU, WM_RBUTTONUP));
    EXPECT_EQ(std::vector<std::string>({"LoadMenu 130", "SetMenuDefaultItem 0 1", "GetCursorPos", "SetForegroundWindow",
                                        "TrackPopupMenu 0 321,234 default 0", "PostMessage 400 0 0",
                                        "DestroyMenu loaded"}),
              Calls());
}

TEST_F(TrayIcon, DoubleClickSendsTheFirstItemsCommand)
{
    CTrayIcon icon;
    ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, "Pellamy", m_icon, IDR_TRAYMENU));
    // Only the low 16 bits of lParam carry the mouse message.
    EXPECT_EQ(1, icon.OnTrayNotification(IDR_TRAYMENU, MAKELPARAM(WM_LBUTTONDBLCLK, 0x55)));
    EXPECT_EQ(std::vector<std::string>({"LoadMenu 130", "SetForegroundWindow",
                                        "SendMessage 111 " + std::to_string(ID_SEND_DIALOG) + " 0",
                                        "DestroyMenu loaded"}),
              Calls());
}

TEST_F(TrayIcon, CallbacksItDoesNotActOn)
{
    CTrayIcon icon;
    ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, "Pellamy", m_icon, IDR_TRAYMENU));
    EXPECT_EQ(0, icon.OnTrayNotification(IDR_TRAYMENU + 1, WM_RBUTTONUP)); // another icon's
    for (UINT event : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, WM_MBUTTONUP})
        EXPECT_EQ(1, icon.OnTrayNotification(IDR_TRAYMENU, event)) << event;
    EXPECT_TRUE(Calls().empty());
}

TEST_F(TrayIcon, MissingMenuResourceDoesNothing)
{
    ScopedOverride<decltype(Win32Api::LoadMenuA)> missing(Win().LoadMenuA, [](HINSTANCE, LPCSTR) WINAPI -> HMENU {
        Platform::Get().calls.push_back("LoadMenu failed");
        return nullptr;
    });
    CTrayIcon icon;
    ASSERT_TRUE(icon.Create(&m_notify, WM_TRAYNOTIFY, "Pellamy", m_icon, IDR_TRAYMENU));
    EXPECT_EQ(0, icon.OnTrayNotification(IDR_TRAYMENU, WM_RBUTTONUP));
    EXPECT_EQ(0, icon.OnTrayNotification(IDR_TRAYMENU, WM_LBUTTONDBLCLK));
    EXPECT_EQ(std::vector<std::string>({"LoadMenu failed", "LoadMenu failed"}), Calls());
}

} // namespace
