#pragma once
// What the two Inbox bench programs share: the record they write, PellamyInbox.exe started
// afresh and ended with Exit, and the text of its windows.
#include "messenger/Datagram.h"
#include "res/resource.h"

#include <windows.h>

#include <string>

// The record written: from this computer to ".", two lines with accented letters.
inline MessengerDatagram BenchRecord()
{
    char name[kComputerNameBufferSize] = {};
    DWORD nameLength = sizeof name;
    GetComputerNameA(name, &nameLength);
    return ComposeDatagram(name, nameLength, ".", "Lunch at noon in the caf\xE9?\r\nBring the r\xE9sum\xE9s.");
}

// A window's text, asked for with a bound: the Inbox may be busy.
inline std::string TextOf(HWND window)
{
    char text[256] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &length);
    return std::string(text, length);
}

// PellamyInbox.exe in a process of its own.
class BenchInbox {
public:
    // Starts it and waits up to timeoutMs until its status line counts no messages; status
    // stays null when it does not come.
    BenchInbox(const char* program, DWORD timeoutMs)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessA(program, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_process))
            return;
        const DWORD ready = GetTickCount() + timeoutMs;
        while (!(status && TextOf(status) == "No messages") && static_cast<LONG>(ready - GetTickCount()) > 0) {
            Sleep(10);
            frame = FindWindowA("AfxFrameWnd", "Pellamy Inbox");
            status = frame ? GetDlgItem(frame, IDC_INBOX_STATUS) : nullptr;
        }
    }
    ~BenchInbox()
    {
        if (m_process.hProcess) {
            CloseHandle(m_process.hThread);
            CloseHandle(m_process.hProcess);
        }
    }
    BenchInbox(const BenchInbox&) = delete;
    BenchInbox& operator=(const BenchInbox&) = delete;

    // Ends it with Exit; false when it had to be ended by force, or never started.
    bool End()
    {
        if (!m_process.hProcess)
            return false;
        if (frame)
            PostMessageA(frame, WM_COMMAND, ID_APP_EXIT, 0);
        if (WaitForSingleObject(m_process.hProcess, 10000) == WAIT_OBJECT_0)
            return true;
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 10000);
        return false;
    }

    HWND frame = nullptr;
    HWND status = nullptr;

private:
    PROCESS_INFORMATION m_process = {};
};
