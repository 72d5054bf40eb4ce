#pragma once
// The reading side of a send: the record the Messenger service must read, records for the
// Inbox to read, and the mailslots through which they go.
#include "platform/HostText.h"

#include <string>
#include <vector>

// The bytes converted with a table of the high half, as the conversions of the host build do.
inline std::string Converted(std::string text, const BYTE (&high)[128])
{
    for (char& c : text)
        if (static_cast<BYTE>(c) >= 0x80)
            c = static_cast<char>(high[static_cast<BYTE>(c) - 0x80]);
    return text;
}

// The 420 bytes: the sender, the recipient and the text in code page 437, each with its NUL,
// then zeros.
inline std::string Record(const std::string& sender, const std::string& recipient, const std::string& text)
{
    std::string record = sender + '\0' + recipient + '\0' + Converted(text, kAnsiToOem437) + '\0';
    record.resize(420, '\0');
    return record;
}

// Record k of a numbered burst: sender W, recipient ".", the text k.
inline std::string Numbered(int k, std::size_t filler = 0)
{
    return std::string("W\0.\0", 4) + std::to_string(k) + '\0' + std::string(filler, 'x');
}

// The Inbox's text of a numbered burst without its headings, and what it is when the records
// from first up to last are shown.
inline std::string NumbersShown(std::string text)
{
    for (std::size_t at; (at = text.find("From W to .")) != std::string::npos;)
        text.erase(at, text.find("\r\n", at) + 2 - at);
    return text;
}
inline std::string Numbers(int first, int last)
{
    std::string numbers;
    for (int k = first; k < last; ++k)
        numbers += std::to_string(k) + (k + 1 < last ? "\r\n\r\n" : "");
    return numbers;
}

#ifdef _WIN32
const char kMessengerSlot[] = "\\\\.\\mailslot\\messngr";

// What has arrived in a mailslot made with no read timeout.
inline std::vector<std::string> ReadAll(HANDLE slot)
{
    std::vector<std::string> records;
    char buffer[2048];
    for (DWORD read = 0; ReadFile(slot, buffer, sizeof buffer, &read, nullptr);)
        records.emplace_back(buffer, read);
    return records;
}

// Writes the records to a mailslot from a thread of its own, since a writer waits while the
// mailslot's queue is full; the thread's handle, whose exit code is 1 when all were written.
inline HANDLE StartWriting(const char* slot, const std::vector<std::string>& records)
{
    static const char* s_slot;
    static std::vector<std::string> s_records; // outlive a writer that still waits
    s_slot = slot;
    s_records = records;
    return CreateThread(nullptr, 0, [](LPVOID) WINAPI -> DWORD {
        const HANDLE file = CreateFileA(s_slot, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD written = 0, all = TRUE;
        for (const std::string& record : s_records)
            all &= WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        return CloseHandle(file) && all;
    }, nullptr, 0, nullptr);
}

inline bool Written(HANDLE writer, DWORD milliseconds)
{
    DWORD all = FALSE;
    return WaitForSingleObject(writer, milliseconds) == WAIT_OBJECT_0 && GetExitCodeThread(writer, &all) && all;
}
#endif
