#pragma once
#include "messenger/Datagram.h"
#include "platform/Win32.h"

// The messages the window shows: the last kCapacity of them, the counts the status line
// tells, and what the view (a text of the kept messages, oldest first, a blank line between
// them) must change to show the messages added since it last changed. Only the messages not
// yet in the view are kept as text; of the others their length is enough. Plain logic, no
// system calls but the seam's text formatting: it runs in the host build too.
class CMessageLog {
public:
    enum { kCapacity = 1000 };

    // The view's change: cut that many characters at its start, then append the text; or,
    // when none of what it shows is kept, replace all of it with the text.
    struct ViewChange {
        int cut;
        bool whole;
        CString text;
    };

    // Keeps the message as a heading "From SENDER to RECIPIENT, ARRIVAL" (the date and time
    // in the user's formats) and its text below; the oldest goes when kCapacity are kept.
    void Add(const ReceivedMessage& message, const char* arrival);
    void AddMalformed() { ++m_malformed; }
    // Records dropped unread, as a batch keeps only its newest kCapacity: counted as messages.
    void AddDropped(UINT count) { m_received += count; }

    // The change since the last call; the view then shows every kept message.
    ViewChange TakeViewChange();
    // "3 messages, 1 malformed record ignored", with the older messages no longer kept.
    CString Status() const;

private:
    struct Entry {
        int length;
        CString text; // until it is in the view
    };
    Entry& At(int k) { return m_entries[(m_first + k) % kCapacity]; }

    Entry m_entries[kCapacity]; // a ring: the oldest at m_first
    int m_first = 0;
    int m_count = 0;
    int m_shown = 0; // the oldest kept ones, in the view
    int m_cut = 0;   // characters at the view's start that are no longer kept
    UINT m_received = 0;
    UINT m_malformed = 0;
};
