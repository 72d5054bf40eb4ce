#include "messenger/Datagram.h"

#include "platform/Win32Api.h"

#include <cstring>

namespace {

// Copies a field like a string copy bounded to limit bytes (the bytes up to its first NUL)
// and returns the index just past the NUL that ends it. The record is zero already, so the
// NUL is there.
int PutField(MessengerDatagram& datagram, int at, const char* field, int limit)
{
    for (int k = 0; k < limit && field[k] != '\0'; ++k)
        datagram.bytes[at + k] = field[k];
    return at + limit + 1;
}

int Clamp(int length, int limit) { return length < limit ? length : limit; }

} // namespace

MailslotPath FormatMailslotPath(const CString& destination)
{
    MailslotPath path;
    Win().wsprintfA(path.text, "\\\\%.60s\\mailslot\\messngr", static_cast<const char*>(destination));
    return path;
}

MessengerDatagram ComposeDatagram(const char (&senderName)[kComputerNameBufferSize], DWORD senderLength,
                                  const CString& destination, const CString& message)
{
    MessengerDatagram datagram = {};
    const int nameLength = senderLength < kComputerNameBufferSize ? static_cast<int>(senderLength) : 0;
    int i = PutField(datagram, 0, senderName, nameLength);
    i = PutField(datagram, i, destination, Clamp(destination.GetLength(), kMaxDestinationLength));
    const int t = Clamp(message.GetLength(), kMaxTextLength);
    Win().CharToOemBuffA(message, datagram.bytes + i, t);
    return datagram;
}

bool ParseDatagram(const char* record, size_t length, ReceivedMessage& message)
{
    if (length > kMaxRecordSize)
        return false;
    const char* field[3];
    int fieldLength[3];
    size_t at = 0;
    for (int k = 0; k < 3; ++k) {
        const void* nul = at < length ? std::memchr(record + at, '\0', length - at) : nullptr;
        if (!nul)
            return false;
        field[k] = record + at;
        fieldLength[k] = static_cast<int>(static_cast<const char*>(nul) - field[k]);
        at += fieldLength[k] + 1;
    }
    message.sender = CString(field[0], fieldLength[0]);
    message.recipient = CString(field[1], fieldLength[1]);
    // Converted in place, byte for byte.
    message.text = CString(field[2], fieldLength[2]);
    char* text = message.text.GetBuffer(fieldLength[2]);
    Win().OemToCharBuffA(text, text, fieldLength[2]);
    message.text.ReleaseBuffer();
    return true;
}
