#include "platform/AfxWin.h"

#include "platform/Win32Api.h"

namespace {

// Wrappers of menus owned elsewhere (the system menu, a popup of a loaded menu), in a list.
struct Temporary {
    CMenu menu;
    Temporary* next;
};
Temporary* g_temporaries = nullptr;

} // namespace

CMenu::~CMenu() { DestroyMenu(); }

CMenu* CMenu::FromHandle(HMENU hMenu)
{
    if (!hMenu)
        return nullptr;
    for (Temporary* temporary = g_temporaries; temporary; temporary = temporary->next)
        if (temporary->menu.m_hMenu == hMenu)
            return &temporary->menu;
    g_temporaries = new Temporary{{}, g_temporaries};
    g_temporaries->menu.m_hMenu = hMenu;
    return &g_temporaries->menu;
}

void CMenu::DeleteTemporaries()
{
    while (Temporary* temporary = g_temporaries) {
        g_temporaries = temporary->next;
        temporary->menu.Detach();
        delete temporary;
    }
}

BOOL CMenu::Attach(HMENU hMenu)
{
    m_hMenu = hMenu;
    return hMenu != nullptr;
}

HMENU CMenu::Detach()
{
    const HMENU hMenu = m_hMenu;
    m_hMenu = nullptr;
    return hMenu;
}

BOOL CMenu::LoadMenu(UINT nIDResource)
{
    const LPCSTR name = MAKEINTRESOURCEA(nIDResource);
    return Attach(Win().LoadMenuA(AfxFindResourceHandle(name, RT_MENU), name));
}

BOOL CMenu::DestroyMenu()
{
    return m_hMenu ? Win().DestroyMenu(Detach()) : FALSE;
}

CMenu* CMenu::GetSubMenu(int position) const { return FromHandle(Win().GetSubMenu(m_hMenu, position)); }

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idNewItem, LPCSTR newItem)
{
    return Win().AppendMenuA(m_hMenu, flags, idNewItem, newItem);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { m_hDC = BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() { EndPaint(m_hWnd, &m_ps); }
