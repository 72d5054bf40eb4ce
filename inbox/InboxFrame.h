#pragma once
#include "inbox/MailslotListener.h"
#include "inbox/MessageLog.h"
#include "platform/AfxWin.h"
#include "tray/TrayIcon.h"

// A record from the listener: wParam its length, lParam its bytes (see CMailslotListener).
const UINT WM_INBOX_RECORD = WM_APP + 1;

// The Inbox window: the received messages in a read-only text, a status line below, and the
// tray icon. Hidden at start, shown when messages arrive or the user asks; closing it only
// hides it, Exit destroys it.
class CInboxFrame : public CFrameWnd {
public:
    explicit CInboxFrame(CMailslotListener& listener) : m_listener(listener) {}

    // Registers the tray icon; FALSE when the shell refuses it.
    BOOL AddTrayIcon();

protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnSize(UINT type, int cx, int cy);
    void OnSetFocus(CWnd* oldWnd);
    void OnClose();
    void OnShowMessages();
    void OnExit();
    LRESULT OnCtlColorStatic(WPARAM dc, LPARAM control);
    LRESULT OnRecord(WPARAM length, LPARAM bytes);
    LRESULT OnRefresh(WPARAM wParam, LPARAM lParam);
    LRESULT OnTrayCallback(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    CMailslotListener& m_listener;
    CTrayIcon m_trayIcon;
    CMessageLog m_log;
    HWND m_text = nullptr;
    HWND m_status = nullptr;
    int m_statusHeight = 0;
    bool m_refreshPosted = false;
    bool m_newMessages = false; // since the last refresh
};
