// Objects, message maps and windows: the road of a message from the window procedure to
// its handler.
#include "platform/AfxWin.h"

#include "platform/AfxImpl.h"
#include "platform/Win32Api.h"

const CRuntimeClass CObject::classCObject = {"CObject", nullptr, nullptr};
const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)
IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

// ---------------------------------------------------------------------------------------------
// Message maps

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT message, UINT code, UINT id) const
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn; ++entry) {
            const UINT bound = entry->pnRegistered ? *entry->pnRegistered : entry->nMessage;
            if (bound == message && entry->nCode == code && entry->nID == id)
                return entry;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode)
{
    const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_COMMAND, nCode, nID);
    if (!entry)
        return FALSE;
    entry->pfn(this, 0, 0);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// The window procedure

namespace {

const char kObjectProperty[] = "AfxWnd";

// The message being handled, for Default(). Kept here rather than in the window object,
// because a handler may destroy the window and delete its object before it returns.
UINT g_message;
WPARAM g_wParam;
LPARAM g_lParam;
int g_depth = 0;

} // namespace

AfxDispatchScope::AfxDispatchScope(UINT message, WPARAM wParam, LPARAM lParam)
    : m_message(g_message), m_wParam(g_wParam), m_lParam(g_lParam)
{
    g_message = message;
    g_wParam = wParam;
    g_lParam = lParam;
    ++g_depth;
}

AfxDispatchScope::~AfxDispatchScope()
{
    g_message = m_message;
    g_wParam = m_wParam;
    g_lParam = m_lParam;
    if (--g_depth == 0)
        CMenu::DeleteTemporaries();
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
    if (!wnd && message == WM_NCCREATE) {
        // A window of the library's own class: its object comes with the creation parameters.
        wnd = static_cast<CWnd*>(reinterpret_cast<LPCREATESTRUCT>(lParam)->lpCreateParams);
        wnd->Attach(hWnd, DefWindowProcA);
    }
    if (!wnd)
        return DefWindowProcA(hWnd, message, wParam, lParam);
    AfxDispatchScope scope(message, wParam, lParam);
    return wnd->WindowProc(message, wParam, lParam);
}

// Nothing of the object is touched once a handler has run: it may have deleted it.
LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCDESTROY) {
        const LRESULT result = CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
        CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd == this) {
            app->m_pMainWnd = nullptr;
            PostQuitMessage(0);
        }
        RemovePropA(m_hWnd, kObjectProperty);
        m_hWnd = nullptr;
        PostNcDestroy();
        return result;
    }
    if (message == WM_COMMAND) {
        if (OnCommand(wParam, lParam))
            return 0;
    } else if (message != 0) {
        if (const AFX_MSGMAP_ENTRY* entry = FindEntry(message, 0, 0))
            return entry->pfn(this, wParam, lParam);
    }
    return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    // Menus and accelerators (code 1) give plain commands; controls give their notification.
    const int code = lParam ? HIWORD(wParam) : 0;
    return OnCmdMsg(LOWORD(wParam), code);
}

LRESULT CWnd::Default()
{
    return CallWindowProcA(m_pfnSuper, m_hWnd, g_message, g_wParam, g_lParam);
}

void CWnd::Attach(HWND hWnd, WNDPROC superProc)
{
    m_hWnd = hWnd;
    m_pfnSuper = superProc;
    SetPropA(hWnd, kObjectProperty, this);
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd ? static_cast<CWnd*>(GetPropA(hWnd, kObjectProperty)) : nullptr;
}

CWnd::~CWnd()
{
    // A window that outlives its object no longer reaches it.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        RemovePropA(m_hWnd, kObjectProperty);
        ::DestroyWindow(m_hWnd);
    }
}

// ---------------------------------------------------------------------------------------------
// Window operations

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type)
{
    if (!caption && AfxGetApp())
        caption = AfxGetApp()->m_strAppName;
    return Win().MessageBoxA(m_hWnd, text, caption, type);
}

BOOL CWnd::ShowWindow(int nCmdShow) { return Win().ShowWindow(m_hWnd, nCmdShow); }
void CWnd::SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
BOOL CWnd::IsIconic() const { return Win().IsIconic(m_hWnd); }
void CWnd::GetClientRect(LPRECT rect) const { Win().GetClientRect(m_hWnd, rect); }
BOOL CWnd::DestroyWindow() { return ::DestroyWindow(m_hWnd); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return Win().SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return Win().PostMessageA(m_hWnd, message, wParam, lParam);
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon)
{
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

CMenu* CWnd::GetSystemMenu(BOOL revert) const { return CMenu::FromHandle(Win().GetSystemMenu(m_hWnd, revert)); }

BOOL CWnd::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }
