// The program's own objects (the application, its hidden frame, the send dialog) with real
// windows. The shell and the single-instance mutex are recorded; message boxes too.
#include "tests/app/AppDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<DWORD> g_shell; // NIM_ADD, NIM_MODIFY, NIM_DELETE as they come
std::vector<HICON> g_shellIcons;
BOOL g_shellResult = TRUE;
HANDLE g_mutex = reinterpret_cast<HANDLE>(0x77);
DWORD g_mutexError = 0;
int g_released = 0;

struct RecordedPlatform {
    RecordedPlatform()
    {
        g_shell.clear();
        g_shellIcons.clear();
        g_shellResult = TRUE;
        g_mutex = reinterpret_cast<HANDLE>(0x77);
        g_mutexError = 0;
        g_released = 0;
    }
    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> shell{
        Win().Shell_NotifyIconA, [](DWORD message, PNOTIFYICONDATAA record) WINAPI {
            g_shell.push_back(message);
            g_shellIcons.push_back(record->hIcon);
            return g_shellResult;
        }};
    ScopedOverride<decltype(Win32Api::CreateMutexA)> mutex{
        Win().CreateMutexA, [](LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) WINAPI {
            EXPECT_STREQ("PreventSecondInstance", name);
            return g_mutex;
        }};
    ScopedOverride<decltype(Win32Api::GetLastError)> error{Win().GetLastError, []() WINAPI { return g_mutexError; }};
    ScopedOverride<decltype(Win32Api::ReleaseMutex)> release{Win().ReleaseMutex, [](HANDLE) WINAPI -> BOOL {
        ++g_released;
        return TRUE;
    }};
    MessageBoxRecorder boxes;
};

void Type(int id, const char* text)
{
    for (const char* c = text; *c; ++c)
        SendMessageA(SendDialogControl(id), WM_CHAR, static_cast<BYTE>(*c), 1);
}

void FocusAndPress(HWND control, WPARAM key)
{
    SetFocus(control);
    PressKey(control, key);
}

void Close(HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }

int CountSendDialogs()
{
    int count = 0;
    for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", "Pellamy"); w;
         w = FindWindowExA(nullptr, w, "#32770", "Pellamy"))
        ++count;
    return count;
}

class App : public testing::Test {
protected:
    void SetUp() override
    {
        g_sendDialog.m_strDestination = "";
        g_sendDialog.m_strMessage = "";
        ASSERT_TRUE(g_trayApp.InitInstance());
        m_frame = g_trayApp.m_pMainWnd->m_hWnd;
    }
    void TearDown() override
    {
        if (g_trayApp.m_pMainWnd)
            g_trayApp.m_pMainWnd->DestroyWindow();
        DropQuitMessages();
    }

    // The shell's way in: the icon's callback message, answered when the handler is done.
    LRESULT Callback(UINT event, UINT id = IDR_TRAYMENU) { return SendMessageA(m_frame, WM_TRAYNOTIFY, id, event); }

    RecordedPlatform m_platform;
    HWND m_frame = nullptr;
};

TEST_F(App, StartsHiddenWithItsIconAndTitle)
{
    EXPECT_EQ(std::vector<DWORD>({NIM_ADD, NIM_MODIFY}), g_shell);
    EXPECT_EQ(nullptr, g_shellIcons[0]); // the picture comes with the change that follows
    EXPECT_NE(nullptr, g_shellIcons[1]);
    EXPECT_EQ(1, g_released);
    EXPECT_FALSE(IsWindowVisible(m_frame));
    EXPECT_EQ("ORVANTIS", WindowText(m_frame));
    EXPECT_EQ(0, Callback(WM_RBUTTONUP, IDR_TRAYMENU + 1));

    g_trayApp.m_pMainWnd->DestroyWindow();
    EXPECT_EQ(NIM_DELETE, g_shell.back());
}

TEST_F(App, ShellRestartRegistersTheIconAgain)
{
    const HICON picture = g_shellIcons[1];
    EXPECT_EQ(0, SendMessageA(m_frame, RegisterWindowMessageA("TaskbarCreated"), 0, 0));
    EXPECT_EQ(std::vector<DWORD>({NIM_ADD, NIM_MODIFY, NIM_ADD}), g_shell);
    EXPECT_EQ(picture, g_shellIcons[2]);
}

