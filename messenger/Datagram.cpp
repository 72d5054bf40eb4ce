#include "messenger/Datagram.h"

#include "platform/Win32Api.h"

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
