#pragma once
#include "messenger/Datagram.h"
#include "platform/Win32.h"

// The messages the window shows, each kept as the text it is shown as: the last kCapacity
// of them, and the counts the status line tells.
class CMessageLog {
public:
    enum { kCapacity = 1000 };

    // Keeps the message as a heading "From SENDER to RECIPIENT, <date> <time>" (the arrival
    // time in the user's formats) and its text below; the oldest goes when kCapacity are kept.
    void Add(const ReceivedMessage& message, const SYSTEMTIME& arrival);
    void AddMalformed() { ++m_malformed; }

    // The kept messages, oldest first, a blank line between them.
    CString Text() const;
    // "3 messages, 1 malformed record ignored", with the older messages no longer kept.
    CString Status() const;

private:
    CString m_entries[kCapacity]; // a ring: the oldest at m_first
    int m_first = 0;
    int m_count = 0;
    DWORD m_received = 0;
    DWORD m_malformed = 0;
};
