// The Inbox in process: its start-up failures, with the mailslot and the shell stood in for and
// message boxes recorded; and its reader and window on a mailslot of the test's own.
#include "inbox/InboxApp.h"

#include "platform/Win32Api.h"
#include "res/resource.h"
#include "tests/messenger/Messenger.h"
#include "tests/platform/GuiTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kSlot[] = "\\\\.\\mailslot\\pellamy_inbox_test";
DWORD g_mailslotError;
BOOL g_shellResult;
std::string g_shell; // the shell calls in order: 0 adds the icon, 2 removes it
std::string g_boxes; // each message box's text, caption and type

// The mailslot (one of the test's own, or a failure), the shell and message boxes, stood in for.
class Inbox : public testing::Test {
protected:
    void SetUp() override
    {
        g_mailslotError = ERROR_SUCCESS;
        g_shellResult = TRUE;
        g_shell.clear();
        g_boxes.clear();
    }
    ScopedOverride<decltype(Win32Api::CreateMailslotA)> m_slot{
        Win().CreateMailslotA, [](LPCSTR, DWORD size, DWORD timeout, LPSECURITY_ATTRIBUTES security) WINAPI {
            SetLastError(g_mailslotError);
            return g_mailslotError ? INVALID_HANDLE_VALUE : CreateMailslotA(kSlot, size, timeout, security);
        }};
    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> m_shell{
        Win().Shell_NotifyIconA, [](DWORD message, PNOTIFYICONDATAA) WINAPI {
            g_shell += std::to_string(message);
            return g_shellResult;
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
    const HANDLE writer = StartWriting(kSlot, records);
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
    app.m_pMainWnd->DestroyWindow(); // Exit
    EXPECT_EQ("002", g_shell);       // and removed
    Pump();
}

} // namespace
