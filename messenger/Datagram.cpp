#include "messenger/Datagram.h"

#include "platform/Win32Api.h"

namespace {

void ToOem(const char* text, char* into, std::size_t length) { Win().CharToOemBuffA(text, into, static_cast<DWORD>(length)); }

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
    return ComposeRecord({senderName, senderLength < kComputerNameBufferSize ? senderLength : 0},
                         {destination, static_cast<std::size_t>(destination.GetLength())},
                         {message, static_cast<std::size_t>(message.GetLength())}, ToOem);
}

bool ParseDatagram(const char* record, size_t length, ReceivedMessage& message)
{
    const std::optional<RecordFields> fields = ReadRecord(record, length);
    if (!fields)
        return false;
    message.sender = CString(fields->sender.data(), static_cast<int>(fields->sender.size()));
    message.recipient = CString(fields->recipient.data(), static_cast<int>(fields->recipient.size()));
    message.text = CString(fields->text.data(), static_cast<int>(fields->text.size()));
    // Converted in place, byte for byte.
    const int textLength = message.text.GetLength();
    char* text = message.text.GetBuffer(textLength);
    Win().OemToCharBuffA(text, text, textLength);
    message.text.ReleaseBuffer();
    return true;
}
