#pragma once
#include "platform/Win32Api.h"

#include <string>
#include <vector>

// Records every message box instead of showing it (a real one would block the test).
class MessageBoxRecorder {
public:
    struct Box {
        HWND owner;
        std::string text;
        std::string caption; // "(null)" for a box without a caption
        UINT type;
    };

    MessageBoxRecorder() : m_override(Win().MessageBoxA, Record) { Boxes().clear(); }

    static std::vector<Box>& Boxes()
    {
        static std::vector<Box> boxes;
        return boxes;
    }

    static std::vector<std::string> Captions()
    {
        std::vector<std::string> captions;
        for (const Box& box : Boxes())
            captions.push_back(box.caption);
        return captions;
    }

private:
    static int WINAPI Record(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
    {
        Boxes().push_back({owner, text ? text : "(null)", caption ? caption : "(null)", type});
        return IDOK;
    }

    ScopedOverride<decltype(Win32Api::MessageBoxA)> m_override;
};
