#pragma once
#include "inbox/MailslotListener.h"
#include "platform/AfxWin.h"

// The Inbox: takes the Messenger mailslot, then makes its hidden window, shows its tray icon
// (without a taskbar yet, when one comes) and starts reading. When the mailslot, the window or
// the reader cannot be had it says why in one box and ends with exit code 1.
class CInboxApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    BOOL Refuse(LPCSTR text, UINT icon);
    BOOL RefuseWithSystemText(DWORD error);

    CMailslotListener m_listener;
    bool m_started = false;
};
