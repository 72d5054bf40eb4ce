#pragma once
// The Messenger record as the Windows programs write and read it: with the local computer's
// name as the name query leaves it, and the text converted between the ANSI and the OEM code
// page.
#include "messenger/Record.h"
#include "platform/CString.h"

#include <cstddef>

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

// A record as a reader of the mailslot takes it: the three fields, the text back in the
// ANSI code page.
struct ReceivedMessage {
    CString sender;
    CString recipient;
    CString text;
};

// Reads the three fields as ReadRecord does; sender and recipient are taken as they are, the
// text is converted from the OEM code page. False, and message untouched, for a malformed
// record.
bool ParseDatagram(const char* record, size_t length, ReceivedMessage& message);
