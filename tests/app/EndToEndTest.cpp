// The built Pellamy.exe as a user meets it: started as a process of its own on a Wine desktop
// that has a taskbar and a notification area, and driven from outside with the messages that
// the shell and the keyboard would send it. This program runs on that desktop too (windows of
// other desktops cannot be seen) and is started there by explorer, which does not pass an exit
// status on: so it writes its status to the file that PELLAMY_STATUS_FILE names
// (cmake/wine-desktop-run.sh reads it).
#include <windows.h>
#include <shellapi.h>

#include "res/resource.h"
#include "tests/messenger/MailslotReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kFrameClass[] = "AfxFrameWnd";
const char kFrameTitle[] = "ORVANTIS";
const char kDialogClass[] = "#32770";
const char kMutexName[] = "PreventSecondInstance";

// Polls until the condition holds or the time is up; every wait of this test goes through
// here or through a call with its own time limit.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
    return true;
}

// The copies of the program belong to a job that ends them when this process ends, however
// it ends, so that the desktop closes behind a crashed test too.
HANDLE ChildrenJob()
{
    static const HANDLE job = [] {
        const HANDLE created = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    return job;
}

// One started copy of the program. A copy that the test leaves running is killed, so that a
// failing test ends and the desktop closes behind it.
class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process()
    {
        if (!m_info.hProcess)
            return;
        if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_info.hProcess, 1);
            WaitForSingleObject(m_info.hProcess, 5000);
        }
        CloseHandle(m_info.hThread);
        CloseHandle(m_info.hProcess);
    }

    bool Start(const char* path)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_info))
            return false;
        AssignProcessToJobObject(ChildrenJob(), m_info.hProcess);
        return true;
    }

    DWORD Id() const { return m_info.dwProcessId; }
    bool EndsWithin(DWORD timeoutMs) const { return WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0; }

    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_info.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION m_info = {};
};

struct TopWindow {
    HWND handle;
    DWORD processId;
    std::string className;
    std::string title;
    bool visible;
};

// Every top-level window of this desktop, hidden ones included.
std::vector<TopWindow> TopWindows()
{
    std::vector<TopWindow> windows;
    EnumWindows(
        [](HWND handle, LPARAM list) WINAPI -> BOOL {
            char className[64] = {};
            char title[64] = {};
            GetClassNameA(handle, className, sizeof className);
            GetWindowTextA(handle, title, sizeof title);
            DWORD processId = 0;
            GetWindowThreadProcessId(handle, &processId);
            reinterpret_cast<std::vector<TopWindow>*>(list)->push_back(
                {handle, processId, className, title, IsWindowVisible(handle) != FALSE});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Pellamy's hidden frames, of whichever copy.
std::vector<HWND> Frames()
{
    std::vector<HWND> frames;
    for (const TopWindow& window : TopWindows())
        if (window.className == kFrameClass && window.title == kFrameTitle)
            frames.push_back(window.handle);
    return frames;
}

HWND FrameOf(const Process& process)
{
    for (const TopWindow& window : TopWindows())
        if (window.processId == process.Id() && window.className == kFrameClass && window.title == kFrameTitle)
            return window.handle;
    return nullptr;
}

// The dialog boxes the process shows: the send dialog, an About box, a message box.
std::vector<TopWindow> DialogsOf(const Process& process)
{
    std::vector<TopWindow> dialogs;
    for (const TopWindow& window : TopWindows())
        if (window.processId == process.Id() && window.className == kDialogClass && window.visible)
            dialogs.push_back(window);
    return dialogs;
}

std::string Describe(const std::vector<TopWindow>& windows)
{
    std::string text;
    for (const TopWindow& window : windows)
        text += " \"" + window.title + "\"";
    return text.empty() ? " none" : text;
}

bool MutexExists()
{
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kMutexName);
    if (mutex)
        CloseHandle(mutex);
    return mutex != nullptr;
}

// The notification area answers a change of an icon only when it holds that icon. The
// change asked for here (no flags) alters nothing.
bool TrayHoldsIcon(HWND owner)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = owner;
    icon.uID = IDR_TRAYMENU;
    return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE;
}

// Keys as the keyboard delivers them: through the program's message queue, one character
// message each. Enter is a carriage return.
void Type(HWND control, const std::string& text)
{
    for (const char c : text)
        PostMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
}

std::string TextOf(HWND control)
{
    char text[256] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000,
                             &length))
        return "(no answer)";
    return std::string(text, length);
}


std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    GetComputerNameA(name, &length);
    return std::string(name, length);
}

