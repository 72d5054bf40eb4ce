#pragma once
#include "platform/Win32.h"

// The Messenger mailslot of this computer and the thread that reads it. Each record read
// reaches a window as a posted message: wParam its length in bytes, lParam a block made with
// new char[] that the window deletes (null for a record above kMaxRecordSize, which is
// malformed whatever it holds). At most kRecordsInFlight records are posted and not yet
// handled, so the window's queue never overflows and memory stays bounded: the window calls
// RecordHandled for each one.
class CMailslotListener {
public:
    enum { kRecordsInFlight = 1000 };

    CMailslotListener() = default;
    ~CMailslotListener() { Close(); }
    CMailslotListener(const CMailslotListener&) = delete;
    CMailslotListener& operator=(const CMailslotListener&) = delete;

    // Creates \\.\mailslot\messngr: ERROR_SUCCESS, or the system's error code
    // (ERROR_ALREADY_EXISTS when another program holds it).
    DWORD Create();
    // Starts the reader thread: ERROR_SUCCESS, or the system's error code.
    DWORD Listen(HWND window, UINT message);
    void RecordHandled();
    // Closes this object's handles. A reader waiting for a record keeps its own until the
    // process ends.
    void Close();

private:
    HANDLE m_slot = INVALID_HANDLE_VALUE;
    HANDLE m_inFlight = nullptr; // a semaphore: the records the window may still be sent
};
