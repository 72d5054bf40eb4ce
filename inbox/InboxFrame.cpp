#include "inbox/InboxFrame.h"

#include "platform/Win32Api.h"
#include "res/resource.h"

#include <cstdlib>

namespace {
// Sent to the top-level windows when the taskbar starts: for the first time after the Inbox,
// or again, without the icons.
const UINT WM_TASKBARCREATED = Win().RegisterWindowMessageA("TaskbarCreated");

// The DPI of the primary monitor when the user signed in: the one that Windows before 10 1607
// gives its system metrics and fonts for.
UINT SystemDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// "Not receiving: " and the system's text for the error, on one line.
CString NotReceiving(DWORD error)
{
    char text[512] = "Not receiving: ";
    const int prefix = lstrlenA(text);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  text + prefix, sizeof text - prefix, nullptr);
    if (!length)
        return CString(text, wsprintfA(text + prefix, "error %lu", error) + prefix);
    // Without the line break the system's text ends with.
    while (length && (text[prefix + length - 1] == '\r' || text[prefix + length - 1] == '\n'))
        --length;
    return CString(text, prefix + static_cast<int>(length));
}

// A shown window comes up again at most this often, however many messages arrive.
const DWORD kRaiseIntervalMs = 10000;

// To the window itself: the next step of the view's change.
const UINT WM_INBOX_VIEW = WM_APP + 3;
// The characters a step adds to the view, about 10 ms of work for Wine's edit control.
const int kViewStep = 8192;

// A full-screen program (a game, a video, a Store app) or a presentation has the screen: the
// window stays where it is. A locked screen or a screen saver does not hold it back, so that
// it waits on top for the user's return.
bool ScreenTaken()
{
    QUERY_USER_NOTIFICATION_STATE state;
    if (FAILED(Win().SHQueryUserNotificationState(&state)))
        return false;
    return state == QUNS_BUSY || state == QUNS_RUNNING_D3D_FULL_SCREEN || state == QUNS_PRESENTATION_MODE ||
           state == QUNS_APP;
}
} // namespace

BEGIN_MESSAGE_MAP(CInboxFrame, CFrameWnd)
    ON_WM_CREATE()
    ON_WM_SIZE()
    ON_WM_SETFOCUS()
    ON_WM_SYSCOMMAND()
    ON_MESSAGE(WM_ENDSESSION, OnEndSession)
    ON_COMMAND(ID_SHOW_MESSAGES, OnShowMessages)
    ON_COMMAND(ID_APP_EXIT, OnExit)
    ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColorStatic)
    ON_MESSAGE(WM_INBOX_RECORDS, OnRecords)
    ON_MESSAGE(WM_INBOX_READING, OnReading)
    ON_MESSAGE(WM_TRAYNOTIFY, OnTrayCallback)
    ON_REGISTERED_MESSAGE(WM_TASKBARCREATED, OnTaskbarCreated)
    ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
    ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
    ON_MESSAGE(WM_INBOX_VIEW, OnViewStep)
END_MESSAGE_MAP()

CInboxFrame::~CInboxFrame()
{
    // The controls that used the font went with the window.
    DeleteObject(m_font);
    for (HICON icon : m_smallIcons)
        DestroyIcon(icon);
    DestroyIcon(m_bigIcon);
}

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
    ::SetWindowTextA(m_status, Status());
    Place();
    UseDpi(Win().GetDpiForWindow ? Win().GetDpiForWindow(m_hWnd) : SystemDpi());
    return 0;
}

void CInboxFrame::Place()
{
    // The notification area is at the right end of a horizontal taskbar and the bottom end of
    // a vertical one; the taskbar's edge shows in where it lies on its monitor. Without a
    // taskbar, the bottom right corner of the primary monitor.
    APPBARDATA taskbar = {};
    taskbar.cbSize = sizeof taskbar;
    taskbar.hWnd = Win().FindWindowA("Shell_TrayWnd", nullptr);
    const bool found = taskbar.hWnd && Win().SHAppBarMessage(ABM_GETTASKBARPOS, &taskbar);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!Win().GetMonitorInfoA(found ? Win().MonitorFromRect(&taskbar.rc, MONITOR_DEFAULTTOPRIMARY)
                                     : Win().MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY),
                               &monitor))
        return;
    const RECT &bar = taskbar.rc, &screen = monitor.rcMonitor, &area = monitor.rcWork;
    const bool vertical = found && bar.bottom - bar.top > bar.right - bar.left;
    const bool top = found && !vertical && bar.top + bar.bottom < screen.top + screen.bottom;
    const bool left = vertical && bar.left + bar.right < screen.left + screen.right;
    const int width = (area.right - area.left) * 2 / 5, height = (area.bottom - area.top) * 2 / 5;
    m_placing = true;
    SetWindowPos(m_hWnd, nullptr, left ? area.left : area.right - width, top ? area.top : area.bottom - height,
                 width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    m_placing = false;
    GetWindowRect(m_hWnd, &m_placed);
}

