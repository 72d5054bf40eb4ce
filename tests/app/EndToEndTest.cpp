// The built Pellamy.exe as a user meets it: a process of its own on a Wine desktop with a
// taskbar and a notification area, driven from outside with the messages that the shell and
// the keyboard would send it. This test runs on that desktop too, started by explorer, which
// keeps exit statuses to itself: so the status goes to the file that PELLAMY_STATUS_FILE names
// (cmake/wine-desktop-run.sh reads it).
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

// A started copy of a program; one left running is ended, so that the desktop closes.
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
        if (!EndsWithin(0))
            TerminateProcess(m_info.hProcess, 1);
        CloseHandle(m_info.hThread);
        CloseHandle(m_info.hProcess);
    }
    bool EndsWithin(DWORD milliseconds) const
    {
        return WaitForSingleObject(m_info.hProcess, milliseconds) != WAIT_TIMEOUT;
    }
    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_info.hProcess, &code);
        return code;
    }
    // A top-level window of this process, hidden ones too.
    HWND Window(const char* className, const char* title = nullptr) const
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
bool TrayHoldsIcon(HWND owner)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = owner;
    icon.uID = IDR_TRAYMENU;
    return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE;
}

std::string TextOf(HWND control)
{
    char text[256] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000, &length);
    return std::string(text, length);
}

TEST(EndToEnd, StartsAloneOpensFromTheTraySendsAndExits)
{
    MailslotReader reader;
    ASSERT_TRUE(reader.IsOpen()) << "the mailslot \\\\.\\mailslot\\messngr is taken";

    // It starts hidden, with its icon; the mutex tells that the check for a second copy is past.
    Process first(PELLAMY_EXE);
    HWND frame = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "PreventSecondInstance");
        CloseHandle(mutex);
        return (frame = first.Window("AfxFrameWnd", "ORVANTIS")) && mutex;
    }));
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_TRUE(TrayHoldsIcon(frame));

    // A second copy ends at once and leaves the first one's frame and icon alone.
    Process second(PELLAMY_EXE);
    ASSERT_TRUE(second.EndsWithin(10000));
    EXPECT_EQ(0u, second.ExitCode());
    EXPECT_EQ(frame, FindWindowA("AfxFrameWnd", "ORVANTIS"));
    EXPECT_EQ(nullptr, FindWindowExA(nullptr, frame, "AfxFrameWnd", "ORVANTIS"));
    EXPECT_TRUE(TrayHoldsIcon(frame));

    // The shell's double-click opens the send dialog; typed keys reach it, Enter in the message
    // making a line break, and Send delivers the datagram.
    PostMessageA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_LBUTTONDBLCLK);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = first.Window("#32770", "Pellamy")) != nullptr; }));
    EXPECT_EQ(frame, GetWindow(dialog, GW_OWNER));
    for (const char c : std::string("."))
        PostMessageA(GetDlgItem(dialog, IDC_DESTINATION), WM_CHAR, c, 1);
    for (const char c : std::string("Hello\rthere"))
        PostMessageA(GetDlgItem(dialog, IDC_MESSAGE), WM_CHAR, c, 1);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_MESSAGE)) == "Hello\r\nthere"; }));
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(GetDlgItem(dialog, IDC_SEND), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored));
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    GetComputerNameA(name, &length);
    std::vector<std::string> records;
    WaitUntil([&] { return !(records = reader.ReadAll()).empty(); });
    EXPECT_EQ(std::vector<std::string>({Record(name, ".", "Hello\r\nthere")}), records);

    // The tray menu's Exit ends the program, icon and all.
    PostMessageA(frame, WM_COMMAND, ID_APP_EXIT, 0);
    ASSERT_TRUE(first.EndsWithin(10000));
    EXPECT_EQ(0u, first.ExitCode());
    EXPECT_FALSE(TrayHoldsIcon(frame));
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
