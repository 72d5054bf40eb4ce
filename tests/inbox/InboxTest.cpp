// The Inbox in process: its start-up failures, with the mailslot and the shell stood in for and
// message boxes recorded; and its reader and window on a mailslot of the test's own, with the
// time and the shell's notification state stood in for.
#include "inbox/InboxApp.h"
#include "inbox/MessageLog.h"

#include "platform/Win32Api.h"
#include "res/resource.h"
#include "tests/messenger/Messenger.h"
#include "tests/platform/GuiTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The reader keeps its mailslot until the process ends: each test makes one of its own.
std::string g_slot;
DWORD g_mailslotError;
BOOL g_shellResult;
std::string g_shell; // the shell calls in order: 0 adds the icon, 2 removes it
std::string g_tip;   // the icon's last tip
std::string g_boxes; // each message box's text, caption and type
std::string g_shows; // each ShowWindow's command
DWORD g_now;
QUERY_USER_NOTIFICATION_STATE g_screen;

// The mailslot (one of the test's own, or a failure), the shell and message boxes, stood in for.
class Inbox : public testing::Test {
protected:
    void SetUp() override
    {
        static int s_tests = 0;
        g_slot = "\\\\.\\mailslot\\pellamy_inbox_test" + std::to_string(++s_tests);
        g_mailslotError = ERROR_SUCCESS;
        g_shellResult = TRUE;
        g_shell.clear();
        g_boxes.clear();
        g_now = 0;
        g_screen = QUNS_ACCEPTS_NOTIFICATIONS;
    }
    ScopedOverride<decltype(Win32Api::CreateMailslotA)> m_slot{
        Win().CreateMailslotA, [](LPCSTR, DWORD size, DWORD timeout, LPSECURITY_ATTRIBUTES security) WINAPI {
            SetLastError(g_mailslotError);
            return g_mailslotError ? INVALID_HANDLE_VALUE : CreateMailslotA(g_slot.c_str(), size, timeout, security);
        }};
    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> m_shell{
        Win().Shell_NotifyIconA, [](DWORD message, PNOTIFYICONDATAA data) WINAPI {
            g_shell += std::to_string(message);
            if (data->uFlags & NIF_TIP)
                g_tip = data->szTip;
            return g_shellResult;
        }};
    ScopedOverride<decltype(Win32Api::MessageBoxA)> m_box{
        Win().MessageBoxA, [](HWND, LPCSTR text, LPCSTR caption, UINT type) WINAPI {
            g_boxes += std::string(text) + "/" + caption + "/" + std::to_string(type);
            return IDOK;
        }};
    ScopedOverride<decltype(Win32Api::ShowWindow)> m_show{Win().ShowWindow, [](HWND window, int command) WINAPI {
        g_shows += std::to_string(command);
        return ShowWindow(window, command);
    }};
    ScopedOverride<decltype(Win32Api::GetTickCount)> m_time{Win().GetTickCount, []() WINAPI { return g_now; }};
    ScopedOverride<decltype(Win32Api::SHQueryUserNotificationState)> m_screen{
        Win().SHQueryUserNotificationState, [](QUERY_USER_NOTIFICATION_STATE* state) WINAPI {
            *state = g_screen;
            return S_OK;
        }};
};

// Handles what comes, for at most 20 seconds, until the status line counts that many messages.
bool Counted(HWND window, int count)
{
    const std::string counted = std::to_string(count) + " message";
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(10)) {
        Pump();
        if (WindowText(GetDlgItem(window, IDC_INBOX_STATUS)).compare(0, counted.size(), counted) == 0)
            return true;
    }
    return false;
}

// Writes records first to first + count - 1 of a numbered burst to the Inbox's mailslot.
bool Deliver(int first, int count)
{
    std::vector<std::string> records;
    for (int k = first; k < first + count; ++k)
        records.push_back(Numbered(k));
    const HANDLE writer = StartWriting(g_slot.c_str(), records);
    const bool written = Written(writer, 10000);
    CloseHandle(writer);
    return written;
}