void CInboxFrame::UseDpi(UINT dpi)
{
    m_dpi = dpi;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (Win().SystemParametersInfoForDpi) {
        Win().SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    } else {
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
    }
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    ::SendMessageA(m_text, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ::SendMessageA(m_status, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    DeleteObject(m_font);
    m_font = font;

    // The status line: one line of that font, with a little room above and below.
    const HDC dc = GetDC(m_status);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA textMetrics = {};
    GetTextMetricsA(dc, &textMetrics);
    SelectObject(dc, previous);
    ReleaseDC(m_status, dc);
    m_statusHeight = textMetrics.tmHeight + Scaled(6);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    OnSize(SIZE_RESTORED, client.right, client.bottom);
    LoadIcons();
}

void CInboxFrame::LoadIcons()
{
    const HICON old[] = {m_smallIcons[0], m_smallIcons[1], m_bigIcon};
    const auto load = [this](UINT id, int cx, int cy) {
        return static_cast<HICON>(Win().LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                                   Metric(cx), Metric(cy), LR_DEFAULTCOLOR));
    };
    m_smallIcons[0] = load(IDR_INBOX, SM_CXSMICON, SM_CYSMICON);
    m_smallIcons[1] = load(IDR_INBOX_NOT_RECEIVING, SM_CXSMICON, SM_CYSMICON);
    m_bigIcon = load(IDR_INBOX, SM_CXICON, SM_CYICON);
    SetIcon(m_smallIcons[0], FALSE);
    SetIcon(m_bigIcon, TRUE);
    // The notification area wants the small icon's size.
    m_trayIcon.SetIcon(TrayPicture());
    for (HICON icon : old)
        DestroyIcon(icon);
}

int CInboxFrame::Metric(int index) const
{
    return Win().GetSystemMetricsForDpi ? Win().GetSystemMetricsForDpi(index, m_dpi)
                                        : MulDiv(Win().GetSystemMetrics(index), m_dpi, SystemDpi());
}

BOOL CInboxFrame::AddTrayIcon()
{
    m_iconAdded = m_trayIcon.Create(this, WM_TRAYNOTIFY, TrayTip(), TrayPicture(), IDR_INBOX_TRAYMENU) != FALSE;
    return m_iconAdded;
}

CString CInboxFrame::TrayTip() const
{
    if (!m_notReceiving.IsEmpty())
        return m_notReceiving;
    char tip[64] = "Pellamy Inbox";
    if (m_unseen)
        Win().wsprintfA(tip, "Pellamy Inbox - %u new message%s", m_unseen, m_unseen == 1 ? "" : "s");
    return tip;
}

void CInboxFrame::OnSize(UINT type, int cx, int cy)
{
    if (type == SIZE_MINIMIZED)
        return;
    if (::IsWindowVisible(m_hWnd)) // restored by the user
        SetUnseen(0);
    const int textHeight = cy > m_statusHeight ? cy - m_statusHeight : 0;
    MoveWindow(m_text, 0, 0, cx, textHeight, TRUE);
    MoveWindow(m_status, Scaled(4), textHeight + Scaled(3), cx > Scaled(8) ? cx - Scaled(8) : 0,
               m_statusHeight - Scaled(6), TRUE);
}

// The keys (arrows, Ctrl+C) go to the text.
void CInboxFrame::OnSetFocus(CWnd*) { ::SetFocus(m_text); }

// The Close box and Alt+F4 only hide the window. A WM_CLOSE that comes otherwise (taskkill,
// the restart manager) takes the default course, which destroys it.
void CInboxFrame::OnSysCommand(UINT id, LPARAM)
{
    if ((id & 0xFFF0) == SC_CLOSE)
        ShowWindow(SW_HIDE);
    else
        Default();
}

// The session ends (sign-out, shutdown, or a restart for an update): the window goes, the
// icon with it, before the system ends the process.
LRESULT CInboxFrame::OnEndSession(WPARAM ending, LPARAM)
{
    if (ending)
        DestroyWindow();
    return 0;
}

void CInboxFrame::OnShowMessages()
{
    ShowWindow(IsIconic() ? SW_RESTORE : SW_SHOW);
    Win().SetForegroundWindow(m_hWnd);
    m_raisedAt = Win().GetTickCount();
    SetUnseen(0);
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
    // Only the newest kCapacity records of a batch can be kept: the older ones are counted, not
    // read. The arrival time is formatted once for the batch.
    CMailslotListener::Record* record = m_listener.TakeRecords();
    UINT records = 0;
    for (const CMailslotListener::Record* r = record; r; r = r->next)
        ++records;
    UINT unread = records > CMessageLog::kCapacity ? records - CMessageLog::kCapacity : 0;
    m_log.AddDropped(unread);
    UINT added = unread;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[64] = "", time[64] = "", arrival[130];
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time);
    Win().wsprintfA(arrival, "%s %s", date, time);
    while (record) {
        ReceivedMessage message;
        if (unread) {
            --unread;
        } else if (ParseDatagram(record->Bytes(), record->length, message)) {
            m_log.Add(message, arrival);
            ++added;
        } else {
            m_log.AddMalformed();
        }
        CMailslotListener::Record* next = record->next;
        std::free(record);
        record = next;
    }
    ::SetWindowTextA(m_status, Status());
    if (added)
        ShowNewMessages(added);
    return 0;
}

