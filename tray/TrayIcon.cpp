#include "tray/TrayIcon.h"

#include "platform/Win32Api.h"

#include <cstring>

IMPLEMENT_DYNAMIC(CTrayIcon, CObject)

namespace {
// The shell reads the record in its first form (88 bytes in the 32-bit program), a tip of 64
// characters with NUL.
const DWORD kRecordSize = NOTIFYICONDATAA_V1_SIZE;
const size_t kTipSize = 64;
} // namespace

CTrayIcon::CTrayIcon() : m_bEnabled(FALSE) { std::memset(&m_nid, 0, sizeof m_nid); }

CTrayIcon::~CTrayIcon() { RemoveIcon(); }

BOOL CTrayIcon::Create(CWnd* notifyWnd, UINT callbackMessage, LPCSTR tip, HICON icon, UINT id)
{
    // The notification area came with Windows 4.
    m_bEnabled = FALSE;
    if (LOBYTE(LOWORD(Win().GetVersion())) < 4)
        return FALSE;
    if (!notifyWnd || !Win().IsWindow(notifyWnd->m_hWnd))
        return FALSE;

    m_nid.cbSize = kRecordSize;
    m_nid.hWnd = notifyWnd->m_hWnd;
    m_nid.uID = id;
    m_nid.hIcon = icon;
    m_nid.uCallbackMessage = callbackMessage;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    lstrcpynA(m_nid.szTip, tip ? tip : "", kTipSize);

    m_bEnabled = Win().Shell_NotifyIconA(NIM_ADD, &m_nid);
    return m_bEnabled;
}

BOOL CTrayIcon::SetIcon(HICON icon)
{
    if (!m_bEnabled)
        return FALSE;
    m_nid.uFlags = NIF_ICON;
    m_nid.hIcon = icon;
    return Win().Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

BOOL CTrayIcon::SetTip(LPCSTR tip)
{
    // Kept either way, for a registration still to come.
    lstrcpynA(m_nid.szTip, tip, kTipSize);
    if (!m_bEnabled)
        return FALSE;
    m_nid.uFlags = NIF_TIP;
    return Win().Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

void CTrayIcon::RemoveIcon()
{
    if (!m_bEnabled)
        return;
    m_nid.uFlags = 0;
    Win().Shell_NotifyIconA(NIM_DELETE, &m_nid);
    m_bEnabled = FALSE;
}

BOOL CTrayIcon::Restore()
{
    // Registered as far as this object knows: a refusal now is tried again at the next
    // restart, and the icon still counts as registered for its removal.
    if (!m_bEnabled)
        return FALSE;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return Win().Shell_NotifyIconA(NIM_ADD, &m_nid);
}

LRESULT CTrayIcon::OnTrayNotification(WPARAM wParam, LPARAM lParam)
{
    if (wParam != m_nid.uID)
        return 0;
    const UINT event = LOWORD(lParam);
    if (event != WM_RBUTTONUP && event != WM_LBUTTONDBLCLK)
        return 1;

    // Loaded anew each time and destroyed on the way out.
    CMenu menu;
    if (!menu.LoadMenu(LOWORD(m_nid.uID)))
        return 0;
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup)
        return 0;

    const HWND notifyWnd = m_nid.hWnd;
    if (event == WM_RBUTTONUP) {
        Win().SetMenuDefaultItem(popup->m_hMenu, 0, TRUE);
        POINT cursor = {};
        Win().GetCursorPos(&cursor);
        // In the foreground, the menu closes when the user clicks elsewhere; the chosen item
        // arrives later as a queued command.
        Win().SetForegroundWindow(notifyWnd);
        Win().TrackPopupMenu(popup->m_hMenu, 0, cursor.x, cursor.y, 0, notifyWnd, nullptr);
        Win().PostMessageA(notifyWnd, WM_USER, 0, 0);
    } else {
        Win().SetForegroundWindow(notifyWnd);
        // Synchronous: a command that runs a dialog returns when the dialog has closed, and
        // may have destroyed the notification window and this object with it.
        Win().SendMessageA(notifyWnd, WM_COMMAND, Win().GetMenuItemID(popup->m_hMenu, 0), 0);
    }
    return 1;
}
