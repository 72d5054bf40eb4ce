#include "app/MainFrm.h"

#include "platform/Win32Api.h"
#include "res/resource.h"

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWnd)

namespace {
// Sent to the top-level windows when the shell (the taskbar) has started again: every
// notification icon is gone then, and this program could not be reached without its own.
const UINT WM_TASKBARCREATED = Win().RegisterWindowMessageA("TaskbarCreated");
} // namespace

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
    ON_WM_CREATE()
    ON_COMMAND(ID_OPTION_1, OnOption1)
    ON_COMMAND(ID_OPTION_2, OnOption2)
    ON_MESSAGE(WM_TRAYNOTIFY, OnTrayCallback)
    ON_REGISTERED_MESSAGE(WM_TASKBARCREATED, OnTaskbarCreated)
END_MESSAGE_MAP()

int CMainFrame::OnCreate(LPCREATESTRUCT cs)
{
    if (CFrameWnd::OnCreate(cs) == -1)
        return -1;
    // Without its icon the program could not be reached at all: then it does not start.
    if (!m_trayIcon.Create(this, WM_TRAYNOTIFY, "Pellamy", nullptr, IDR_TRAYMENU))
        return -1;
    m_trayIcon.SetIcon(static_cast<HICON>(Win().LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                           IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    return 0;
}

void CMainFrame::OnOption1() { MessageBox("You chose Option 1"); }

void CMainFrame::OnOption2() { MessageBox("You chose Option 2"); }

LRESULT CMainFrame::OnTrayCallback(WPARAM wParam, LPARAM lParam)
{
    return m_trayIcon.OnTrayNotification(wParam, lParam);
}

LRESULT CMainFrame::OnTaskbarCreated(WPARAM, LPARAM)
{
    m_trayIcon.Restore();
    return 0;
}