void CInboxFrame::ShowNewMessages(UINT count)
{
    if (m_viewAt < m_view.GetLength())
        m_viewBehind = true;
    else
        UpdateView();
    // On top, without taking the keyboard from what the user is typing elsewhere: always when
    // hidden, at most every kRaiseIntervalMs when shown, never over a program that has the
    // screen. Flashing until the user turns to it.
    const DWORD now = Win().GetTickCount();
    if ((!::IsWindowVisible(m_hWnd) || now - m_raisedAt >= kRaiseIntervalMs) && !ScreenTaken()) {
        ShowWindow(IsIconic() ? SW_SHOWNOACTIVATE : SW_SHOWNA);
        SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        m_raisedAt = now;
    }
    FLASHWINFO flash = {sizeof flash, m_hWnd, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
    SetUnseen(::IsWindowVisible(m_hWnd) && !IsIconic() ? 0 : m_unseen + count);
}

void CInboxFrame::UpdateView()
{
    // The text changed in place, the new messages appended and the dropped ones cut from the
    // start (under Wine far cheaper than setting all of it), painted once. A flood brings all
    // the kept text at each change: it goes in whole lines of about kViewStep characters, a
    // step each from a message posted to the window, so that it answers in between.
    DWORD cut = 0;
    bool whole = false;
    if (m_viewAt == m_view.GetLength()) {
        const CMessageLog::ViewChange change = m_log.TakeViewChange();
        cut = change.cut;
        whole = change.whole;
        m_view = change.text;
        m_viewAt = 0;
    }
    int size = m_view.GetLength() - m_viewAt;
    if (size > kViewStep) {
        // Whole lines: never inside a line break or a character of two bytes.
        size = kViewStep;
        while (m_viewAt + size < m_view.GetLength() && m_view[m_viewAt + size - 1] != '\n')
            ++size;
    }
    const CString text(m_view + m_viewAt, size);
    m_viewAt += size;
    const bool more = m_viewAt < m_view.GetLength();
    if (more || m_viewBehind)
        Win().PostMessageA(m_hWnd, WM_INBOX_VIEW, 0, 0);
    m_viewBehind = m_viewBehind && more;

    // The selection and the first line shown stay on the same text, moved by the cut (a
    // selection in the part cut goes to the start); a caret at the end stays at the end. Only
    // a view that shows the last line, or a hidden one, follows the newest.
    DWORD start = 0, end = 0;
    ::SendMessageA(m_text, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const DWORD length = GetWindowTextLengthA(m_text);
    const bool caretAtEnd = start == end && end == length;
    SCROLLINFO scroll = {sizeof scroll, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(m_text, SB_VERT, &scroll);
    const bool follow = !::IsWindowVisible(m_hWnd) || scroll.nPos + static_cast<int>(scroll.nPage) > scroll.nMax;
    if (whole)
        cut = length;
    const LRESULT first = ::SendMessageA(m_text, EM_GETFIRSTVISIBLELINE, 0, 0) -
                          ::SendMessageA(m_text, EM_LINEFROMCHAR, cut, 0);

    ::SendMessageA(m_text, WM_SETREDRAW, FALSE, 0);
    if (whole) {
        ::SetWindowTextA(m_text, text);
    } else {
        if (cut) {
            ::SendMessageA(m_text, EM_SETSEL, 0, cut);
            ::SendMessageA(m_text, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
        }
        const int last = GetWindowTextLengthA(m_text);
        ::SendMessageA(m_text, EM_SETSEL, last, last);
        ::SendMessageA(m_text, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(static_cast<const char*>(text)));
    }
    if (caretAtEnd) {
        start = end = GetWindowTextLengthA(m_text);
    } else {
        start = start > cut ? start - cut : 0;
        end = end > cut ? end - cut : 0;
    }
    ::SendMessageA(m_text, EM_SETSEL, start, end);
    const LRESULT target = follow ? ::SendMessageA(m_text, EM_GETLINECOUNT, 0, 0) : first > 0 ? first : 0;
    ::SendMessageA(m_text, EM_LINESCROLL, 0, target - ::SendMessageA(m_text, EM_GETFIRSTVISIBLELINE, 0, 0));
    ::SendMessageA(m_text, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(m_text, nullptr, TRUE);
}

LRESULT CInboxFrame::OnViewStep(WPARAM, LPARAM)
{
    UpdateView();
    return 0;
}

void CInboxFrame::SetUnseen(UINT count)
{
    if (count == m_unseen)
        return;
    m_unseen = count;
    m_trayIcon.SetTip(TrayTip());
}

LRESULT CInboxFrame::OnTrayCallback(WPARAM wParam, LPARAM lParam)
{
    return m_trayIcon.OnTrayNotification(wParam, lParam);
}

// The reader's news: the mailslot cannot be read (the system's reason), or it can again.
LRESULT CInboxFrame::OnReading(WPARAM error, LPARAM)
{
    m_notReceiving = error == ERROR_SUCCESS ? CString() : NotReceiving(static_cast<DWORD>(error));
    ::SetWindowTextA(m_status, Status());
    m_trayIcon.SetIcon(TrayPicture());
    m_trayIcon.SetTip(TrayTip());
    return 0;
}

// A taskbar that started after the Inbox gets its icon now; one that restarted gets it again.
LRESULT CInboxFrame::OnTaskbarCreated(WPARAM, LPARAM)
{
    if (m_iconAdded)
        m_trayIcon.Restore();
    else
        AddTrayIcon();
    return 0;
}

// Shown from hidden: where the user has not moved it, next to the notification area again (the
// taskbar may have moved or come later); elsewhere, placed anew when the screens changed
// meanwhile (a monitor gone, another resolution) and its middle half is off the work areas.
// Kept minimized, it comes back where it was.
LRESULT CInboxFrame::OnShowWindow(WPARAM shown, LPARAM)
{
    if (shown && !IsIconic()) {
        RECT window, middle, on;
        GetWindowRect(m_hWnd, &window);
        middle = window;
        InflateRect(&middle, -(middle.right - middle.left) / 4, -(middle.bottom - middle.top) / 4);
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof monitor;
        const bool onScreen =
            Win().GetMonitorInfoA(Win().MonitorFromRect(&middle, MONITOR_DEFAULTTONEAREST), &monitor) &&
            IntersectRect(&on, &middle, &monitor.rcWork) && EqualRect(&on, &middle);
        if (EqualRect(&window, &m_placed) || !onScreen)
            Place();
    }
    return Default();
}

// Moved to a monitor of another DPI, or that monitor's scale changed: the font, the status
// line and the icons at the new DPI, in the rectangle that Windows suggests for it.
LRESULT CInboxFrame::OnDpiChanged(WPARAM dpi, LPARAM suggested)
{
    const RECT* rect = reinterpret_cast<const RECT*>(suggested);
    if (!m_placing)
        SetWindowPos(m_hWnd, nullptr, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    UseDpi(HIWORD(dpi));
    return 0;
}