TEST(AppStart, SecondCopyOrRefusedIconEndsWithNothingLeft)
{
    struct Case {
        const char* what;
        HANDLE mutex;
        DWORD error;
        BOOL shellResult;
        BOOL started;
        std::vector<DWORD> shell;
    } cases[] = {
        {"first copy", reinterpret_cast<HANDLE>(0x77), 0, TRUE, TRUE, {NIM_ADD, NIM_MODIFY, NIM_DELETE}},
        {"second copy", reinterpret_cast<HANDLE>(0x77), ERROR_ALREADY_EXISTS, TRUE, FALSE,
         {NIM_ADD, NIM_MODIFY, NIM_DELETE}},
        {"no mutex", nullptr, ERROR_ACCESS_DENIED, TRUE, TRUE, {NIM_ADD, NIM_MODIFY, NIM_DELETE}},
        {"icon refused", reinterpret_cast<HANDLE>(0x77), 0, FALSE, FALSE, {NIM_ADD}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordedPlatform platform;
        g_mutex = c.mutex;
        g_mutexError = c.error;
        g_shellResult = c.shellResult;
        EXPECT_EQ(c.started, g_trayApp.InitInstance());
        // As the start-up code does when the start fails, and Exit does otherwise.
        if (g_trayApp.m_pMainWnd)
            g_trayApp.m_pMainWnd->DestroyWindow();
        EXPECT_EQ(nullptr, FindWindowA("AfxFrameWnd", nullptr));
        EXPECT_EQ(c.shell, g_shell);
        EXPECT_TRUE(platform.boxes.Boxes().empty());
        DropQuitMessages();
    }
}

TEST_F(App, DoubleClickOpensTheDialogAndASecondOneRestoresIt)
{
    HICON icon = nullptr;
    bool open = false, ownerDisabled = false, restored = false;
    LRESULT secondResult = 0;
    int dialogs = 0;
    std::string aboutItem;
    UINT separator = 0;
    InsideModalLoop inside([&] {
        open = g_bSendDialogOpen == 1 && IsWindowVisible(SendDialog());
        ownerDisabled = GetWindow(SendDialog(), GW_OWNER) == m_frame && !IsWindowEnabled(m_frame);
        icon = reinterpret_cast<HICON>(SendMessageA(SendDialog(), WM_GETICON, ICON_SMALL, 0));
        const HMENU menu = GetSystemMenu(SendDialog(), FALSE);
        const int items = GetMenuItemCount(menu);
        char text[64] = {};
        GetMenuStringA(menu, items - 1, text, sizeof text, MF_BYPOSITION);
        aboutItem = text;
        separator = GetMenuState(menu, items - 2, MF_BYPOSITION) & MF_SEPARATOR;

        ShowWindow(SendDialog(), SW_MINIMIZE);
        secondResult = Callback(WM_LBUTTONDBLCLK);
        restored = !IsIconic(SendDialog());
        dialogs = CountSendDialogs();
        Close(SendDialog());
    });
    EXPECT_EQ(1, Callback(WM_LBUTTONDBLCLK));

    EXPECT_TRUE(open);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(g_sendDialog.m_hIcon, icon);
    EXPECT_EQ("&About Pellamy...", aboutItem);
    EXPECT_NE(0u, separator);
    EXPECT_EQ(1, secondResult);
    EXPECT_TRUE(restored);
    EXPECT_EQ(1, dialogs);
    EXPECT_EQ(0, g_bSendDialogOpen);
    EXPECT_TRUE(IsWindowEnabled(m_frame));
}

TEST_F(App, FieldsSurviveClosingAndReopening)
{
    MailslotReader reader;
    std::vector<std::string> shown;

    auto showAndClose = [&] {
        shown.push_back(WindowText(SendDialogControl(IDC_DESTINATION)) + "|" + WindowText(SendDialogControl(IDC_MESSAGE)));
        Close(SendDialog());
    };
    {
        InsideModalLoop sent([&] {
            SetWindowTextA(SendDialogControl(IDC_DESTINATION), ".");
            SetWindowTextA(SendDialogControl(IDC_MESSAGE), "sent");
            SendMessageA(SendDialogControl(IDC_SEND), BM_CLICK, 0, 0);
            Close(SendDialog());
        });
        Callback(WM_LBUTTONDBLCLK);
    }
    {
        InsideModalLoop dropped([&] {
            SetWindowTextA(SendDialogControl(IDC_DESTINATION), "OTHER");
            SetWindowTextA(SendDialogControl(IDC_MESSAGE), "not sent");
            showAndClose();
        });
        Callback(WM_LBUTTONDBLCLK);
    }
    {
        InsideModalLoop again(showAndClose);
        Callback(WM_LBUTTONDBLCLK);
    }
    EXPECT_EQ(std::vector<std::string>({"OTHER|not sent", ".|sent"}), shown);
    EXPECT_EQ(1u, reader.ReadAll().size());
}

TEST_F(App, SendDeliversTheDatagramAndKeepsTheDialogOpen)
{
    MailslotReader reader;
    std::string typed;
    bool stillOpen = false;
    InsideModalLoop inside([&] {
        Type(IDC_DESTINATION, "beta");
        typed = WindowText(SendDialogControl(IDC_DESTINATION));
        SetWindowTextA(SendDialogControl(IDC_DESTINATION), ".");
        SetWindowTextA(SendDialogControl(IDC_MESSAGE), "Hello\r\nthere");
        SendMessageA(SendDialogControl(IDC_SEND), BM_CLICK, 0, 0);
        stillOpen = IsWindowVisible(SendDialog()) != FALSE;
        Close(SendDialog());
    });
    Callback(WM_LBUTTONDBLCLK);

    EXPECT_EQ("BETA", typed); // the destination field writes upper case
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(m_platform.boxes.Boxes().empty());
    const std::vector<std::string> datagrams = reader.ReadAll();
    ASSERT_EQ(1u, datagrams.size());
    ASSERT_EQ(size_t(kDatagramSize), datagrams[0].size());
    EXPECT_TRUE(ExpectedDatagram(ComputerName(), ".", "Hello\r\nthere") == datagrams[0]);
    EXPECT_STREQ(".", g_sendDialog.m_strDestination);
    EXPECT_STREQ("Hello\r\nthere", g_sendDialog.m_strMessage);
}

TEST_F(App, EnterInTheDestinationClosesWithoutSendingAndInTheMessageBreaksTheLine)
{
    MailslotReader reader;
    std::string message;
    InsideModalLoop inside({
        [&] {
            SetWindowTextA(SendDialogControl(IDC_DESTINATION), ".");
            SetWindowTextA(SendDialogControl(IDC_MESSAGE), "line");
            SendMessageA(SendDialogControl(IDC_MESSAGE), EM_SETSEL, 4, 4);
            FocusAndPress(SendDialogControl(IDC_MESSAGE), VK_RETURN); // the loop translates it into the character
        },
        [&] {
            message = WindowText(SendDialogControl(IDC_MESSAGE));
            FocusAndPress(SendDialogControl(IDC_DESTINATION), VK_RETURN);
        },
    });
    Callback(WM_LBUTTONDBLCLK);

    EXPECT_EQ("line\r\n", message);
    EXPECT_EQ(nullptr, SendDialog());
    EXPECT_TRUE(reader.ReadAll().empty());
    // Enter gave OK, which stored both fields.
    EXPECT_STREQ(".", g_sendDialog.m_strDestination);
    EXPECT_STREQ("line\r\n", g_sendDialog.m_strMessage);
}

TEST_F(App, ExitWhileTheDialogIsOpenEndsTheProgram)
{
    InsideModalLoop inside([&] { PostMessageA(m_frame, WM_COMMAND, ID_APP_EXIT, 0); });
    PostMessageA(m_frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_LBUTTONDBLCLK);
    EXPECT_EQ(0, g_trayApp.Run());

    EXPECT_FALSE(IsWindow(m_frame));
    EXPECT_EQ(nullptr, g_trayApp.m_pMainWnd);
    EXPECT_EQ(nullptr, SendDialog());
    EXPECT_EQ(0, g_bSendDialogOpen);
    EXPECT_EQ(NIM_DELETE, g_shell.back());
}

HWND FindAbout() { return FindWindowA("#32770", "About PELLAMY"); }

TEST_F(App, AboutFromTheTrayAndFromTheDialog)
{
    // The tray menu's About, and the send dialog's system-menu item and About command.
    std::vector<HWND> owners;
    auto closeAbout = [&] {
        owners.push_back(GetWindow(FindAbout(), GW_OWNER));
        PostMessageA(FindAbout(), WM_COMMAND, IDOK, 0);
    };
    {
        InsideModalLoop inside(closeAbout);
        SendMessageA(m_frame, WM_COMMAND, ID_APP_ABOUT, 0);
    }
    {
        InsideModalLoop inside({
            [&] { PostMessageA(SendDialog(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0); },
            closeAbout,
            [&] { PostMessageA(SendDialog(), WM_COMMAND, ID_APP_ABOUT, 0); },
            closeAbout,
            [&] { Close(SendDialog()); },
        });
        Callback(WM_LBUTTONDBLCLK);
        EXPECT_TRUE(InsideModalLoop::Done());
    }
    ASSERT_EQ(3u, owners.size());
    EXPECT_EQ(m_frame, owners[0]);
    EXPECT_NE(nullptr, owners[1]); // on top of the send dialog
    EXPECT_NE(m_frame, owners[1]);
    EXPECT_EQ(nullptr, FindAbout());
}

TEST_F(App, OptionsShowTheirBoxUnderTheApplicationTitle)
{
    SendMessageA(m_frame, WM_COMMAND, ID_OPTION_1, 0);
    SendMessageA(m_frame, WM_COMMAND, ID_OPTION_2, 0);
    const std::vector<MessageBoxRecorder::Box>& boxes = m_platform.boxes.Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("You chose Option 1", boxes[0].text);
    EXPECT_EQ("You chose Option 2", boxes[1].text);
    for (const MessageBoxRecorder::Box& box : boxes) {
        EXPECT_EQ("ORVANTIS", box.caption);
        EXPECT_EQ(UINT(MB_OK), box.type);
        EXPECT_EQ(m_frame, box.owner);
    }
}

// Minimized, the dialog draws its icon centred in the client area, halves rounded toward zero.
TEST_F(App, MinimizedDialogPaintsItsIconCentred)
{
    static RECT s_client;
    static std::vector<POINT> s_drawn;
    s_drawn.clear();
    const std::vector<std::pair<RECT, POINT>> cases = {
        {{0, 0, 37, 37}, {3, 3}}, {{0, 0, 36, 35}, {2, 2}}, {{0, 0, 20, 32}, {-5, 0}}};
    InsideModalLoop inside([&] {
        ScopedOverride<decltype(Win32Api::IsIconic)> iconic(Win().IsIconic, [](HWND) WINAPI -> BOOL { return TRUE; });
        ScopedOverride<decltype(Win32Api::GetClientRect)> client(Win().GetClientRect,
                                                                 [](HWND, LPRECT rect) WINAPI -> BOOL {
            *rect = s_client;
            return TRUE;
        });
        ScopedOverride<decltype(Win32Api::GetSystemMetrics)> metrics(Win().GetSystemMetrics,
                                                                     [](int) WINAPI { return 32; });
        ScopedOverride<decltype(Win32Api::DrawIcon)> draw(Win().DrawIcon, [](HDC, int x, int y, HICON) WINAPI -> BOOL {
            s_drawn.push_back({x, y});
            return TRUE;
        });
        for (const auto& c : cases) {
            s_client = c.first;
            InvalidateRect(SendDialog(), nullptr, TRUE);
            SendMessageA(SendDialog(), WM_PAINT, 0, 0);
        }
        Close(SendDialog());
    });
    Callback(WM_LBUTTONDBLCLK);
    ASSERT_EQ(cases.size(), s_drawn.size());
    for (size_t k = 0; k < cases.size(); ++k) {
        EXPECT_EQ(cases[k].second.x, s_drawn[k].x) << k;
        EXPECT_EQ(cases[k].second.y, s_drawn[k].y) << k;
    }
}

} // namespace
