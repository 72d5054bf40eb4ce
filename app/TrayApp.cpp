#include "app/TrayApp.h"

#include "app/MainFrm.h"
#include "platform/Win32Api.h"
#include "res/resource.h"

// Built in this order at start, destroyed in the reverse order at exit.
CTrayApp g_trayApp;
CSendDlg g_sendDialog;
int g_bSendDialogOpen = 0;

BEGIN_MESSAGE_MAP(CTrayApp, CWinApp)
    ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
    ON_COMMAND(ID_SEND_DIALOG, OnOpenSendDialog)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

BOOL CTrayApp::InitInstance()
{
    Enable3dControls();

    CMainFrame* frame = new CMainFrame;
    if (!frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, nullptr))
        return FALSE;
    m_pMainWnd = frame; // never shown

    // The mutex only tells whether another copy runs; its handle stays open for the life of
    // the process. A copy that cannot create it runs unguarded.
    const HANDLE mutex = Win().CreateMutexA(nullptr, TRUE, "PreventSecondInstance");
    const DWORD error = Win().GetLastError();
    if (mutex)
        Win().ReleaseMutex(mutex);
    return error != ERROR_ALREADY_EXISTS;
}

void CTrayApp::OnOpenSendDialog()
{
    // A second request brings back the dialog that runs instead of nesting another loop.
    if (g_bSendDialogOpen) {
        g_sendDialog.ShowWindow(SW_RESTORE);
        return;
    }
    g_bSendDialogOpen = 1;
    g_sendDialog.DoModal();
    g_bSendDialogOpen = 0;
}

void CTrayApp::OnAppAbout()
{
    CAboutDlg about;
    about.DoModal();
}
