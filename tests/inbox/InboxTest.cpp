// The Inbox in process: its start-up failures, with the mailslot and the shell stood in for and
// message boxes recorded; its reader and window on a mailslot of the test's own, with the reader's
// calls scripted where the system cannot be made to fail and the time and the shell's
// notification state stood in for; and its window on monitors and a taskbar stood in for.
#include "inbox/InboxApp.h"
#include "inbox/InboxFrame.h"

#include "platform/Win32Api.h"
#include "res/resource.h"
#include "tests/messenger/Messenger.h"
#include "tests/platform/GuiTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kSlot[] = "\\\\.\\mailslot\\pellamy_inbox_test";
std::string g_slot; // the mailslot the Inbox makes, a new one each time: a waiting reader keeps its own
int g_slots;
DWORD g_mailslotError;
BOOL g_shellResult;
std::string g_shell; // the shell calls in order: 0 adds the icon, 1 changes it, 2 removes it
std::string g_tip;   // the last tip and picture (its resource) the shell got
UINT_PTR g_icon;
std::string g_boxes; // each message box's text, caption and type
std::string g_shows; // each ShowWindow's command
DWORD g_now;
QUERY_USER_NOTIFICATION_STATE g_screen;
// The reader's calls: its first read fails with g_reads[0], every later one with g_reads[1] (0: the
// real read); a read of g_next bytes takes a refused record off; posts are refused g_refusals times.
DWORD g_reads[2];
int g_read;
DWORD g_next;
int g_refusals;

std::string SystemText(DWORD error)
{
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    return text;
}

