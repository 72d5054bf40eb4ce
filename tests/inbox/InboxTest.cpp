// The Inbox in process: its start-up failures, with the mailslot and the shell stood in for and
// message boxes recorded; and its reader and window on a mailslot of the test's own, with the
// reader's calls scripted where the system cannot be made to fail.
#include "inbox/InboxApp.h"

#include "platform/Win32Api.h"
#include "res/resource.h"
#include "tests/messenger/Messenger.h"
#include "tests/platform/GuiTest.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    ScopedOverride<decltype(Win32Api::LoadImageA)> m_picture{
        Win().LoadImageA, [](HINSTANCE, LPCSTR name, UINT, int, int, UINT) WINAPI {
            return reinterpret_cast<HANDLE>(const_cast<LPSTR>(name));
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
};

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
    const HWND status = GetDlgItem(window, IDC_INBOX_STATUS);
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(10)) {
        Pump();
        if (WindowText(status) == "2000 messages (1000 older ones dropped)")
            break;
    }
    EXPECT_TRUE(Written(writer, 0));
    EXPECT_EQ("2000 messages (1000 older ones dropped)", WindowText(status));
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

} // namespace
