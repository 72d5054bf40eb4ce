#pragma once
#include "platform/Win32Api.h"

#include <string>
#include <vector>

// Records every message box instead of showing it (a real one would block the test).
class MessageBoxRecorder {
public:
    struct Box {
        HWND owner;
        std::string text, caption;
        UINT type;
    };
    static std::vector<Box>& Boxes()
    {
        static std::vector<Box> boxes;
        return boxes;
    }
    MessageBoxRecorder() { Boxes().clear(); }

private:
    ScopedOverride<decltype(Win32Api::MessageBoxA)> m_override{
        Win().MessageBoxA, [](HWND owner, LPCSTR text, LPCSTR caption, UINT type) WINAPI {
            Boxes().push_back({owner, text ? text : "(none)", caption ? caption : "(none)", type});
            return IDOK;
        }};
};
