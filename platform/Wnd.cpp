#include "platform/Wnd.h"

#include "platform/Win32Api.h"

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type)
{
    return Win().MessageBoxA(m_hWnd, text, caption, type);
}
