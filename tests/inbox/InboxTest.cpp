// The Inbox in process: its start-up failures, with the mailslot and the shell stood in for
// and message boxes recorded; and its reader and window on a mailslot of the test's own.
// (tests/inbox/InboxEndToEndTest.cpp runs the real program.)
#include "inbox/InboxApp.h"
#include "platform/Win32Api.h"
#include "res/resource.h"
#include "tests/platform/GuiTest.h"
#include "tests/platform/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

DWORD g_mailslotError;
BOOL g_shellResult;
int g_icons; // registered and not removed

struct StartFailure {
    DWORD mailslotError;
    BOOL shellResult;
    std::string text;
    UINT type;
};

TEST(Inbox, AFailedStartShowsOneBoxAndEndsWithExitCode1)
{
    char denied[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED, 0, denied,
                   sizeof denied, nullptr);
    const StartFailure failures[] = {
        {ERROR_ALREADY_EXISTS, TRUE, "Another program already receives Messenger messages on this computer.",
         MB_ICONINFORMATION},
        {ERROR_ACCESS_DENIED, TRUE, denied, MB_ICONERROR},
        {ERROR_SUCCESS, FALSE, "Pellamy Inbox cannot show its icon: there is no notification area.", MB_ICONERROR},
    };
    for (const StartFailure& failure : failures) {
        g_mailslotError = failure.mailslotError;
        g_shellResult = failure.shellResult;
        g_icons = 0;
        ScopedOverride<decltype(Win32Api::CreateMailslotA)> slot(
            Win().CreateMailslotA, [](LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES) WINAPI {
                SetLastError(g_mailslotError);
                return g_mailslotError ? INVALID_HANDLE_VALUE : CreateEventA(nullptr, TRUE, FALSE, nullptr);
            });
        ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> shell(
            Win().Shell_NotifyIconA, [](DWORD message, PNOTIFYICONDATAA) WINAPI {
                g_icons += message == NIM_ADD && g_shellResult ? 1 : message == NIM_DELETE ? -1 : 0;
                return g_shellResult;
            });
        MessageBoxRecorder boxes;
        CInboxApp app;

        EXPECT_EQ(1, AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
        ASSERT_EQ(1u, boxes.Boxes().size());
        EXPECT_EQ(failure.text, boxes.Boxes()[0].text);
        EXPECT_EQ("Pellamy Inbox", boxes.Boxes()[0].caption);
        EXPECT_EQ(MB_OK | failure.type, boxes.Boxes()[0].type);
        EXPECT_EQ(0, g_icons);
        EXPECT_EQ(nullptr, FindWindowA("AfxFrameWnd", "Pellamy Inbox"));
        DropQuitMessages();
    }
}

const char kTestSlot[] = "\\\\.\\mailslot\\pellamy_inbox_test";

std::string TextOf(HWND window)
{
    std::string text(GetWindowTextLengthA(window) + 1, '\0');
    text.resize(GetWindowTextA(window, &text[0], static_cast<int>(text.size())));
    return text;
}

// Handles the window's messages until the condition holds, for 20 s at most.
template <typename Condition>
bool PumpUntil(Condition condition)
{
    for (const DWORD deadline = GetTickCount() + 20000; !condition(); Pump(20))
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0)
            return false;
    return true;
}

// Writes the records on a thread of its own: a writer waits while the mailslot is full.
HANDLE StartWriting(const std::vector<std::string>& records)
{
    static std::vector<std::string> pending; // outlives the writer
    pending = records;
    return CreateThread(
        nullptr, 0,
        [](LPVOID) WINAPI -> DWORD {
            const HANDLE slot =
                CreateFileA(kTestSlot, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            DWORD written = 0;
            for (const std::string& record : pending)
                WriteFile(slot, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
            return CloseHandle(slot);
        },
        nullptr, 0, nullptr);
}

// Record k: sender W, recipient ".", text k, then filler that is not shown.
std::string Numbered(int k, size_t filler = 0)
{
    return std::string("W\0.\0", 4) + std::to_string(k) + '\0' + std::string(filler, 'x');
}

// A window that handles nothing for a while finds, at the next wake-up, more than it keeps:
// its text is then set whole, and appended to and cut after, to exactly the last 1,000 in
// order. Meanwhile the reader queues no more than 8 MiB and the writer waits, until the window
// takes the queue.
TEST(Inbox, TakesWhatQueuedWhileBusyWithinItsBoundAndKeepsTheLastThousand)
{
    ScopedOverride<decltype(Win32Api::CreateMailslotA)> slot(
        Win().CreateMailslotA, [](LPCSTR, DWORD size, DWORD timeout, LPSECURITY_ATTRIBUTES security) WINAPI {
            return CreateMailslotA(kTestSlot, size, timeout, security);
        });
    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> shell(Win().Shell_NotifyIconA,
                                                               [](DWORD, PNOTIFYICONDATAA) WINAPI { return TRUE; });
    CInboxApp app;
    ASSERT_TRUE(app.InitInstance());
    const HWND status = GetDlgItem(app.m_pMainWnd->m_hWnd, IDC_INBOX_STATUS);
    const HWND text = GetDlgItem(app.m_pMainWnd->m_hWnd, IDC_INBOX_TEXT);

    // 1,200 short records and 200 of 60,000 bytes, more than the queue holds.
    std::vector<std::string> records;
    for (int k = 0; k < 1400; ++k)
        records.push_back(Numbered(k, k < 1200 ? 0 : 60000));
    const HANDLE writer = StartWriting(records);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(writer, 1000)) << "the queue took every record";
    EXPECT_TRUE(PumpUntil([&] { return TextOf(status) == "1400 messages (400 older ones dropped)"; }))
        << TextOf(status);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer, 5000));
    CloseHandle(writer);

    std::string expected;
    for (int k = 400; k < 1400; ++k)
        expected += std::to_string(k) + (k < 1399 ? "\r\n\r\n" : "");
    std::string numbers = TextOf(text);
    for (size_t at; (at = numbers.find("From W to .")) != std::string::npos;)
        numbers.erase(at, numbers.find("\r\n", at) + 2 - at);
    EXPECT_EQ(expected, numbers);

    app.m_pMainWnd->DestroyWindow();
    DropQuitMessages();
}

} // namespace
