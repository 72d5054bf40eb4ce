#include "platform/AfxWin.h"

#include "platform/Win32Api.h"

#include <cstring>

IMPLEMENT_DYNAMIC(CFrameWnd, CWnd)

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
    ON_WM_CREATE()
END_MESSAGE_MAP()

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD style, CWnd* parent, void*)
{
    static const char kClassName[] = "AfxFrameWnd";
    const HINSTANCE instance = AfxGetInstanceHandle();
    const LPCSTR name = MAKEINTRESOURCEA(nIDResource);
    WNDCLASSA windowClass = {};
    if (!GetClassInfoA(instance, kClassName, &windowClass)) {
        windowClass.lpfnWndProc = AfxWndProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconA(instance, name);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kClassName;
        if (!RegisterClassA(&windowClass))
            return FALSE;
    }

    // The resource string holds fields separated by line feeds; the first is the title.
    CString document;
    document.LoadString(nIDResource);
    const char* end = std::strchr(document, '\n');
    const CString title(document, end ? static_cast<int>(end - document) : document.GetLength());

    const HMENU menu = Win().LoadMenuA(AfxFindResourceHandle(name, RT_MENU), name);
    m_hAccelTable = LoadAcceleratorsA(AfxFindResourceHandle(name, RT_ACCELERATOR), name);
    const HWND hWnd = CreateWindowExA(0, kClassName, title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, parent ? parent->m_hWnd : nullptr, menu, instance, this);
    // When OnCreate refused, the window's destruction has deleted this object already
    // (PostNcDestroy): only locals are used from here on.
    if (!hWnd && menu && IsMenu(menu))
        Win().DestroyMenu(menu);
    return hWnd != nullptr;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode)
{
    // What the frame does not handle goes on to the application object.
    if (CWnd::OnCmdMsg(nID, nCode))
        return TRUE;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(nID, nCode);
}

BOOL CFrameWnd::PreTranslateMessage(MSG* msg)
{
    return m_hAccelTable && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST &&
           (msg->hwnd == m_hWnd || IsChild(m_hWnd, msg->hwnd)) &&
           TranslateAcceleratorA(m_hWnd, m_hAccelTable, msg);
}

void CFrameWnd::PostNcDestroy()
{
    // Frames are made with new and live as long as their window.
    delete this;
}
