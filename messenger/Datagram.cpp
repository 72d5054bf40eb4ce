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

// The record's one layout; putText copies the text's first bytes into it, converted or not.
MessengerDatagram Compose(const char (&senderName)[kComputerNameBufferSize], DWORD senderLength,
                          const CString& destination, const CString& text,
                          void (*putText)(const char* text, char* into, int length))
{
    MessengerDatagram datagram = {};
    const int nameLength = senderLength < kComputerNameBufferSize ? static_cast<int>(senderLength) : 0;
    int i = PutField(datagram, 0, senderName, nameLength);
    i = PutField(datagram, i, destination, Clamp(destination.GetLength(), kMaxDestinationLength));
    putText(text, datagram.bytes + i, Clamp(text.GetLength(), kMaxTextLength));
    return datagram;
}

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
    return Compose(senderName, senderLength, destination, message, [](const char* text, char* into, int length) {
        Win().CharToOemBuffA(text, into, length);
    });
}

MessengerDatagram ComposeRecord(const char (&senderName)[kComputerNameBufferSize], DWORD senderLength,
                                const CString& destination, const CString& oemText)
{
    return Compose(senderName, senderLength, destination, oemText,
                   [](const char* text, char* into, int length) { std::memcpy(into, text, length); });
}

bool ParseRecord(const char* record, size_t length, ReceivedMessage& message)
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
    message.text = CString(field[2], fieldLength[2]);
    return true;
}

bool ParseDatagram(const char* record, size_t length, ReceivedMessage& message)
{
    if (!ParseRecord(record, length, message))
        return false;
    // Converted in place, byte for byte.
    const int textLength = message.text.GetLength();
    char* text = message.text.GetBuffer(textLength);
    Win().OemToCharBuffA(text, text, textLength);
    message.text.ReleaseBuffer();
    return true;
}
