#pragma once
// The Messenger service's side of a send: the mailslot on this machine that the destination
// "." reaches.
#include <windows.h>

#include <string>
#include <vector>

class MailslotReader {
public:
    MailslotReader() : m_slot(CreateMailslotA("\\\\.\\mailslot\\messngr", 0, 0, nullptr)) {}
    ~MailslotReader() { CloseHandle(m_slot); }
    MailslotReader(const MailslotReader&) = delete;
    MailslotReader& operator=(const MailslotReader&) = delete;

    bool IsOpen() const { return m_slot != INVALID_HANDLE_VALUE; }

    // What has arrived, without waiting for more.
    std::vector<std::string> ReadAll()
    {
        std::vector<std::string> datagrams;
        char buffer[2048];
        DWORD read = 0;
        while (ReadFile(m_slot, buffer, sizeof buffer, &read, nullptr))
            datagrams.emplace_back(buffer, read);
        return datagrams;
    }

private:
    HANDLE m_slot;
};
