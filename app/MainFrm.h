#pragma once
#include "platform/AfxWin.h"
#include "tray/TrayIcon.h"

// The main window, never shown: it hosts the tray icon, receives its callback and the
// commands of the tray menu, which it leaves to the application object.
class CMainFrame : public CFrameWnd {
    DECLARE_DYNCREATE(CMainFrame)

protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnOption1();
    void OnOption2();
    LRESULT OnTrayCallback(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);

    CTrayIcon m_trayIcon;

    DECLARE_MESSAGE_MAP()
};
