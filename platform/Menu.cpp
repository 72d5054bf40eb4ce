#include "platform/AfxWin.h"

#include "platform/Win32Api.h"

#include <memory>
#include <vector>

namespace {

// Wrappers of menus owned elsewhere (the system menu, a popup of a loaded menu).
std::vector<std::unique_ptr<CMenu>>& Temporaries()
{
    static std::vector<std::unique_ptr<CMenu>> temporaries;
    return temporaries;
}

} // namespace

CMenu::~CMenu() { DestroyMenu(); }

CMenu* CMenu::FromHandle(HMENU hMenu)
{
    if (!hMenu)
        return nullptr;
    for (const std::unique_ptr<CMenu>& menu : Temporaries())
        if (menu->m_hMenu == hMenu)
            return menu.get();
    Temporaries().push_back(std::make_unique<CMenu>());
    Temporaries().back()->m_hMenu = hMenu;
    return Temporaries().back().get();
}

void CMenu::DeleteTemporaries()
{
    for (const std::unique_ptr<CMenu>& menu : Temporaries())
        menu->Detach();
    Temporaries().clear();
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
