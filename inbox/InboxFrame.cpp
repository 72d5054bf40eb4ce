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
    ::SetWindowTextA(m_status, m_log.Status());
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

const char* CInboxFrame::TrayTip() const
{
    return m_notReceiving.IsEmpty() ? "Pellamy Inbox" : static_cast<const char*>(m_notReceiving);
}

void CInboxFrame::OnSize(UINT type, int cx, int cy)
{
    if (type == SIZE_MINIMIZED)
        return;
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

// The reader's news: the mailslot cannot be read (the system's reason), or it can again.
LRESULT CInboxFrame::OnReading(WPARAM error, LPARAM)
{
    m_notReceiving = error == ERROR_SUCCESS ? CString() : NotReceiving(static_cast<DWORD>(error));
    ::SetWindowTextA(m_status, m_notReceiving.IsEmpty() ? m_log.Status() : m_notReceiving);
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