// The mailslot (one of the test's own, or a failure), the shell and message boxes, stood in for.
class Inbox : public testing::Test {
protected:
    void SetUp() override
    {
        g_slot = kSlot + std::to_string(++g_slots);
        g_mailslotError = ERROR_SUCCESS;
        g_shellResult = TRUE;
        g_shell.clear();
        g_boxes.clear();
        g_reads[0] = g_reads[1] = 0;
        g_read = g_next = g_refusals = 0;
        g_now = 0;
        g_screen = QUNS_ACCEPTS_NOTIFICATIONS;
    }
    ScopedOverride<decltype(Win32Api::CreateMailslotA)> m_slot{
        Win().CreateMailslotA, [](LPCSTR, DWORD size, DWORD timeout, LPSECURITY_ATTRIBUTES security) WINAPI {
            SetLastError(g_mailslotError);
            return g_mailslotError ? INVALID_HANDLE_VALUE : CreateMailslotA(g_slot.c_str(), size, timeout, security);
        }};
    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> m_shell{
        Win().Shell_NotifyIconA, [](DWORD message, PNOTIFYICONDATAA record) WINAPI {
            g_shell += std::to_string(message);
            if (message != NIM_DELETE && (record->uFlags & NIF_TIP))
                g_tip = record->szTip;
            if (message != NIM_DELETE && (record->uFlags & NIF_ICON))
                g_icon = reinterpret_cast<UINT_PTR>(record->hIcon);
            return g_shellResult;
        }};
    ScopedOverride<decltype(Win32Api::ReadFile)> m_read{
        Win().ReadFile, [](HANDLE slot, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) WINAPI {
            if (size == g_next)
                return *read = size, TRUE;
            const DWORD error = g_reads[g_read];
            g_read = 1;
            SetLastError(error);
            return error ? FALSE : ReadFile(slot, buffer, size, read, overlapped);
        }};
    ScopedOverride<decltype(Win32Api::GetMailslotInfo)> m_info{
        Win().GetMailslotInfo, [](HANDLE, LPDWORD, LPDWORD next, LPDWORD, LPDWORD) WINAPI {
            return *next = g_next, TRUE;
        }};
    ScopedOverride<decltype(Win32Api::PostMessageA)> m_post{
        Win().PostMessageA, [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) WINAPI -> BOOL {
            return g_refusals-- <= 0 && PostMessageA(window, message, wParam, lParam);
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
    const struct {
        DWORD mailslotError;
        std::string box;
    } failures[] = {
        {ERROR_ALREADY_EXISTS,
         "Another program already receives Messenger messages on this computer./Pellamy Inbox/64"},
        {ERROR_ACCESS_DENIED, SystemText(ERROR_ACCESS_DENIED) + "/Pellamy Inbox/16"},
    };
    for (const auto& failure : failures) {
        SetUp();
        g_mailslotError = failure.mailslotError;
        CInboxApp app;
        EXPECT_EQ(1, AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
        EXPECT_EQ(failure.box, g_boxes);
        EXPECT_EQ("", g_shell);
        EXPECT_EQ(nullptr, FindWindowA("AfxFrameWnd", "Pellamy Inbox"));
        Pump();
    }
}

// Started before the taskbar, the Inbox receives all the same. A burst of 2,000 records arrives
// whole and in order, the last 1,000 shown. The window handles nothing for a while, so that it
// finds more than it keeps at the next wake-up: its text is then set whole, then appended to and
// cut. Meanwhile the reader queues no more than 8 MiB and the writer waits until the window takes
// the queue.
TEST_F(Inbox, TakesWhatQueuedWhileBusyWithinItsBoundAndKeepsTheLastThousand)
{
    g_shellResult = FALSE;
    CInboxApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ("", g_boxes);
    g_shellResult = TRUE;
    const HWND window = app.m_pMainWnd->m_hWnd;
    const HWND text = GetDlgItem(window, IDC_INBOX_TEXT);
    const LONG readOnlyText = WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
    EXPECT_EQ(readOnlyText, GetWindowLongA(text, GWL_STYLE) & readOnlyText);

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
    // The taskbar comes, and restarts. The session's end takes the icon away with the window.
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ("0002", g_shell); // refused, added late, added again, removed
    EXPECT_FALSE(IsWindow(window));
    Pump();
}

// The reader reads on until the window is gone: a record Windows refuses for the buffer is taken
// off and counted, a post refused by a full queue is made again, and while the mailslot cannot be
// read the status line, the tip and the picture say so, until it can again.
TEST_F(Inbox, ReadsOnUntilTheWindowIsGoneAndSaysWhenItCannot)
{
    std::string resources = "Not receiving: " + SystemText(ERROR_NO_SYSTEM_RESOURCES);
    resources.erase(resources.find_last_not_of("\r\n") + 1);
    const struct {
        DWORD reads[2];
        DWORD next;
        int refusals;
        std::string status, shell, tip;
        UINT_PTR icon;
    } rows[] = {
        {{ERROR_INSUFFICIENT_BUFFER, 0}, 70000, 0, "1 message, 1 malformed record ignored", "0", "Pellamy Inbox",
         IDR_INBOX},
        {{0, 0}, 0, 3, "1 message", "0", "Pellamy Inbox", IDR_INBOX},
        {{ERROR_INVALID_HANDLE, 0}, 0, 0, "1 message", "01111", "Pellamy Inbox", IDR_INBOX},
        // Last: its reader tries the failing read again until it finds the window gone.
        {{ERROR_NO_SYSTEM_RESOURCES, ERROR_NO_SYSTEM_RESOURCES}, 0, 2, resources, "011", resources.substr(0, 63),
         IDR_INBOX_NOT_RECEIVING},
    };
    // Each picture as the resource it was loaded from.
    ScopedOverride<decltype(Win32Api::LoadImageA)> picture{
        Win().LoadImageA, [](HINSTANCE, LPCSTR name, UINT, int, int, UINT) WINAPI {
            return reinterpret_cast<HANDLE>(const_cast<LPSTR>(name));
        }};
    for (const auto& row : rows) {
        SetUp();
        std::copy(row.reads, row.reads + 2, g_reads);
        g_next = row.next;
        g_refusals = row.refusals;
        CInboxApp app;
        ASSERT_TRUE(app.InitInstance());
        const HWND status = GetDlgItem(app.m_pMainWnd->m_hWnd, IDC_INBOX_STATUS);
        const HANDLE writer = StartWriting(g_slot.c_str(), {Numbered(1)});
        for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10)) {
            Pump();
            if (WindowText(status) == row.status)
                break;
        }
        EXPECT_EQ(row.status, WindowText(status));
        EXPECT_EQ(row.shell + row.tip + std::to_string(row.icon), g_shell + g_tip + std::to_string(g_icon));
        EXPECT_TRUE(Written(writer, 10000));
        CloseHandle(writer);
        app.m_pMainWnd->DestroyWindow();
        Pump();
    }
}

// Windows reads the manifest before the program runs: its windows are aware of each
// monitor's DPI, and its common controls are the side-by-side ones of version 6.
TEST(InboxManifest, IsInEffect)
{
    EXPECT_EQ(DPI_AWARENESS_PER_MONITOR_AWARE, GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext()));
    char path[MAX_PATH] = {};
    GetModuleFileNameA(LoadLibraryA("comctl32.dll"), path, sizeof path);
    EXPECT_TRUE(std::strstr(CharLowerA(path), "microsoft.windows.common-controls_6595b64144ccf1df_6.")) << path;
}

// Monitors (the primary one first, a secondary one right of x = 1000) and the taskbar, stood in for.
struct Monitor {
    RECT screen, work;
};
std::vector<Monitor> g_monitors;
RECT g_taskbar; // none when empty

std::array<LONG, 4> Rect(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right, r.bottom};
}

