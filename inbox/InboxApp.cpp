#include "inbox/InboxApp.h"

#include "inbox/InboxFrame.h"
#include "platform/Win32Api.h"
#include "res/resource.h"

BOOL CInboxApp::InitInstance()
{
    // The mailslot first: a second Inbox stops here, before it shows an icon.
    DWORD error = m_listener.Create();
    if (error == ERROR_ALREADY_EXISTS)
        return Refuse("Another program already receives Messenger messages on this computer.", MB_ICONINFORMATION);
    if (error != ERROR_SUCCESS)
        return RefuseWithSystemText(error);

    CInboxFrame* frame = new CInboxFrame(m_listener);
    if (!frame->LoadFrame(IDR_INBOX, WS_OVERLAPPEDWINDOW))
        return RefuseWithSystemText(Win().GetLastError());
    m_pMainWnd = frame;
    // Started before the taskbar (from the Startup folder, or a logon task), the Inbox
    // receives all the same and shows its icon when the taskbar comes.
    frame->AddTrayIcon();

    error = m_listener.Listen(frame->m_hWnd, WM_INBOX_RECORDS, WM_INBOX_READING);
    if (error != ERROR_SUCCESS)
        return RefuseWithSystemText(error);
    m_started = true;
    return TRUE;
}

int CInboxApp::ExitInstance()
{
    m_listener.Close();
    return m_started ? CWinApp::ExitInstance() : 1;
}

BOOL CInboxApp::Refuse(LPCSTR text, UINT icon)
{
    Win().MessageBoxA(nullptr, text, m_strAppName, MB_OK | icon);
    return FALSE;
}

BOOL CInboxApp::RefuseWithSystemText(DWORD error)
{
    char text[512];
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                        sizeof text, nullptr))
        wsprintfA(text, "Pellamy Inbox cannot start (error %lu).", error);
    return Refuse(text, MB_ICONERROR);
}
