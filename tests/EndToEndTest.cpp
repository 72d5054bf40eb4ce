// The built Pellamy.exe and PellamyInbox.exe as a user meets them: processes of their own on a
// Wine desktop with a taskbar and a notification area, driven from outside with the messages
// that the shell and the keyboard would send. This test runs on that desktop too, started by
// explorer, which keeps exit statuses to itself: so the status goes to the file that
// PELLAMY_STATUS_FILE names (cmake/wine-desktop-run.sh reads it).
#include <windows.h>
#include <shellapi.h>

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
    // Its top-level window of the class and title, hidden ones included.
    HWND Window(const char* className, const char* title) const
    {
        for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, className, title)) != nullptr;) {
            DWORD id = 0;
            GetWindowThreadProcessId(window, &id);
            if (id == m_info.dwProcessId)
                return window;
        }
        return nullptr;
    }

private:
    PROCESS_INFORMATION m_info = {};
};

// The notification area answers a change of an icon only when it holds it; this change (no
// flags) alters nothing.
bool TrayHoldsIcon(HWND owner, UINT id)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = owner;
    icon.uID = id;
    return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE;
}

std::string TextOf(HWND window)
{
    std::string text(1 << 20, '\0');
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, 5000, &length);
    return text.substr(0, length);
}

TEST(EndToEnd, PellamySendsAndTheInboxReceives)
{
    // The Inbox starts hidden, with its icon; a double-click on it shows the window, and closing
    // the window hides it.
    Process inbox(INBOX_EXE);
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        return (window = inbox.Window("AfxFrameWnd", "Pellamy Inbox")) && TrayHoldsIcon(window, IDR_INBOX_TRAYMENU);
    }));
    EXPECT_FALSE(IsWindowVisible(window));
    PostMessageA(window, WM_TRAYNOTIFY, IDR_INBOX_TRAYMENU, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }));
    const HWND text = GetDlgItem(window, IDC_INBOX_TEXT);
    const HWND status = GetDlgItem(window, IDC_INBOX_STATUS);

    // Pellamy starts hidden, with its icon; the mutex tells that its check for a second copy
    // is past. A second copy ends at once and leaves the first one's frame and icon alone.
    Process pellamy(PELLAMY_EXE);
    HWND frame = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "PreventSecondInstance");
        CloseHandle(mutex);
        return (frame = pellamy.Window("AfxFrameWnd", "ORVANTIS")) && mutex;
    }));
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_EQ(0u, Process(PELLAMY_EXE).ExitCodeWithin(10000));
    EXPECT_EQ(frame, FindWindowA("AfxFrameWnd", "ORVANTIS"));
    EXPECT_EQ(nullptr, FindWindowExA(nullptr, frame, "AfxFrameWnd", "ORVANTIS"));
    EXPECT_TRUE(TrayHoldsIcon(frame, IDR_TRAYMENU));

    // The shell's double-click opens the send dialog; typed keys reach it, Enter in the message
    // making a line break. Send: the Inbox shows the message on top, without taking the
    // foreground from the dialog.
    PostMessageA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_LBUTTONDBLCLK);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = pellamy.Window("#32770", "Pellamy")) != nullptr; }));
    EXPECT_EQ(frame, GetWindow(dialog, GW_OWNER));
    PostMessageA(GetDlgItem(dialog, IDC_DESTINATION), WM_CHAR, '.', 1);
    for (const char c : std::string("caf\xE9\rline"))
        PostMessageA(GetDlgItem(dialog, IDC_MESSAGE), WM_CHAR, static_cast<BYTE>(c), 1);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_MESSAGE)) == "caf\xE9\r\nline"; }));
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

    // The tray menu's Exit ends Pellamy, icon and all.
    PostMessageA(frame, WM_COMMAND, ID_APP_EXIT, 0);
    EXPECT_EQ(0u, pellamy.ExitCodeWithin(10000));
    EXPECT_FALSE(TrayHoldsIcon(frame, IDR_TRAYMENU));

    // A record without its three fields is counted, not shown; in a heading a control
    // character shows as '?', in a text a lone CR or LF breaks the line.
    const std::vector<std::string> records = {"no fields", std::string("\x01W\nR\0.\0one\rtwo\nthree\0", 22)};
    ASSERT_TRUE(Written(StartWriting(kMessengerSlot, records), 10000));
    EXPECT_TRUE(WaitUntil([&] { return TextOf(status) == "2 messages, 1 malformed record ignored"; }))
        << TextOf(status);
    const std::string both = TextOf(text);
    EXPECT_EQ(0u, both.find(shown + "\r\n\r\nFrom ?W?R to ., ")) << both;
    EXPECT_EQ("\r\none\r\ntwo\r\nthree", both.substr(both.find("\r\n", shown.size() + 4))) << both;

    // A second Inbox says why it cannot run, in one box, without a window of its own, and
    // ends with exit code 1.
    Process secondInbox(INBOX_EXE);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = secondInbox.Window("#32770", "Pellamy Inbox")) != nullptr; }));
    EXPECT_EQ("Another program already receives Messenger messages on this computer.", TextOf(GetDlgItem(box, 0xFFFF)));
    EXPECT_EQ(nullptr, secondInbox.Window("AfxFrameWnd", "Pellamy Inbox"));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1u, secondInbox.ExitCodeWithin(10000));

    // A burst of 2,000 numbered records arrives whole and in order; the last 1,000 are shown.
    std::vector<std::string> burst;
    for (int k = 0; k < 2000; ++k)
        burst.push_back(Numbered(k));
    ASSERT_TRUE(Written(StartWriting(kMessengerSlot, burst), 60000));
    EXPECT_TRUE(WaitUntil(
        [&] { return TextOf(status) == "2002 messages (1002 older ones dropped), 1 malformed record ignored"; }))
        << TextOf(status);
    EXPECT_EQ(Numbers(1000, 2000), NumbersShown(TextOf(text)));

    // Exit ends the Inbox and takes its icon away.
    PostMessageA(window, WM_COMMAND, ID_APP_EXIT, 0);
    EXPECT_EQ(0u, inbox.ExitCodeWithin(10000));
    EXPECT_FALSE(TrayHoldsIcon(window, IDR_INBOX_TRAYMENU));
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
