#pragma once
#include "inbox/MailslotListener.h"
#include "inbox/MessageLog.h"
#include "platform/AfxWin.h"
#include "tray/TrayIcon.h"

// From the listener: records wait (see CMailslotListener).
const UINT WM_INBOX_RECORDS = WM_APP + 1;

// The Inbox window: the received messages in a read-only text, a status line below, and the
// tray icon. Hidden at start, shown when messages arrive or the user asks; closing it only
// hides it, Exit destroys it. Messages that arrive while the user cannot see them are counted
// in the icon's tip.
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
    LRESULT OnRecords(WPARAM wParam, LPARAM lParam);
    LRESULT OnTrayCallback(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
    LRESULT OnViewStep(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    // Once for all the messages that one wake-up brought (count of them, those dropped unread
    // included).
    void ShowNewMessages(UINT count);
    // The text brought a step closer to the log, the reader's place kept.
    void UpdateView();
    // The messages not yet seen, told in the icon's tip.
    void SetUnseen(UINT count);

    CMailslotListener& m_listener;
    CTrayIcon m_trayIcon;
    CMessageLog m_log;
    HWND m_text = nullptr;
    HWND m_status = nullptr;
    int m_statusHeight = 0;
    CString m_view;            // the text of the view's change under way
    int m_viewAt = 0;          // how much of it the view shows
    bool m_viewBehind = false; // messages arrived meanwhile
    DWORD m_raisedAt = 0; // when the window last came up
    UINT m_unseen = 0;    // messages that arrived while it was hidden or minimized
};
