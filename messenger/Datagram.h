#pragma once
#include "platform/CString.h"

#include <cstddef>

// The Messenger service reads one record of exactly 420 bytes from its mailslot: the
// sender's computer name, the recipient and the text, each NUL-terminated, then filler.
enum {
    kDatagramSize = 420,
    kComputerNameBufferSize = 16, // the name's 15 characters and NUL
    kMaxDestinationLength = 60,   // what the 80-byte path buffer leaves for it
    kMaxTextLength = 255,
    kMaxRecordSize = 65536, // the largest record a reader accepts
};

struct MessengerDatagram {
    char bytes[kDatagramSize];
};

struct MailslotPath {
    char text[80];
};

// "\\destination\mailslot\messngr". A destination longer than 60 characters does not fit;
// the send refuses it before, and here it is cut rather than overflow the buffer.
MailslotPath FormatMailslotPath(const CString& destination);

// senderLength is what the computer-name query reported; a length above 15 means the query
// failed and leaves the sender empty. Fields that do not fit are cut (recipient at 60 bytes,
// text at 255); every byte after the text's NUL is zero.
MessengerDatagram ComposeDatagram(const char (&senderName)[kComputerNameBufferSize], DWORD senderLength,
                                  const CString& destination, const CString& message);

// The same record with the text's bytes taken as they are: for a sender that has converted the
// text to the receivers' OEM code page itself.
MessengerDatagram ComposeRecord(const char (&senderName)[kComputerNameBufferSize], DWORD senderLength,
                                const CString& destination, const CString& oemText);

// A record as a reader of the mailslot takes it: the three fields, the text back in the
// ANSI code page.
struct ReceivedMessage {
    CString sender;
    CString recipient;
    CString text;
};

// Reads the three NUL-terminated fields at the start of a record of length bytes; whatever
// follows the third NUL is ignored. Sender and recipient are taken as they are, the text is
// converted from the OEM code page. False, and message untouched, for a malformed record:
// fewer than three fields within length, or length above kMaxRecordSize (record is not read
// then, and may be null). Not a byte past length is read.
bool ParseDatagram(const char* record, size_t length, ReceivedMessage& message);

// The same, with the text left in the OEM code page: for a reader that converts it itself.
bool ParseRecord(const char* record, size_t length, ReceivedMessage& message);
