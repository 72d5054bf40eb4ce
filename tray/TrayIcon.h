#pragma once
#include "platform/AfxWin.h"

// The program's icon in the notification area: registers, changes and removes it, and
// turns the mouse events the shell reports for it into commands for its notification window.
class CTrayIcon : public CObject {
    DECLARE_DYNAMIC(CTrayIcon)

public:
    CTrayIcon();
    ~CTrayIcon() override;

    // Registers the icon; callbackMessage reaches notifyWnd with id as wParam and the mouse
    // message as lParam. The tip is cut to 63 characters.
    BOOL Create(CWnd* notifyWnd, UINT callbackMessage, LPCSTR tip, HICON icon, UINT id);
    // Replaces the picture of a registered icon.
    BOOL SetIcon(HICON icon);
    // Replaces the tip, cut to 63 characters; the shell is told when the icon is registered.
    BOOL SetTip(LPCSTR tip);
    // Removes a registered icon; later calls do nothing.
    void RemoveIcon();
    // Registers the icon again, picture included: a restarted shell has lost it.
    BOOL Restore();

    // A right-button release shows the tray menu at the cursor; a double-click runs its first
    // item. 0 when the icon is another's or the menu cannot be loaded, 1 otherwise.
    virtual LRESULT OnTrayNotification(WPARAM wParam, LPARAM lParam);

protected:
    BOOL m_bEnabled; // registered with the shell
    NOTIFYICONDATAA m_nid;
};
