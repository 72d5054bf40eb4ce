// The built Pellamy.exe and PellamyInbox.exe as processes of their own on a Wine desktop with a
// notification area, driven from outside with the messages that the shell and the keyboard
// would send. This test runs on that desktop, started by explorer, which keeps exit statuses to
// itself: the status goes to the file that PELLAMY_STATUS_FILE names (wine-desktop-run.sh).
#include "platform/Win32.h"
#include "res/resource.h"
#include "tests/messenger/Messenger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// Every wait of this test is bounded: here, or by a call's own time limit.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 10000)
{
    for (const DWORD start = GetTickCount(); !condition(); Sleep(50))
        if (GetTickCount() - start > milliseconds)
            return false;
    return true;
}

// A started program; one left running is ended, so that the desktop closes.
class Process {
public:
    explicit Process(const char* path)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_info);
    }
    ~Process()
    {
        if (ExitCodeWithin(0) == STILL_ACTIVE)
            TerminateProcess(m_info.hProcess, 1);
        CloseHandle(m_info.hThread);
        CloseHandle(m_info.hProcess);
    }
    // Its exit code once it has ended; STILL_ACTIVE when it runs on after the time given.
    DWORD ExitCodeWithin(DWORD milliseconds) const
    {
        DWORD code = STILL_ACTIVE;
        WaitForSingleObject(m_info.hProcess, milliseconds);
        GetExitCodeProcess(m_info.hProcess, &code);
        return code;
    }
private:
    PROCESS_INFORMATION m_info = {};
};

std::string TextOf(HWND window)
{
    std::string text(1 << 20, '\0');
    DWORD_PTR length = 0;
    const LPARAM buffer = reinterpret_cast<LPARAM>(&text[0]);
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), buffer, SMTO_NORMAL, 5000, &length);
    return text.substr(0, length);
}

TEST(EndToEnd, PellamySendsAndTheInboxReceives)
{
    // The Inbox starts hidden; a double-click on its icon shows the window, and its Close box
    // hides it.
    Process inbox(INBOX_EXE);
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (window = FindWindowA("AfxFrameWnd", "Pellamy Inbox")) != nullptr; }));
    EXPECT_FALSE(IsWindowVisible(window));
    PostMessageA(window, WM_TRAYNOTIFY, IDR_INBOX_TRAYMENU, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }));
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }));
    const HWND text = GetDlgItem(window, IDC_INBOX_TEXT);
    const HWND status = GetDlgItem(window, IDC_INBOX_STATUS);

    Process pellamy(PELLAMY_EXE);
    HWND frame = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (frame = FindWindowA("AfxFrameWnd", "ORVANTIS")) != nullptr; }));

    // The shell's double-click opens the send dialog. Send: the Inbox shows the message on top,
    // without taking the foreground from the dialog.
    PostMessageA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_LBUTTONDBLCLK);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = FindWindowA("#32770", "Pellamy")) != nullptr; }));
    SetDlgItemTextA(dialog, IDC_DESTINATION, ".");
    SetDlgItemTextA(dialog, IDC_MESSAGE, "caf\xE9\r\nline");
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(GetDlgItem(dialog, IDC_SEND), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored));
    EXPECT_TRUE(WaitUntil([&] { return TextOf(status) == "1 message"; })) << TextOf(status);
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof computer;
    GetComputerNameA(computer, &length);
    const std::string shown = TextOf(text);
    EXPECT_EQ(0u, shown.find(std::string("From ") + computer + " to ., ")) << shown;
    EXPECT_EQ("\r\ncaf\xE9\r\nline", shown.substr(shown.find("\r\n"))) << shown;
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(dialog, GetForegroundWindow());

    // The tray menu's Exit ends Pellamy, with the send dialog open.
    PostMessageA(frame, WM_COMMAND, ID_APP_EXIT, 0);
    EXPECT_EQ(0u, pellamy.ExitCodeWithin(10000));

    // A record without its three fields is counted, not shown; the next message is appended
    // after a blank line.
    const std::vector<std::string> records = {"no fields", std::string("W\0.\0two\0", 8)};
    ASSERT_TRUE(Written(StartWriting(kMessengerSlot, records), 10000));
    EXPECT_TRUE(WaitUntil([&] { return TextOf(status) == "2 messages, 1 malformed record ignored"; }))
        << TextOf(status);
    const std::string both = TextOf(text);
    EXPECT_EQ(0u, both.find(shown + "\r\n\r\nFrom W to ., ")) << both;

    // A second Inbox says why it cannot run, in one box, and ends with exit code 1.
    Process secondInbox(INBOX_EXE);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = FindWindowA("#32770", "Pellamy Inbox")) != nullptr; }));
    EXPECT_EQ("Another program already receives Messenger messages on this computer.", TextOf(GetDlgItem(box, 0xFFFF)));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1u, secondInbox.ExitCodeWithin(10000));

    // A close request from outside, as taskkill without /F makes it, ends the Inbox.
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, inbox.ExitCodeWithin(10000));
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    const char* statusFile = std::getenv("PELLAMY_STATUS_FILE");
    if (FILE* file = statusFile ? std::fopen(statusFile, "w") : nullptr) {
        std::fprintf(file, "%d\n", status);
        std::fclose(file);
    }
    return status;
}
