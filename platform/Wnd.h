#pragma once
#include "platform/Win32.h"

// A window of the class library: the handle and what the program does with it.
class CWnd {
public:
    virtual ~CWnd() = default;

    // Shows a message box modal to this window.
    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);

    HWND m_hWnd = nullptr;
};
