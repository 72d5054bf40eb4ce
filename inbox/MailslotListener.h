#pragma once
#include "platform/Win32.h"

// The Messenger mailslot of this computer and the thread that reads it. The thread queues
// every record it reads and wakes the window with one posted message when the queue was
// empty, so that under load the window takes many records at each wake-up; the window takes
// the whole queue at once (TakeRecords). The queue holds at most kQueueBytes: a reader with
// more waits until the window takes them. The thread reads until the window is gone: a post
// the window's full queue refuses is made again after a pause, and while the mailslot cannot
// be read the window is told why and reading is tried again after a pause.
class CMailslotListener {
public:
    // A record read: its length, its bytes in the same block (none for a record above
    // kMaxRecordSize, which is malformed whatever it holds), and the next one read.
    struct Record {
        Record* next;
        DWORD length;
        const char* Bytes() const;
    };
    enum : DWORD { kQueueBytes = 8 << 20 }; // the records' bytes and their headers

    CMailslotListener() = default;
    ~CMailslotListener() { Close(); }
    CMailslotListener(const CMailslotListener&) = delete;
    CMailslotListener& operator=(const CMailslotListener&) = delete;

    // Creates \\.\mailslot\messngr, which refuses records above kMaxRecordSize:
    // ERROR_SUCCESS, or the system's error code (ERROR_ALREADY_EXISTS when another program
    // holds it).
    DWORD Create();
    // Starts the reader thread: ERROR_SUCCESS, or the system's error code. The thread posts
    // recordsMessage (no parameters) to window when records wait, and readingMessage with the
    // system's error code as wParam when the mailslot cannot be read, ERROR_SUCCESS when it
    // can again. It calls the system through the seam's entries as they are now.
    DWORD Listen(HWND window, UINT recordsMessage, UINT readingMessage);
    // The records queued since the last call, oldest first, or null. Each is a block made
    // with malloc that the caller frees.
    Record* TakeRecords();
    // Closes this object's handles. A reader waiting for a record keeps its own until the
    // process ends.
    void Close();

private:
    struct Shared;
    static DWORD WINAPI ReadLoop(LPVOID parameter);
    static Record* ReadRecord(Shared& shared, DWORD& error);
    static bool Pause(Shared& shared, DWORD& pause);
    static bool Post(Shared& shared, UINT message, WPARAM wParam);

    HANDLE m_slot = INVALID_HANDLE_VALUE;
    Shared* m_shared = nullptr; // with the reader thread
};
