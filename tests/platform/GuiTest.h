#pragma once
// Driving real windows from a test without ever blocking on a modal loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

// Runs steps from inside whatever message loop runs next (a modal dialog's, typically): a
// thread timer takes one step each time it fires, so a step may open a nested loop in which
// the next steps run. A second timer ends the loops after five seconds, so that no test can
// hang.
class InsideModalLoop {
public:
    explicit InsideModalLoop(std::vector<std::function<void()>> steps)
    {
        s_steps = std::move(steps);
        s_next = 0;
        m_timer = SetTimer(nullptr, 0, 50, Fire);
        m_guard = SetTimer(nullptr, 0, 5000, GiveUp);
    }
    explicit InsideModalLoop(std::function<void()> step)
        : InsideModalLoop(std::vector<std::function<void()>>{std::move(step)})
    {
    }
    ~InsideModalLoop()
    {
        KillTimer(nullptr, m_timer);
        KillTimer(nullptr, m_guard);
        s_steps.clear();
    }
    InsideModalLoop(const InsideModalLoop&) = delete;
    InsideModalLoop& operator=(const InsideModalLoop&) = delete;

    static bool Done() { return s_next >= s_steps.size(); }

private:
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD)
    {
        if (Done()) {
            KillTimer(nullptr, id);
            return;
        }
        // Taken before it runs: a step that opens a loop is still running when the next fires.
        const size_t step = s_next++;
        s_steps[step]();
    }
    // Fires every five seconds until the object goes: each time it ends the active dialog
    // and the loop that runs, so nested loops unwind one by one.
    static void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD)
    {
        ADD_FAILURE() << "the message loop did not end in time";
        if (HWND active = GetActiveWindow())
            EndDialog(active, -2);
        PostQuitMessage(-2);
    }
    static inline std::vector<std::function<void()>> s_steps;
    static inline size_t s_next = 0;
    UINT_PTR m_timer;
    UINT_PTR m_guard;
};

// Handles queued messages, as a message loop would, for the given time.
inline void Pump(DWORD milliseconds = 100)
{
    const DWORD end = GetTickCount() + milliseconds;
    MSG msg;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    }
}

// Destroying a main window ends the message loop; its quit message must not end the next
// test's loop.
inline void DropQuitMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}
