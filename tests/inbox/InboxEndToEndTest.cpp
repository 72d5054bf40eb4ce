// The built PellamyInbox.exe as a user meets it, beside the built Pellamy.exe: both started
// as processes of their own on a Wine desktop with a notification area, and driven from
// outside. Like Pellamy's end-to-end test, it writes its status to the file that
// PELLAMY_STATUS_FILE names (cmake/wine-desktop-run.sh reads it).
#include <windows.h>
#include <shellapi.h>

#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Every wait of this test goes through here or through a call with its own time limit.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = 10000)
{
    for (const ULONGLONG deadline = GetTickCount64() + timeoutMs; !condition(); Sleep(50))
        if (GetTickCount64() >= deadline)
            return false;
    return true;
}

// A started program, ended if the test leaves it running so that the desktop can close.
struct Process {
    PROCESS_INFORMATION info = {};
    explicit Process(const char* path)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    }
    ~Process()
    {
        if (info.hProcess && !EndsWithin(0))
            TerminateProcess(info.hProcess, 1);
    }
    bool EndsWithin(DWORD ms) const { return WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0; }
    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
    // Its top-level window of the class and title, hidden ones included.
    HWND Window(const char* className, const char* title) const
    {
        HWND window = nullptr;
        DWORD id = 0;
        while ((window = FindWindowExA(nullptr, window, className, title)) &&
               (GetWindowThreadProcessId(window, &id), id != info.dwProcessId)) {
        }
        return window;
    }
};

// The notification area answers a change of an icon (here none) only when it holds it.
bool TrayHoldsIcon(HWND owner)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = owner;
    icon.uID = IDR_INBOX_TRAYMENU;
    return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE;
}

std::string TextOf(HWND window)
{
    std::string text(1 << 20, '\0');
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, 5000, &length);
    return text.substr(0, length);
}

// Writes records to the mailslot on a thread of its own, since a writer waits while the
// mailslot's queue is full. True when all were written in time.
bool Write(const std::vector<std::string>& records, DWORD timeoutMs = 10000)
{
    const auto write = [](LPVOID records) WINAPI -> DWORD {
        const HANDLE slot = CreateFileA("\\\\.\\mailslot\\messngr", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        DWORD written = 0, all = TRUE;
        for (const std::string& record : *static_cast<std::vector<std::string>*>(records))
            all &= WriteFile(slot, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        CloseHandle(slot);
        return all;
    };
    static std::vector<std::string> pending; // outlives a writer that is still waiting
    pending = records;
    const HANDLE thread = CreateThread(nullptr, 0, write, &pending, 0, nullptr);
    DWORD all = FALSE;
    return WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &all) && all;
}

TEST(InboxEndToEnd, ReceivesFromPellamyIgnoresTheMalformedStaysAloneAndKeepsTheLastThousand)
{
    Process inbox(INBOX_EXE);
    HWND frame = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (frame = inbox.Window("AfxFrameWnd", "Pellamy Inbox")) && TrayHoldsIcon(frame); },
                          20000))
        << "no Inbox window with its tray icon 20 s after the start";
    EXPECT_FALSE(IsWindowVisible(frame));
    const HWND text = GetDlgItem(frame, IDC_INBOX_TEXT);
    const HWND status = GetDlgItem(frame, IDC_INBOX_STATUS);

    // Pellamy sends to this computer from its send dialog: the Inbox shows the message, on
    // top but without taking the foreground from the dialog.
    Process pellamy(PELLAMY_EXE);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return pellamy.Window("AfxFrameWnd", "ORVANTIS"); }, 20000));
    PostMessageA(pellamy.Window("AfxFrameWnd", "ORVANTIS"), WM_TRAYNOTIFY, IDR_TRAYMENU, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(WaitUntil([&] { return (dialog = pellamy.Window("#32770", "Pellamy")) != nullptr; }));
    PostMessageA(GetDlgItem(dialog, IDC_DESTINATION), WM_CHAR, '.', 1);
    for (const char c : std::string("caf\xE9"))
        PostMessageA(GetDlgItem(dialog, IDC_MESSAGE), WM_CHAR, static_cast<BYTE>(c), 1);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_MESSAGE)) == "caf\xE9"; }));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, IDC_SEND), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(status) == "1 message"; })) << TextOf(status);
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof computer;
    GetComputerNameA(computer, &length);
    const std::string shown = TextOf(text);
    EXPECT_EQ(0u, shown.find(std::string("From ") + computer + " to ., ")) << shown;
    EXPECT_EQ("\r\ncaf\xE9", shown.substr(shown.find("\r\n"))) << shown;
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_EQ(dialog, GetForegroundWindow());

    // A record without its three fields is counted, not shown; in a heading a control
    // character shows as '?', in a text a lone CR or LF breaks the line.
    ASSERT_TRUE(Write({"no fields", std::string("\x01W\nR\0.\0one\rtwo\nthree\0", 22)}));
    EXPECT_TRUE(WaitUntil([&] { return TextOf(status) == "2 messages, 1 malformed record ignored"; }))
        << TextOf(status);
    const std::string both = TextOf(text);
    EXPECT_EQ(0u, both.find(shown + "\r\n\r\nFrom ?W?R to ., ")) << both;
    EXPECT_EQ("\r\none\r\ntwo\r\nthree", both.substr(both.find("\r\n", shown.size() + 4))) << both;

    // A second Inbox says why it cannot run, in one box and without a window or icon of its
    // own, and ends with exit code 1.
    Process second(INBOX_EXE);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = second.Window("#32770", "Pellamy Inbox")) != nullptr; }, 20000));
    EXPECT_EQ("Another program already receives Messenger messages on this computer.", TextOf(GetDlgItem(box, 0xFFFF)));
    EXPECT_EQ(nullptr, second.Window("AfxFrameWnd", "Pellamy Inbox"));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(second.EndsWithin(10000));
    EXPECT_EQ(1u, second.ExitCode());

    // A burst of 2,000 numbered records arrives whole and in order; the last 1,000 are shown.
    std::vector<std::string> burst;
    for (int k = 0; k < 2000; ++k)
        burst.push_back(std::string("W\0.\0", 4) + std::to_string(k) + '\0');
    ASSERT_TRUE(Write(burst, 60000)) << "the burst was not written within 60 s";
    EXPECT_TRUE(WaitUntil(
        [&] { return TextOf(status) == "2002 messages (1002 older ones dropped), 1 malformed record ignored"; }))
        << TextOf(status);
    std::string expected;
    for (int k = 1000; k < 2000; ++k)
        expected += std::to_string(k) + (k < 1999 ? "\r\n\r\n" : "");
    std::string numbers = TextOf(text);
    for (size_t at; (at = numbers.find("From W to .")) != std::string::npos;)
        numbers.erase(at, numbers.find("\r\n", at) + 2 - at);
    EXPECT_EQ(expected, numbers);

    // Exit ends the Inbox and takes its icon away.
    PostMessageA(frame, WM_COMMAND, ID_APP_EXIT, 0);
    ASSERT_TRUE(inbox.EndsWithin(10000)) << "the Inbox still runs 10 s after Exit";
    EXPECT_EQ(0u, inbox.ExitCode());
    EXPECT_FALSE(TrayHoldsIcon(frame));
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    if (const char* statusFile = std::getenv("PELLAMY_STATUS_FILE")) {
        if (FILE* file = std::fopen(statusFile, "w")) {
            std::fprintf(file, "%d\n", status);
            std::fclose(file);
        }
    }
    return status;
}
