// Fuzzes the mailslot path and the Messenger record both ways, under the sanitizers. Input:
// [0..3] the reported name length (little endian), [4..19] the name buffer, [20..21] the
// destination's length, its bytes, then the message's bytes; missing parts are zero or empty.
#include "messenger/Datagram.h"
#include "tests/messenger/Messenger.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// The first bytes up to a NUL, at most width of them; as a field of a record, padded with zeros.
std::string Prefix(const std::string& bytes, std::size_t width)
{
    return bytes.substr(0, std::min(bytes.find('\0'), width));
}
std::string Field(const std::string& bytes, std::size_t width)
{
    std::string field = Prefix(bytes, width);
    field.resize(width, '\0');
    return field;
}

std::string Str(const CString& s) { return std::string(s, s.GetLength()); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The bytes as a received record: taken when they hold three NULs and no more than 64 KiB.
    const std::string raw(reinterpret_cast<const char*>(data), size);
    ReceivedMessage received;
    const bool taken = std::count(raw.begin(), raw.end(), '\0') >= 3 && size <= 65536;
    Require(ParseDatagram(raw.data(), size, received) == taken);

    // The bytes as the parts of a send.
    const std::string head = raw.substr(0, 22) + std::string(22 - std::min<std::size_t>(size, 22), '\0');
    const DWORD reported = static_cast<BYTE>(head[0]) | static_cast<BYTE>(head[1]) << 8 |
                           static_cast<BYTE>(head[2]) << 16 | static_cast<DWORD>(static_cast<BYTE>(head[3])) << 24;
    char name[kComputerNameBufferSize];
    head.copy(name, sizeof name, 4);
    const std::string body = size > 22 ? raw.substr(22) : "";
    const std::size_t split =
        std::min<std::size_t>(static_cast<BYTE>(head[20]) | static_cast<BYTE>(head[21]) << 8, body.size());
    const std::string destination = body.substr(0, split), message = body.substr(split);

    // At most 60 characters of the destination in the path, nothing past its 80 bytes.
    const MailslotPath path = FormatMailslotPath(CString(destination.data(), static_cast<int>(destination.size())));
    Require(std::string(path.text) == "\\\\" + Prefix(destination, 60) + "\\mailslot\\messngr");

    // The record: the sender at its reported length (none when no query reports it), the
    // recipient at most 60 bytes, the text at most 255 in code page 437, then zeros.
    const std::size_t n = reported < 16 ? reported : 0, d = std::min<std::size_t>(destination.size(), 60),
                      t = std::min<std::size_t>(message.size(), 255);
    const MessengerDatagram datagram =
        ComposeDatagram(name, reported, CString(destination.data(), static_cast<int>(destination.size())),
                        CString(message.data(), static_cast<int>(message.size())));
    Require(std::string(datagram.bytes, sizeof datagram.bytes) ==
            Record(Field(std::string(name, n), n), Field(destination, d), message.substr(0, t)));

    // Read back, a record without NULs inside its fields gives them again, the text through
    // code page 437 and back.
    ReceivedMessage back;
    Require(ParseDatagram(datagram.bytes, sizeof datagram.bytes, back));
    const std::string sent = std::string(name, n) + destination.substr(0, d) + message.substr(0, t);
    if (sent.find('\0') == std::string::npos)
        Require(Str(back.sender) == std::string(name, n) && Str(back.recipient) == destination.substr(0, d) &&
                Str(back.text) == Converted(Converted(message.substr(0, t), kAnsiToOem437), kOem437ToAnsi));
    return 0;
}
