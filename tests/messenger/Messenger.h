#pragma once
// The Messenger service's side of a send: the record it must read, and the mailslot on this
// computer that the destination "." reaches.
#include "platform/HostText.h"

#include <string>
#include <vector>

// The 420 bytes: the sender, the recipient and the text in code page 437, each with its NUL,
// then zeros.
inline std::string Record(const std::string& sender, const std::string& recipient, std::string text)
{
    for (char& c : text)
        if (static_cast<BYTE>(c) >= 0x80)
            c = static_cast<char>(kAnsiToOem437[static_cast<BYTE>(c) - 0x80]);
    std::string record = sender + '\0' + recipient + '\0' + text + '\0';
    record.resize(420, '\0');
    return record;
}

inline std::string EveryByteButNul()
{
    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

#ifdef _WIN32
class MailslotReader {
public:
    MailslotReader() : m_slot(CreateMailslotA("\\\\.\\mailslot\\messngr", 0, 0, nullptr)) {}
    ~MailslotReader() { CloseHandle(m_slot); }
    bool IsOpen() const { return m_slot != INVALID_HANDLE_VALUE; }

    // What has arrived, without waiting for more.
    std::vector<std::string> ReadAll()
    {
        std::vector<std::string> records;
        char buffer[2048];
        DWORD read = 0;
        while (ReadFile(m_slot, buffer, sizeof buffer, &read, nullptr))
            records.emplace_back(buffer, read);
        return records;
    }

private:
    HANDLE m_slot;
};
#endif