TEST_F(Inbox, AFailedStartShowsOneBoxAndEndsWithExitCode1)
{
    const HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_INBOX_TRAYMENU));
    EXPECT_EQ("Show messages=32780|-|Exit=57665|", MenuItems(GetSubMenu(menu, 0))); // a double-click runs the first
    DestroyMenu(menu);
    char denied[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED, 0, denied,
                   sizeof denied, nullptr);
    const struct {
        DWORD mailslotError;
        BOOL shellResult;
        std::string box, shell;
    } failures[] = {
        {ERROR_ALREADY_EXISTS, TRUE,
         "Another program already receives Messenger messages on this computer./Pellamy Inbox/64", ""},
        {ERROR_ACCESS_DENIED, TRUE, denied + std::string("/Pellamy Inbox/16"), ""},
        {ERROR_SUCCESS, FALSE, "Pellamy Inbox cannot show its icon: there is no notification area./Pellamy Inbox/16",
         "0"},
    };
    for (const auto& failure : failures) {
        SetUp();
        g_mailslotError = failure.mailslotError;
        g_shellResult = failure.shellResult;
        CInboxApp app;
        EXPECT_EQ(1, AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
        EXPECT_EQ(failure.box, g_boxes);
        EXPECT_EQ(failure.shell, g_shell);
        EXPECT_EQ(nullptr, FindWindowA("AfxFrameWnd", "Pellamy Inbox"));
        Pump();
    }
}

// A burst of 2,000 records arrives whole and in order, the last 1,000 shown. The window handles
// nothing for a while, so that it finds more than it keeps at the next wake-up: its text is then
// set whole, then appended to and cut. Meanwhile the reader queues no more than 8 MiB and the
// writer waits until the window takes the queue.
TEST_F(Inbox, TakesWhatQueuedWhileBusyWithinItsBoundAndKeepsTheLastThousand)
{
    CInboxApp app;
    ASSERT_TRUE(app.InitInstance());
    const HWND window = app.m_pMainWnd->m_hWnd;
    const HWND text = GetDlgItem(window, IDC_INBOX_TEXT);
    const LONG readOnlyText = WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
    EXPECT_EQ(readOnlyText, GetWindowLongA(text, GWL_STYLE) & readOnlyText);
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0); // a restarted taskbar
    EXPECT_EQ("00", g_shell); // added, and added again

    // 1,800 short records and 200 of 60,000 bytes: more than the queue holds.
    std::vector<std::string> records;
    for (int k = 0; k < 2000; ++k)
        records.push_back(Numbered(k, k < 1800 ? 0 : 60000));
    const HANDLE writer = StartWriting(g_slot.c_str(), records);
    EXPECT_FALSE(Written(writer, 1000)) << "the queue took every record";
    EXPECT_TRUE(Counted(window, 2000));
    EXPECT_TRUE(Written(writer, 0));
    EXPECT_EQ(Numbers(1000, 2000), NumbersShown(WindowText(text)));
    CloseHandle(writer);
    app.m_pMainWnd->DestroyWindow(); // Exit
    EXPECT_EQ("002", g_shell);       // and removed
    Pump();
}

