#include "inbox/MailslotListener.h"

#include "messenger/Datagram.h"
#include "platform/Win32Api.h"

#include <cstdlib>
#include <cstring>

// The reader thread calls the system directly, never through the seam, which tests change
// on the window's thread.
namespace {

// One byte more than the largest record: Wine cuts a longer message to the buffer without
// an error, so a read that fills it all is a record too large.
const DWORD kReadSize = kMaxRecordSize + 1;

// What the reader thread owns. Its handles are its own: closing the program's then never has
// to wait for, or cancel, a read in progress.
struct Reader {
    HANDLE slot = nullptr;
    HANDLE inFlight = nullptr;
    HWND window = nullptr;
    UINT message = 0;
    char buffer[kReadSize];
};

bool Duplicate(HANDLE handle, HANDLE& copy)
{
    const HANDLE process = GetCurrentProcess();
    return DuplicateHandle(process, handle, process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS) != FALSE;
}

// Takes the next record off the mailslot, waiting for one: its length, and a copy of it for
// the window (null when it is too large). False when the mailslot cannot be read any more.
bool ReadRecord(Reader& reader, DWORD& length, char*& record)
{
    record = nullptr;
    if (ReadFile(reader.slot, reader.buffer, kReadSize, &length, nullptr)) {
        if (length <= kMaxRecordSize) {
            record = new char[length ? length : 1];
            std::memcpy(record, reader.buffer, length);
        }
        return true;
    }
    // Windows refuses a message larger than the buffer and keeps it at the head of the queue:
    // it is read whole into a block of its size, only to take it off.
    DWORD next = MAILSLOT_NO_MESSAGE;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || !GetMailslotInfo(reader.slot, nullptr, &next, nullptr, nullptr) ||
        next == MAILSLOT_NO_MESSAGE)
        return false;
    void* whole = std::malloc(next);
    const BOOL read = whole && ReadFile(reader.slot, whole, next, &length, nullptr);
    std::free(whole);
    return read != FALSE;
}

DWORD WINAPI ReadLoop(LPVOID parameter)
{
    Reader* reader = static_cast<Reader*>(parameter);
    DWORD length = 0;
    char* record = nullptr;
    // A failed post means the window is gone: nobody is left to read for.
    while (ReadRecord(*reader, length, record)) {
        if (WaitForSingleObject(reader->inFlight, INFINITE) != WAIT_OBJECT_0 ||
            !PostMessageA(reader->window, reader->message, length, reinterpret_cast<LPARAM>(record))) {
            delete[] record;
            break;
        }
    }
    CloseHandle(reader->slot);
    CloseHandle(reader->inFlight);
    delete reader;
    return 0;
}

} // namespace

DWORD CMailslotListener::Create()
{
    m_slot = Win().CreateMailslotA("\\\\.\\mailslot\\messngr", 0, MAILSLOT_WAIT_FOREVER, nullptr);
    return m_slot == INVALID_HANDLE_VALUE ? Win().GetLastError() : ERROR_SUCCESS;
}

DWORD CMailslotListener::Listen(HWND window, UINT message)
{
    m_inFlight = CreateSemaphoreA(nullptr, kRecordsInFlight, kRecordsInFlight, nullptr);
    if (!m_inFlight)
        return GetLastError();
    Reader* reader = new Reader;
    reader->window = window;
    reader->message = message;
    HANDLE thread = nullptr;
    if (Duplicate(m_slot, reader->slot) && Duplicate(m_inFlight, reader->inFlight))
        thread = CreateThread(nullptr, 0, ReadLoop, reader, 0, nullptr);
    if (!thread) {
        const DWORD error = GetLastError();
        if (reader->slot)
            CloseHandle(reader->slot);
        if (reader->inFlight)
            CloseHandle(reader->inFlight);
        delete reader;
        return error;
    }
    CloseHandle(thread);
    return ERROR_SUCCESS;
}

void CMailslotListener::RecordHandled() { ReleaseSemaphore(m_inFlight, 1, nullptr); }

void CMailslotListener::Close()
{
    if (m_slot != INVALID_HANDLE_VALUE)
        Win().CloseHandle(m_slot);
    if (m_inFlight)
        CloseHandle(m_inFlight);
    m_slot = INVALID_HANDLE_VALUE;
    m_inFlight = nullptr;
}
