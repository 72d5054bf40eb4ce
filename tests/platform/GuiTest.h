#pragma once
// Driving real windows from a test without ever blocking on a modal loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Steps run one at a time from a timer message of a window of the test, so in whichever loop
// fetches it (a dialog's, a menu's). A timer message comes only when nothing else is queued:
// what a step posts (keys, the characters they become, commands) is handled before the next.
class Steps {
public:
    // Runs an action that enters a modal loop with the steps running inside it; after ten
    // seconds the menu or dialog still open is ended, and the test fails.
    template <class Action>
    static auto During(const std::vector<std::function<void()>>& steps, Action action)
    {
        static const HWND window = [] {
            WNDCLASSA windowClass = {};
            windowClass.lpfnWndProc = Proc;
            windowClass.lpszClassName = "PellamyTestSteps";
            RegisterClassA(&windowClass);
            return CreateWindowA("PellamyTestSteps", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        }();
        s_pending.insert(s_pending.end(), steps.begin(), steps.end());
        SetTimer(window, 1, USER_TIMER_MINIMUM, nullptr);
        const UINT_PTR deadline = SetTimer(nullptr, 0, 10000, Expire);
        const auto result = action();
        KillTimer(nullptr, deadline);
        EXPECT_TRUE(s_pending.empty()) << "steps that never ran";
        s_pending.clear();
        return result;
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != WM_TIMER)
            return DefWindowProcA(window, message, wParam, lParam);
        KillTimer(window, 1);
        if (s_pending.empty())
            return 0;
        const std::function<void()> step = s_pending.front();
        s_pending.pop_front();
        if (!s_pending.empty()) // armed first: the step may open a loop in which the next ones run
            SetTimer(window, 1, USER_TIMER_MINIMUM, nullptr);
        step();
        return 0;
    }
    static void CALLBACK Expire(HWND, UINT, UINT_PTR, DWORD)
    {
        ADD_FAILURE() << "a modal loop did not end in time";
        EndMenu();
        EndDialog(GetActiveWindow(), -2);
    }
    static inline std::deque<std::function<void()>> s_pending;
};

inline std::string WindowText(HWND window)
{
    std::string text(GetWindowTextLengthA(window) + 1, '\0');
    text.resize(GetWindowTextA(window, &text[0], static_cast<int>(text.size())));
    return text;
}

// A menu's items from a position on: text=command, "-" for a separator, "*" after the default.
inline std::string MenuItems(HMENU menu, int from = 0)
{
    std::string items;
    for (int k = from; k < GetMenuItemCount(menu); ++k) {
        char text[32] = {};
        GetMenuStringA(menu, k, text, sizeof text, MF_BYPOSITION);
        const std::string mark = GetMenuDefaultItem(menu, TRUE, 0) == UINT(k) ? "*=" : "=";
        items += GetMenuItemID(menu, k) ? text + mark + std::to_string(GetMenuItemID(menu, k)) + "|" : "-|";
    }
    return items;
}

// Handles what is queued; a quit message (a main window's end) is dropped, so that it cannot
// end the next test's loop.
inline void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
}
