#include "inbox/InboxFrame.h"

#include "platform/Win32Api.h"
#include "res/resource.h"

#include <cstdlib>

namespace {
// Sent to the top-level windows when the taskbar has started again, without the icons.
const UINT WM_TASKBARCREATED = Win().RegisterWindowMessageA("TaskbarCreated");
} // namespace

BEGIN_MESSAGE_MAP(CInboxFrame, CFrameWnd)
    ON_WM_CREATE()
    ON_WM_SIZE()
    ON_WM_SETFOCUS()
    ON_WM_CLOSE()
    ON_COMMAND(ID_SHOW_MESSAGES, OnShowMessages)
    ON_COMMAND(ID_APP_EXIT, OnExit)
    ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColorStatic)
    ON_MESSAGE(WM_INBOX_RECORDS, OnRecords)
    ON_MESSAGE(WM_TRAYNOTIFY, OnTrayCallback)
    ON_REGISTERED_MESSAGE(WM_TASKBARCREATED, OnTaskbarCreated)
END_MESSAGE_MAP()

int CInboxFrame::OnCreate(LPCREATESTRUCT cs)
{
    if (CFrameWnd::OnCreate(cs) == -1)
        return -1;
    const HINSTANCE instance = AfxGetInstanceHandle();
    m_text = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0,
                             0, m_hWnd, reinterpret_cast<HMENU>(IDC_INBOX_TEXT), instance, nullptr);
    m_status = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0,
                               m_hWnd, reinterpret_cast<HMENU>(IDC_INBOX_STATUS), instance, nullptr);
    if (!m_text || !m_status)
        return -1;

    // Messages are appended to the text: no limit but memory's (the kept ones are bounded).
    ::SendMessageA(m_text, EM_SETLIMITTEXT, 0, 0);
    const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    ::SendMessageA(m_text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageA(m_status, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // The status line: one line of that font, with a little room above and below.
    const HDC dc = GetDC(m_status);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(m_status, dc);
    m_statusHeight = metrics.tmHeight + 6;
    ::SetWindowTextA(m_status, m_log.Status());

    // Above the notification area, where its icon is, in two fifths of the screen's each way.
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const int width = (area.right - area.left) * 2 / 5, height = (area.bottom - area.top) * 2 / 5;
    SetWindowPos(m_hWnd, nullptr, area.right - width, area.bottom - height, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

BOOL CInboxFrame::AddTrayIcon()
{
    const HICON icon = static_cast<HICON>(Win().LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_INBOX),
                                                           IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    return m_trayIcon.Create(this, WM_TRAYNOTIFY, "Pellamy Inbox", icon, IDR_INBOX_TRAYMENU);
}

void CInboxFrame::OnSize(UINT type, int cx, int cy)
{
    if (type == SIZE_MINIMIZED)
        return;
    const int textHeight = cy > m_statusHeight ? cy - m_statusHeight : 0;
    MoveWindow(m_text, 0, 0, cx, textHeight, TRUE);
    MoveWindow(m_status, 4, textHeight + 3, cx > 8 ? cx - 8 : 0, m_statusHeight - 6, TRUE);
}

// The keys (arrows, Ctrl+C) go to the text.
void CInboxFrame::OnSetFocus(CWnd*) { ::SetFocus(m_text); }

void CInboxFrame::OnClose() { ShowWindow(SW_HIDE); }

void CInboxFrame::OnShowMessages()
{
    ShowWindow(IsIconic() ? SW_RESTORE : SW_SHOW);
    Win().SetForegroundWindow(m_hWnd);
}

void CInboxFrame::OnExit() { DestroyWindow(); }

// The text and the status line on the window's own background, not the grey that read-only
// and static controls get by default.
LRESULT CInboxFrame::OnCtlColorStatic(WPARAM dc, LPARAM)
{
    SetTextColor(reinterpret_cast<HDC>(dc), GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(reinterpret_cast<HDC>(dc), GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

LRESULT CInboxFrame::OnRecords(WPARAM, LPARAM)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    bool added = false;
    for (CMailslotListener::Record* record = m_listener.TakeRecords(); record;) {
        ReceivedMessage message;
        if (ParseDatagram(record->Bytes(), record->length, message)) {
            m_log.Add(message, now);
            added = true;
        } else {
            m_log.AddMalformed();
        }
        CMailslotListener::Record* next = record->next;
        std::free(record);
        record = next;
    }
    ::SetWindowTextA(m_status, m_log.Status());
    if (added)
        ShowNewMessages();
    return 0;
}

void CInboxFrame::ShowNewMessages()
{
    // The text changed in place, the new messages appended and the dropped ones cut from the
    // start (under Wine far cheaper than setting all of it), painted once.
    const CMessageLog::ViewChange change = m_log.TakeViewChange();
    ::SendMessageA(m_text, WM_SETREDRAW, FALSE, 0);
    if (change.whole) {
        ::SetWindowTextA(m_text, change.text);
        ::SendMessageA(m_text, EM_SETSEL, change.text.GetLength(), change.text.GetLength());
    } else {
        if (change.cut) {
            ::SendMessageA(m_text, EM_SETSEL, 0, change.cut);
            ::SendMessageA(m_text, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
        }
        // At the end, wherever the user left the caret.
        const int end = GetWindowTextLengthA(m_text);
        ::SendMessageA(m_text, EM_SETSEL, end, end);
        ::SendMessageA(m_text, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(static_cast<const char*>(change.text)));
    }
    ::SendMessageA(m_text, WM_SETREDRAW, TRUE, 0);
    // Scrolled to the newest, where the caret now is.
    ::SendMessageA(m_text, EM_SCROLLCARET, 0, 0);
    ::InvalidateRect(m_text, nullptr, TRUE);

    // On top, without taking the keyboard from what the user is typing elsewhere, and
    // flashing until the user turns to it.
    ShowWindow(IsIconic() ? SW_SHOWNOACTIVATE : SW_SHOWNA);
    SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    FLASHWINFO flash = {sizeof flash, m_hWnd, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
}

LRESULT CInboxFrame::OnTrayCallback(WPARAM wParam, LPARAM lParam)
{
    return m_trayIcon.OnTrayNotification(wParam, lParam);
}

LRESULT CInboxFrame::OnTaskbarCreated(WPARAM, LPARAM)
{
    m_trayIcon.Restore();
    return 0;
}