int Width(HICON icon)
{
    ICONINFO info = {};
    BITMAP bitmap = {};
    GetIconInfo(icon, &info);
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

class InboxWindow : public Inbox {
protected:
    ScopedOverride<decltype(Win32Api::FindWindowA)> m_find{
        Win().FindWindowA, [](LPCSTR, LPCSTR) WINAPI { return IsRectEmpty(&g_taskbar) ? nullptr : HWND_BROADCAST; }};
    ScopedOverride<decltype(Win32Api::SHAppBarMessage)> m_appBar{
        Win().SHAppBarMessage, [](DWORD message, PAPPBARDATA data) WINAPI -> UINT_PTR {
            data->rc = g_taskbar;
            return message == ABM_GETTASKBARPOS && data->hWnd == HWND_BROADCAST;
        }};
    ScopedOverride<decltype(Win32Api::MonitorFromPoint)> m_fromPoint{
        Win().MonitorFromPoint, [](POINT, DWORD) WINAPI { return reinterpret_cast<HMONITOR>(1); }};
    ScopedOverride<decltype(Win32Api::MonitorFromRect)> m_fromRect{
        Win().MonitorFromRect, [](LPCRECT rect, DWORD) WINAPI {
            return reinterpret_cast<HMONITOR>(rect->right > 1000 && g_monitors.size() > 1 ? 2 : 1);
        }};
    ScopedOverride<decltype(Win32Api::GetMonitorInfoA)> m_info{
        Win().GetMonitorInfoA, [](HMONITOR monitor, LPMONITORINFO info) WINAPI {
            info->rcMonitor = g_monitors.at(reinterpret_cast<size_t>(monitor) - 1).screen;
            info->rcWork = g_monitors.at(reinterpret_cast<size_t>(monitor) - 1).work;
            return TRUE;
        }};
    CMailslotListener m_listener; // never read
};

// In the corner of the work area next to the notification area, on the taskbar's monitor; placed
// anew when shown from hidden unless the user moved it to where its middle half is on screen.
TEST_F(InboxWindow, OpensNextToTheNotificationAreaAndComesBackOnScreen)
{
    const RECT primary = {0, 0, 1000, 800}, secondary = {1000, 0, 2000, 600}, aboveBar = {0, 0, 1000, 760};
    const struct {
        RECT taskbar, primaryWork, secondaryWork;
        std::array<LONG, 4> placed;
    } edges[] = {
        {{0, 760, 1000, 800}, aboveBar, secondary, {600, 456, 1000, 760}},
        {{1000, 0, 2000, 40}, primary, {1000, 40, 2000, 600}, {1600, 40, 2000, 264}},
        {{0, 0, 60, 800}, {60, 0, 1000, 800}, secondary, {60, 480, 436, 800}},
        {{1940, 0, 2000, 600}, primary, {1000, 0, 1940, 600}, {1564, 360, 1940, 600}},
        {{}, primary, secondary, {600, 480, 1000, 800}},
    };
    for (const auto& edge : edges) {
        g_taskbar = edge.taskbar;
        g_monitors = {{primary, edge.primaryWork}, {secondary, edge.secondaryWork}};
        CInboxFrame* frame = new CInboxFrame(m_listener);
        ASSERT_TRUE(frame->LoadFrame(IDR_INBOX, WS_OVERLAPPEDWINDOW));
        EXPECT_EQ(edge.placed, Rect(frame->m_hWnd));
        if (&edge != std::end(edges) - 1)
            frame->DestroyWindow();
    }
    // Shown from hidden: where it was placed, with the work area changed meanwhile; moved to the
    // secondary monitor, which is gone; moved on the primary one.
    const HWND window = FindWindowA("AfxFrameWnd", "Pellamy Inbox");
    g_monitors = {{primary, aboveBar}};
    const struct {
        int x, y;
        std::array<LONG, 4> shown;
    } shows[] = {{600, 480, {600, 456, 1000, 760}}, {1200, 100, {600, 456, 1000, 760}}, {-90, 0, {-90, 0, 310, 304}}};
    for (const auto& show : shows) {
        SetWindowPos(window, nullptr, show.x, show.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(window, SW_SHOWNA);
        EXPECT_EQ(show.shown, Rect(window));
        ShowWindow(window, SW_HIDE);
    }
    DestroyWindow(window);
}

// Moved to a monitor of another DPI: the message font, the status line and the icons follow.
TEST_F(InboxWindow, FollowsTheMonitorsDpi)
{
    g_monitors = {{{0, 0, 1000, 800}, {0, 0, 1000, 800}}};
    CInboxFrame* frame = new CInboxFrame(m_listener);
    ASSERT_TRUE(frame->LoadFrame(IDR_INBOX, WS_OVERLAPPEDWINDOW));
    ASSERT_TRUE(frame->AddTrayIcon());
    const HWND window = frame->m_hWnd, status = GetDlgItem(window, IDC_INBOX_STATUS);
    const UINT dpis[] = {96, 192, 144, 96}; // as opened, then moved
    LONG lineHeight96 = 0;
    for (const UINT& dpi : dpis) {
        RECT rect;
        GetWindowRect(window, &rect);
        if (&dpi != dpis)
            SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&rect));
        const HDC dc = GetDC(status);
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(status, WM_GETFONT, 0, 0)));
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc, &metrics);
        ReleaseDC(status, dc);
        lineHeight96 = lineHeight96 ? lineHeight96 : metrics.tmHeight;
        EXPECT_NEAR(MulDiv(lineHeight96, dpi, 96), metrics.tmHeight, 2) << dpi; // the font at that DPI
        GetWindowRect(status, &rect);
        EXPECT_EQ(metrics.tmHeight, rect.bottom - rect.top) << dpi; // the status line: one line of it
        EXPECT_EQ(MulDiv(16, dpi, 96), Width(reinterpret_cast<HICON>(g_icon))) << dpi;
        EXPECT_EQ(MulDiv(32, dpi, 96), Width(reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0))));
    }
    DestroyWindow(window);
}

