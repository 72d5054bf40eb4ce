#include "inbox/MailslotListener.h"

#include "messenger/Datagram.h"
#include "platform/Win32Api.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

using Record = CMailslotListener::Record;

// One byte more than the largest record: Wine cuts a longer message to the buffer without
// an error, so a read that fills it all is a record too large.
const DWORD kReadSize = kMaxRecordSize + 1;
// A refused post or a failed read is tried again after a pause that doubles up to a second:
// soon when the window drains its queue at once, at most once a second while the mailslot
// stays unreadable.
const DWORD kFirstPause = 10, kLongestPause = 1000;

DWORD BytesKept(DWORD length) { return length <= kMaxRecordSize ? length : 0; }

// A record's block: its header, then the bytes kept of it. Running out of memory ends the
// program, as everywhere else in it.
Record* NewRecord(DWORD length, const char* bytes)
{
    Record* record = static_cast<Record*>(std::malloc(sizeof(Record) + BytesKept(length)));
    if (!record)
        std::abort();
    record->next = nullptr;
    record->length = length;
    if (BytesKept(length))
        std::memcpy(record + 1, bytes, length);
    return record;
}

void FreeRecords(Record* record)
{
    while (record) {
        Record* next = record->next;
        std::free(record);
        record = next;
    }
}

bool Duplicate(HANDLE handle, HANDLE& copy)
{
    const HANDLE process = GetCurrentProcess();
    return DuplicateHandle(process, handle, process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS) != FALSE;
}

} // namespace

const char* CMailslotListener::Record::Bytes() const
{
    return BytesKept(length) ? reinterpret_cast<const char*>(this + 1) : nullptr;
}

// What the reader thread and the listener share; the last of the two to let go deletes it.
// The reader's mailslot handle is its own: closing the program's then never has to wait for,
// or cancel, a read in progress.
struct CMailslotListener::Shared {
    Shared() { InitializeCriticalSection(&lock); }
    ~Shared()
    {
        FreeRecords(first);
        DeleteCriticalSection(&lock);
        if (taken)
            CloseHandle(taken);
        if (slot)
            CloseHandle(slot);
    }
    void Release()
    {
        if (InterlockedDecrement(&users) == 0)
            delete this;
    }

    LONG users = 2;
    CRITICAL_SECTION lock; // over the queue: first, last, bytes
    Record* first = nullptr;
    Record* last = nullptr;
    DWORD bytes = 0;
    HANDLE taken = CreateEventA(nullptr, FALSE, FALSE, nullptr); // set at each take
    HANDLE slot = nullptr;
    HWND window = nullptr;
    UINT recordsMessage = 0;
    UINT readingMessage = 0;
    // The reader's calls, as the seam had them when it started: tests change the seam on the
    // window's thread while the reader runs.
    Win32Api api = Win();
    char buffer[kReadSize];
};

// Takes the next record off the mailslot, waiting for one; null with the system's error code
// when it cannot be read.
Record* CMailslotListener::ReadRecord(Shared& shared, DWORD& error)
{
    DWORD length = 0;
    if (shared.api.ReadFile(shared.slot, shared.buffer, kReadSize, &length, nullptr))
        return NewRecord(length, shared.buffer);
    error = shared.api.GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER)
        return nullptr;
    // Windows refuses a message larger than the buffer and keeps it at the head of the queue
    // (the mailslot's limit should spare it one). It is read whole into a block of its size,
    // only to take it off; until that can be done the mailslot cannot be read.
    DWORD next = MAILSLOT_NO_MESSAGE;
    if (!shared.api.GetMailslotInfo(shared.slot, nullptr, &next, nullptr, nullptr)) {
        error = shared.api.GetLastError();
        return nullptr;
    }
    error = ERROR_SUCCESS;
    if (next == MAILSLOT_NO_MESSAGE) // gone already: read on
        return nullptr;
    char* whole = static_cast<char*>(std::malloc(next));
    if (!whole) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    const bool read = shared.api.ReadFile(shared.slot, whole, next, &length, nullptr);
    error = read ? ERROR_SUCCESS : shared.api.GetLastError();
    Record* record = read ? NewRecord(length, whole) : nullptr;
    std::free(whole);
    return record;
}