// The window comes up when hidden, but not over a program that has the screen, and when shown
// at most every ten seconds; what arrives while it is hidden is counted in the icon's tip.
TEST_F(Inbox, ComesUpWhenItMayAndCountsWhatTheUserHasNotSeen)
{
    CInboxApp app;
    ASSERT_TRUE(app.InitInstance());
    const HWND window = app.m_pMainWnd->m_hWnd;
    const struct {
        UINT message;
        WPARAM command;
        QUERY_USER_NOTIFICATION_STATE screen;
        DWORD later;
        int records;
        const char* shows;
        bool visible;
        const char* tip;
    } steps[] = {
        {0, 0, QUNS_ACCEPTS_NOTIFICATIONS, 0, 1, "8", true, "Pellamy Inbox"},
        {0, 0, QUNS_ACCEPTS_NOTIFICATIONS, 9999, 1, "", true, "Pellamy Inbox"},
        {0, 0, QUNS_ACCEPTS_NOTIFICATIONS, 1, 1, "8", true, "Pellamy Inbox"},
        {WM_CLOSE, 0, QUNS_BUSY, 20000, 1, "0", false, "Pellamy Inbox - 1 new message"},
        {0, 0, QUNS_RUNNING_D3D_FULL_SCREEN, 0, 2, "", false, "Pellamy Inbox - 3 new messages"},
        {0, 0, QUNS_PRESENTATION_MODE, 0, 1, "", false, "Pellamy Inbox - 4 new messages"},
        {0, 0, QUNS_APP, 0, 1, "", false, "Pellamy Inbox - 5 new messages"},
        {WM_COMMAND, ID_SHOW_MESSAGES, QUNS_APP, 0, 0, "5", true, "Pellamy Inbox"},
        {WM_CLOSE, 0, QUNS_NOT_PRESENT, 0, 1, "08", true, "Pellamy Inbox"}, // a locked screen
    };
    int sent = 0;
    for (const auto& step : steps) {
        g_shows.clear();
        if (step.message)
            SendMessageA(window, step.message, step.command, 0);
        g_screen = step.screen;
        g_now += step.later;
        ASSERT_TRUE(Deliver(sent, step.records));
        sent += step.records;
        EXPECT_TRUE(Counted(window, sent));
        EXPECT_EQ(step.shows, g_shows) << sent;
        EXPECT_EQ(step.visible, IsWindowVisible(window) != FALSE) << sent;
        EXPECT_EQ(step.tip, g_tip) << sent;
    }
    app.m_pMainWnd->DestroyWindow();
    Pump();
}

// A reader's place and selection stay on the same text while messages arrive and the oldest
// are cut (three lines each); a view at the end, or a hidden one, follows the newest.
TEST_F(Inbox, KeepsTheReadersPlaceAndSelection)
{
    CInboxApp app;
    ASSERT_TRUE(app.InitInstance());
    const HWND window = app.m_pMainWnd->m_hWnd;
    const HWND text = GetDlgItem(window, IDC_INBOX_TEXT);
    SendMessageA(window, WM_COMMAND, ID_SHOW_MESSAGES, 0);
    ASSERT_TRUE(Deliver(0, CMessageLog::kCapacity));
    ASSERT_TRUE(Counted(window, CMessageLog::kCapacity));
    // The first line shown and the selection, "end" for the last line shown and for the caret
    // at the end.
    const auto place = [text] {
        SCROLLINFO scroll = {sizeof scroll, SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(text, SB_VERT, &scroll);
        DWORD from = 0, to = 0, end = GetWindowTextLengthA(text);
        SendMessageA(text, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
        return (scroll.nPos + static_cast<int>(scroll.nPage) > scroll.nMax ? "end" : std::to_string(scroll.nPos)) +
               (from == end && to == end ? " end" : " " + std::to_string(from) + "-" + std::to_string(to));
    };
    const int kEnd = 100000;
    const struct {
        bool hide;
        int line, from, to; // counted from the first line and character that stay
        std::string after;
    } steps[] = {
        {false, kEnd, kEnd, kEnd, "end end"},
        {false, 27, -3, 4, "27 0-4"},
        {true, 0, 2, 6, "end 2-6"},
    };
    int sent = CMessageLog::kCapacity;
    for (const auto& step : steps) {
        const int cut = static_cast<int>(WindowText(text).find("\r\n\r\n")) + 4;
        SendMessageA(text, EM_SETSEL, cut + step.from, cut + step.to);
        SendMessageA(text, EM_LINESCROLL, 0, 3 + step.line - SendMessageA(text, EM_GETFIRSTVISIBLELINE, 0, 0));
        if (step.hide)
            SendMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(Deliver(sent, 1));
        ASSERT_TRUE(Counted(window, ++sent));
        EXPECT_EQ(step.after, place()) << sent;
    }
    app.m_pMainWnd->DestroyWindow();
    Pump();
}

} // namespace