// The window comes up when hidden, but not over a program that has the screen, and when shown
// it is raised at most every ten seconds, over a window the user brought up meanwhile; what
// arrives while it is hidden is counted in the icon's tip.
TEST_F(Inbox, ComesUpWhenItMayAndCountsWhatTheUserHasNotSeen)
{
    CInboxApp app;
    ASSERT_TRUE(app.InitInstance());
    const HWND window = app.m_pMainWnd->m_hWnd;
    const HWND other = CreateWindowExA(WS_EX_NOACTIVATE, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                       nullptr, nullptr, nullptr);
    // Shown, and over the other window.
    const auto raised = [other, window] {
        for (HWND w = GetWindow(other, GW_HWNDPREV); w && IsWindowVisible(window); w = GetWindow(w, GW_HWNDPREV))
            if (w == window)
                return true;
        return false;
    };
    const struct {
        UINT message;
        WPARAM command;
        QUERY_USER_NOTIFICATION_STATE screen;
        DWORD later;
        int records;
        const char* shows;
        bool raised, visible;
        const char* tip;
    } steps[] = {
        {0, 0, QUNS_ACCEPTS_NOTIFICATIONS, 0, 1, "8", true, true, "Pellamy Inbox"},
        {0, 0, QUNS_ACCEPTS_NOTIFICATIONS, 9999, 1, "", false, true, "Pellamy Inbox"},
        {0, 0, QUNS_ACCEPTS_NOTIFICATIONS, 1, 1, "8", true, true, "Pellamy Inbox"},
        {0, 0, QUNS_ACCEPTS_NOTIFICATIONS, 1, 2, "", false, true, "Pellamy Inbox"},
        {WM_SYSCOMMAND, SC_CLOSE, QUNS_BUSY, 20000, 1, "0", false, false, "Pellamy Inbox - 1 new message"},
        {0, 0, QUNS_RUNNING_D3D_FULL_SCREEN, 0, 2, "", false, false, "Pellamy Inbox - 3 new messages"},
        {0, 0, QUNS_PRESENTATION_MODE, 0, 1, "", false, false, "Pellamy Inbox - 4 new messages"},
        {0, 0, QUNS_APP, 0, 1, "", false, false, "Pellamy Inbox - 5 new messages"},
        {WM_COMMAND, ID_SHOW_MESSAGES, QUNS_APP, 0, 0, "5", true, true, "Pellamy Inbox"},
        {WM_SYSCOMMAND, SC_CLOSE, QUNS_NOT_PRESENT, 0, 1, "08", true, true, "Pellamy Inbox"}, // a locked screen
    };
    int sent = 0;
    for (const auto& step : steps) {
        g_shows.clear();
        SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (step.message)
            SendMessageA(window, step.message, step.command, 0);
        g_screen = step.screen;
        g_now += step.later;
        ASSERT_TRUE(Deliver(sent, step.records));
        sent += step.records;
        EXPECT_TRUE(Counted(window, sent));
        EXPECT_EQ(step.shows, g_shows) << sent;
        EXPECT_EQ(step.raised, raised()) << sent;
        EXPECT_EQ(step.visible, IsWindowVisible(window) != FALSE) << sent;
        EXPECT_EQ(step.tip, g_tip) << sent;
    }
    DestroyWindow(other);
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
            SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(Deliver(sent, 1));
        ASSERT_TRUE(Counted(window, ++sent));
        EXPECT_EQ(step.after, place()) << sent;
    }
    app.m_pMainWnd->DestroyWindow();
    Pump();
}

} // namespace