// Waits before trying again; false when the window is gone and there is nobody left to read
// for.
bool CMailslotListener::Pause(Shared& shared, DWORD& pause)
{
    if (!shared.api.IsWindow(shared.window))
        return false;
    pause = pause ? std::min(pause * 2, kLongestPause) : kFirstPause;
    Sleep(pause);
    return true;
}

// Posts to the window, again and again while its queue is full; false when it is gone.
bool CMailslotListener::Post(Shared& shared, UINT message, WPARAM wParam)
{
    for (DWORD pause = 0; !shared.api.PostMessageA(shared.window, message, wParam, 0);)
        if (!Pause(shared, pause))
            return false;
    return true;
}

DWORD WINAPI CMailslotListener::ReadLoop(LPVOID parameter)
{
    Shared& shared = *static_cast<Shared*>(parameter);
    DWORD told = ERROR_SUCCESS; // the state of reading the window knows
    for (DWORD pause = 0;;) {
        DWORD error = ERROR_SUCCESS;
        Record* record = ReadRecord(shared, error);
        if (error != told && !Post(shared, shared.readingMessage, error))
            break;
        told = error;
        if (!record) {
            if (!Pause(shared, pause))
                break;
            continue;
        }
        pause = 0;
        const DWORD size = sizeof(Record) + BytesKept(record->length);
        EnterCriticalSection(&shared.lock);
        // Full: wait until the window takes the queue. The event may have been set by a take
        // before the queue filled, so the test is made again.
        while (shared.first && shared.bytes + size > kQueueBytes) {
            LeaveCriticalSection(&shared.lock);
            WaitForSingleObject(shared.taken, INFINITE);
            EnterCriticalSection(&shared.lock);
        }
        const bool wake = !shared.first;
        (wake ? shared.first : shared.last->next) = record;
        shared.last = record;
        shared.bytes += size;
        LeaveCriticalSection(&shared.lock);
        if (wake && !Post(shared, shared.recordsMessage, 0))
            break;
    }
    shared.Release();
    return 0;
}

DWORD CMailslotListener::Create()
{
    m_slot = Win().CreateMailslotA("\\\\.\\mailslot\\messngr", kMaxRecordSize, MAILSLOT_WAIT_FOREVER, nullptr);
    return m_slot == INVALID_HANDLE_VALUE ? Win().GetLastError() : ERROR_SUCCESS;
}

DWORD CMailslotListener::Listen(HWND window, UINT recordsMessage, UINT readingMessage)
{
    Shared* shared = new Shared;
    shared->window = window;
    shared->recordsMessage = recordsMessage;
    shared->readingMessage = readingMessage;
    HANDLE thread = nullptr;
    if (shared->taken && Duplicate(m_slot, shared->slot))
        thread = CreateThread(nullptr, 0, ReadLoop, shared, 0, nullptr);
    if (!thread) {
        const DWORD error = GetLastError();
        delete shared;
        return error;
    }
    CloseHandle(thread);
    m_shared = shared;
    return ERROR_SUCCESS;
}

CMailslotListener::Record* CMailslotListener::TakeRecords()
{
    if (!m_shared)
        return nullptr;
    EnterCriticalSection(&m_shared->lock);
    Record* records = m_shared->first;
    m_shared->first = m_shared->last = nullptr;
    m_shared->bytes = 0;
    LeaveCriticalSection(&m_shared->lock);
    SetEvent(m_shared->taken);
    return records;
}

void CMailslotListener::Close()
{
    if (m_slot != INVALID_HANDLE_VALUE)
        Win().CloseHandle(m_slot);
    if (m_shared)
        m_shared->Release();
    m_slot = INVALID_HANDLE_VALUE;
    m_shared = nullptr;
}
