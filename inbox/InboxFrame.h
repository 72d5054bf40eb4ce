#pragma once
#include "inbox/MailslotListener.h"
#include "inbox/MessageLog.h"
#include "platform/AfxWin.h"
#include "tray/TrayIcon.h"

// From the listener (see CMailslotListener): records wait; the mailslot can be read or not.
const UINT WM_INBOX_RECORDS = WM_APP + 1;
const UINT WM_INBOX_READING = WM_APP + 2;

// The Inbox window: the received messages in a read-only text, a status line below, and the
// tray icon. Hidden at start, shown when messages arrive or the user asks; its Close box (and
// Alt+F4) only hides it. Exit, a close request from outside (WM_CLOSE, as taskkill sends it)
// and the end of the session destroy it, which ends the program. It opens next to the
// notification area and draws its font and icons at the DPI of the monitor it is on. Messages
// that arrive while the user cannot see them are counted in the icon's tip.
class CInboxFrame : public CFrameWnd {
public:
    explicit CInboxFrame(CMailslotListener& listener) : m_listener(listener) {}
    ~CInboxFrame() override;

    // Registers the tray icon; FALSE when the shell refuses it (there is no taskbar yet: it is
    // registered when one announces itself).
    BOOL AddTrayIcon();

protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnSize(UINT type, int cx, int cy);
    void OnSetFocus(CWnd* oldWnd);
    void OnSysCommand(UINT id, LPARAM lParam);
    LRESULT OnEndSession(WPARAM ending, LPARAM);
    void OnShowMessages();
    void OnExit();
    LRESULT OnCtlColorStatic(WPARAM dc, LPARAM control);
    LRESULT OnRecords(WPARAM wParam, LPARAM lParam);
    LRESULT OnReading(WPARAM error, LPARAM);
    LRESULT OnTrayCallback(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowWindow(WPARAM shown, LPARAM status);
    LRESULT OnDpiChanged(WPARAM dpi, LPARAM suggested);
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
    // In the corner of the work area next to the notification area, two fifths of it each way.
    void Place();
    // The system's message font, the status line's height and the icons for the DPI.
    void UseDpi(UINT dpi);
    void LoadIcons();
    // A length of the 96-DPI screen, and a system metric, at the window's DPI.
    int Scaled(int length) const { return MulDiv(length, m_dpi, 96); }
    int Metric(int index) const;
    // The tray icon's picture and tip, and the status line: the Inbox's own (the tip with the
    // messages not yet seen), or those that say it is not receiving.
    HICON TrayPicture() const { return m_smallIcons[m_notReceiving.IsEmpty() ? 0 : 1]; }
    CString TrayTip() const;
    CString Status() const { return m_notReceiving.IsEmpty() ? m_log.Status() : m_notReceiving; }

    CMailslotListener& m_listener;
    CTrayIcon m_trayIcon;
    CMessageLog m_log;
    HWND m_text = nullptr;
    HWND m_status = nullptr;
    int m_statusHeight = 0;
    UINT m_dpi = 96;
    HFONT m_font = nullptr;
    HICON m_smallIcons[2] = {}; // receiving (also the window's) and not receiving
    HICON m_bigIcon = nullptr;
    bool m_placing = false; // a move of this program's, not the user's
    RECT m_placed = {};     // where it was placed last
    bool m_iconAdded = false;
    CString m_notReceiving; // why the mailslot cannot be read; empty while it can
    CString m_view;            // the text of the view's change under way
    int m_viewAt = 0;          // how much of it the view shows
    bool m_viewBehind = false; // messages arrived meanwhile
    DWORD m_raisedAt = 0; // when the window last came up
    UINT m_unseen = 0;    // messages that arrived while it was hidden or minimized
};