TEST(EndToEnd, StartsAloneOpensFromTheTraySendsSurvivesAShellRestartAndExits)
{
    ASSERT_FALSE(MutexExists()) << "another copy of Pellamy runs in this Wine prefix";
    MailslotReader reader;
    ASSERT_TRUE(reader.IsOpen()) << "the mailslot \\\\.\\mailslot\\messngr is taken";

    // It starts: the hidden frame appears, with its icon in the notification area. The guard
    // is checked after the frame is made, so the mutex tells when that check is past.
    Process first;
    ASSERT_TRUE(first.Start(PELLAMY_EXE)) << "cannot start " << PELLAMY_EXE;
    HWND frame = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (frame = FrameOf(first)) != nullptr && MutexExists(); }, 20000))
        << "no frame or no single-instance mutex 20 s after the start";
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_TRUE(TrayHoldsIcon(frame));

    // A second copy ends within seconds and takes neither the first's frame nor its icon.
    Process second;
    ASSERT_TRUE(second.Start(PELLAMY_EXE));
    ASSERT_TRUE(second.EndsWithin(10000)) << "the second copy still runs after 10 s";
    EXPECT_EQ(0u, second.ExitCode());
    EXPECT_EQ(std::vector<HWND>{frame}, Frames());
    EXPECT_FALSE(first.EndsWithin(0));
    EXPECT_TRUE(TrayHoldsIcon(frame));

    // The shell's double-click callback opens the send dialog, owned by the hidden frame.
    ASSERT_TRUE(PostMessageA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_LBUTTONDBLCLK));
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<TopWindow> dialogs = DialogsOf(first);
            dialog = dialogs.size() == 1 && dialogs[0].title == "Pellamy" ? dialogs[0].handle : nullptr;
            return dialog != nullptr;
        },
        10000))
        << "dialogs after the double-click:" << Describe(DialogsOf(first));
    EXPECT_EQ(frame, GetWindow(dialog, GW_OWNER));
    const HWND destination = GetDlgItem(dialog, IDC_DESTINATION);
    const HWND message = GetDlgItem(dialog, IDC_MESSAGE);
    const HWND send = GetDlgItem(dialog, IDC_SEND);
    ASSERT_TRUE(destination && message && send);

    // Typed text reaches the fields; Enter in the message field makes a line break.
    Type(destination, ".");
    Type(message, "Hello from the end-to-end test\rsecond line");
    const std::string typed = "Hello from the end-to-end test\r\nsecond line";
    ASSERT_TRUE(WaitUntil([&] { return TextOf(destination) == "." && TextOf(message) == typed; }, 10000))
        << "destination \"" << TextOf(destination) << "\", message \"" << TextOf(message) << "\"";

    // Send: one 420-byte datagram from this computer to "." with the typed text, and no box.
    // The click returns when the send is done, or after the time limit when a box holds it.
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(send, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored))
        << "the click did not return; dialogs:" << Describe(DialogsOf(first));
    std::vector<std::string> datagrams;
    WaitUntil(
        [&] {
            for (const std::string& datagram : reader.ReadAll())
                datagrams.push_back(datagram);
            return !datagrams.empty();
        },
        5000);
    ASSERT_EQ(1u, datagrams.size());
    ASSERT_EQ(420u, datagrams[0].size());
    const std::string fields = ComputerName() + '\0' + "." + '\0' + typed + '\0';
    EXPECT_EQ(fields, datagrams[0].substr(0, fields.size()));
    EXPECT_EQ(1u, DialogsOf(first).size()) << "dialogs after the send:" << Describe(DialogsOf(first));

    // Esc closes the dialog; the program runs on.
    PostMessageA(destination, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 10000)) << "the dialog is still open after Esc";
    EXPECT_FALSE(first.EndsWithin(0));

    // A restarted shell has lost the icon and announces itself to every top-level window:
    // the program puts its icon back and still answers the tray callback.
    NOTIFYICONDATAA lost = {};
    lost.cbSize = NOTIFYICONDATAA_V1_SIZE;
    lost.hWnd = frame;
    lost.uID = IDR_TRAYMENU;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &lost));
    ASSERT_FALSE(TrayHoldsIcon(frame));
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000,
                        &answer);
    EXPECT_TRUE(WaitUntil([&] { return TrayHoldsIcon(frame); }, 10000)) << "no icon after the shell restarted";
    answer = 1;
    EXPECT_TRUE(SendMessageTimeoutA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU + 1, WM_RBUTTONUP, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(0u, answer); // another icon's callback: answered, and nothing shown

    // The tray menu's Exit reaches the frame as a posted command and ends the program.
    ASSERT_TRUE(PostMessageA(frame, WM_COMMAND, ID_APP_EXIT, 0));
    ASSERT_TRUE(first.EndsWithin(10000)) << "Pellamy still runs 10 s after Exit";
    EXPECT_EQ(0u, first.ExitCode());
    EXPECT_TRUE(Frames().empty());
    EXPECT_TRUE(reader.ReadAll().empty());
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
