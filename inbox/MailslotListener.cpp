#include "inbox/MailslotListener.h"

#include "messenger/Datagram.h"
#include "platform/Win32Api.h"

#include <cstdlib>
#include <cstring>

// The reader thread calls the system directly, never through the seam, which tests change
// on the window's thread.
namespace {

using Record = CMailslotListener::Record;

// One byte more than the largest record: Wine cuts a longer message to the buffer without
// an error, so a read that fills it all is a record too large.
const DWORD kReadSize = kMaxRecordSize + 1;

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

// Takes the next record off the mailslot, waiting for one; null when the mailslot cannot be
// read any more.
Record* ReadRecord(HANDLE slot, char (&buffer)[kReadSize])
{
    DWORD length = 0;
    if (ReadFile(slot, buffer, kReadSize, &length, nullptr))
        return NewRecord(length, buffer);
    // Windows refuses a message larger than the buffer and keeps it at the head of the queue:
    // it is read whole into a block of its size, only to take it off.
    DWORD next = MAILSLOT_NO_MESSAGE;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || !GetMailslotInfo(slot, nullptr, &next, nullptr, nullptr) ||
        next == MAILSLOT_NO_MESSAGE)
        return nullptr;
    char* whole = static_cast<char*>(std::malloc(next));
    Record* record = whole && ReadFile(slot, whole, next, &length, nullptr) ? NewRecord(length, whole) : nullptr;
    std::free(whole);
    return record;
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
    UINT message = 0;
    char buffer[kReadSize];
};

DWORD WINAPI CMailslotListener::ReadLoop(LPVOID parameter)
{
    Shared& shared = *static_cast<Shared*>(parameter);
    while (Record* record = ReadRecord(shared.slot, shared.buffer)) {
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
        // A failed post means the window is gone: nobody is left to read for.
        if (wake && !PostMessageA(shared.window, shared.message, 0, 0))
            break;
    }
    shared.Release();
    return 0;
}

DWORD CMailslotListener::Create()
{
    m_slot = Win().CreateMailslotA("\\\\.\\mailslot\\messngr", 0, MAILSLOT_WAIT_FOREVER, nullptr);
    return m_slot == INVALID_HANDLE_VALUE ? Win().GetLastError() : ERROR_SUCCESS;
}

DWORD CMailslotListener::Listen(HWND window, UINT message)
{
    Shared* shared = new Shared;
    shared->window = window;
    shared->message = message;
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
