#pragma once
#include "platform/CString.h"

// The Messenger service reads one record of exactly 420 bytes from its mailslot: the
// sender's computer name, the recipient and the text, each NUL-terminated, then filler.
enum {
    kDatagramSize = 420,
    kComputerNameBufferSize = 16, // the name's 15 characters and NUL
    kMaxDestinationLength = 60,   // what the 80-byte path buffer leaves for it
    kMaxTextLength = 255,
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
