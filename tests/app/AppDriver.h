#pragma once
// Drives the program's own objects (g_trayApp with its hidden frame, g_sendDialog) through
// many modal loops in a row, quickly: each step is a message posted to a window of the test,
// so it runs as soon as the next loop (the send dialog's, the tray menu's) fetches it, with
// no timer to wait for. The shell and the single-instance mutex are stood in for, and message
// boxes are recorded.
#include "app/TrayApp.h"

#include "messenger/Datagram.h"
#include "platform/Win32Api.h"
#include "res/resource.h"
#include "tests/messenger/MailslotReader.h"
#include "tests/platform/GuiTest.h"
#include "tests/platform/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// No notification area on a bare X display, and no other copy to guard against.
struct StandInShell {
    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> shell{
        Win().Shell_NotifyIconA, [](DWORD, PNOTIFYICONDATAA) WINAPI -> BOOL { return TRUE; }};
    ScopedOverride<decltype(Win32Api::CreateMutexA)> mutex{
        Win().CreateMutexA,
        [](LPSECURITY_ATTRIBUTES, BOOL, LPCSTR) WINAPI { return reinterpret_cast<HANDLE>(0x77); }};
    ScopedOverride<decltype(Win32Api::GetLastError)> error{Win().GetLastError, []() WINAPI -> DWORD { return 0; }};
    ScopedOverride<decltype(Win32Api::ReleaseMutex)> release{Win().ReleaseMutex,
                                                             [](HANDLE) WINAPI -> BOOL { return TRUE; }};
};


// Steps run, in order, each from the message loop that fetches its message next.
class PostedSteps {
public:
    PostedSteps()
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "PellamyTestSteps";
        RegisterClassA(&windowClass);
        m_window = CreateWindowA("PellamyTestSteps", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~PostedSteps()
    {
        DestroyWindow(m_window);
        Pending().clear();
    }
    PostedSteps(const PostedSteps&) = delete;
    PostedSteps& operator=(const PostedSteps&) = delete;

    void Post(std::function<void()> step)
    {
        Pending().push_back(std::move(step));
        PostMessageA(m_window, WM_APP, 0, 0);
    }
    static bool AllRan() { return Pending().empty(); }

private:
    static std::deque<std::function<void()>>& Pending()
    {
        static std::deque<std::function<void()>> pending;
        return pending;
    }
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != WM_APP || Pending().empty())
            return DefWindowProcA(window, message, wParam, lParam);
        // Taken off first: the step may open a loop in which the next ones run.
        std::function<void()> step = std::move(Pending().front());
        Pending().pop_front();
        step();
        return 0;
    }

    HWND m_window = nullptr;
};

// Ends whatever modal loop still runs when the time is up (a tray menu, the send dialog, an
// About box), so that a step that failed to close it cannot hang the test.
class Deadline {
public:
    explicit Deadline(DWORD milliseconds)
    {
        s_expired = false;
        m_timer = SetTimer(nullptr, 0, milliseconds, Expire);
    }
    ~Deadline() { KillTimer(nullptr, m_timer); }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    static bool Expired() { return s_expired; }

private:
    static BOOL CALLBACK EndDialogs(HWND window, LPARAM)
    {
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (std::string(name) == "#32770")
            EndDialog(window, -2);
        return TRUE;
    }
    static void CALLBACK Expire(HWND, UINT, UINT_PTR id, DWORD)
    {
        KillTimer(nullptr, id);
        s_expired = true;
        ADD_FAILURE() << "a modal loop did not end in time";
        EndMenu();
        EnumThreadWindows(GetCurrentThreadId(), EndDialogs, 0);
    }
    static inline bool s_expired = false;
    UINT_PTR m_timer;
};

// The running program: its frame started as the start-up code starts it, destroyed at the end
// as Exit destroys it.
class RunningApp {
public:
    RunningApp()
    {
        g_sendDialog.m_strDestination = "";
        g_sendDialog.m_strMessage = "";
        m_started = g_trayApp.InitInstance() && g_trayApp.m_pMainWnd;
        if (m_started)
            m_frame = g_trayApp.m_pMainWnd->m_hWnd;
    }
    ~RunningApp()
    {
        if (g_trayApp.m_pMainWnd)
            g_trayApp.m_pMainWnd->DestroyWindow();
        DropQuitMessages();
    }
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    bool Started() const { return m_started; }
    HWND Frame() const { return m_frame; }

    // The shell's way in: the icon's callback, answered when its handler is done (for a
    // double-click, after the send dialog has closed; for a right-click, after the menu).
    LRESULT Callback(UINT event) const { return SendMessageA(m_frame, WM_TRAYNOTIFY, IDR_TRAYMENU, event); }

private:
    StandInShell m_shell;
    bool m_started = false;
    HWND m_frame = nullptr;
};

inline HWND SendDialog() { return g_sendDialog.m_hWnd; }
inline HWND SendDialogControl(int id) { return GetDlgItem(g_sendDialog.m_hWnd, id); }

// A key as the keyboard delivers it: through the message queue, to be translated there.
inline void PressKey(HWND control, WPARAM key)
{
    PostMessageA(control, WM_KEYDOWN, key, 1);
    PostMessageA(control, WM_KEYUP, key, 0xC0000001);
}

inline std::string WindowText(HWND window)
{
    std::string text(GetWindowTextLengthA(window) + 1, '\0');
    text.resize(GetWindowTextA(window, &text[0], static_cast<int>(text.size())));
    return text;
}

inline std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    GetComputerNameA(name, &length);
    return name;
}

// The 420 bytes the Messenger service must read: the sender, the recipient as given, the
// first 255 bytes of the text in the OEM code page, each with its NUL, and zeros after.
inline std::string ExpectedDatagram(const std::string& sender, const std::string& recipient,
                                    const std::string& message)
{
    std::string text = message.substr(0, kMaxTextLength);
    CharToOemBuffA(text.c_str(), &text[0], static_cast<DWORD>(text.size()));
    std::string datagram = sender + '\0' + recipient + '\0' + text + '\0';
    datagram.resize(kDatagramSize, '\0');
    return datagram;
}
