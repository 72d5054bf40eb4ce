#pragma once
#include "app/SendDlg.h"
#include "platform/AfxWin.h"

// The application: starts the hidden frame with its tray icon, keeps a second copy from
// running, and answers the tray menu's commands.
class CTrayApp : public CWinApp {
public:
    BOOL InitInstance() override;

protected:
    void OnAppAbout();
    void OnOpenSendDialog();

    DECLARE_MESSAGE_MAP()
};

// The About box: its template's OK button closes it.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};

extern CTrayApp g_trayApp;
extern CSendDlg g_sendDialog;
extern int g_bSendDialogOpen; // 1 while the send dialog runs
