// Fuzzes the mailslot path and the Messenger datagram with arbitrary sender names, reported
// lengths, destinations and messages, and reads the input itself as a received record. The
// sanitizers catch reads and writes out of bounds; the checks below catch a record the
// Messenger service would misread, and a reader that misreads one.
//
// Input: [0..3] reported name length (little endian), [4..19] the name buffer,
// [20..21] destination length (little endian, cut to what is left), the destination's
// bytes, then the message's bytes to the end. Missing parts are zero or empty.
#include "messenger/Datagram.h"
#include "platform/HostText.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint32_t Number(int bytes)
    {
        std::uint32_t value = 0;
        for (int k = 0; k < bytes; ++k)
            value |= static_cast<std::uint32_t>(m_pos < m_size ? m_data[m_pos++] : 0) << (8 * k);
        return value;
    }

    std::string Bytes(std::size_t count)
    {
        const std::size_t taken = count < m_size - m_pos ? count : m_size - m_pos;
        std::string bytes(reinterpret_cast<const char*>(m_data + m_pos), taken);
        m_pos += taken;
        return bytes;
    }

    std::string Rest() { return Bytes(m_size - m_pos); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "record invariant broken: %s\n", what);
        std::abort();
    }
}

// A field copied as a string into width bytes: up to its first NUL, zeros after.
std::string AsStringField(const std::string& bytes, std::size_t width)
{
    std::string field = bytes.substr(0, width);
    field = field.substr(0, field.find('\0'));
    field.resize(width, '\0');
    return field;
}

char ToOem(char c)
{
    const BYTE byte = static_cast<BYTE>(c);
    return static_cast<char>(byte < 0x80 ? byte : kAnsiToOem437[byte - 0x80]);
}

std::string ToAnsi(std::string text)
{
    for (char& c : text) {
        const BYTE byte = static_cast<BYTE>(c);
        c = static_cast<char>(byte < 0x80 ? byte : kOem437ToAnsi[byte - 0x80]);
    }
    return text;
}

std::string Str(const CString& s) { return std::string(s, s.GetLength()); }

// The input as a received record, in libFuzzer's heap block of exactly its size: taken when
// it holds three NULs, its sender the bytes before the first.
void ReadAsRecord(const std::uint8_t* data, std::size_t size)
{
    const std::string raw(reinterpret_cast<const char*>(data), size);
    ReceivedMessage message;
    const bool parsed = ParseDatagram(reinterpret_cast<const char*>(data), size, message);
    Require(parsed == (std::count(raw.begin(), raw.end(), '\0') >= 3), "record taken or refused wrongly");
    Require(!parsed || Str(message.sender) == raw.substr(0, raw.find('\0')), "sender of a received record");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ReadAsRecord(data, size);
    Input input(data, size);
    const DWORD senderLength = input.Number(4);
    char senderName[kComputerNameBufferSize] = {};
    const std::string name = input.Bytes(sizeof senderName);
    std::memcpy(senderName, name.data(), name.size());
    const std::string destinationBytes = input.Bytes(input.Number(2));
    const std::string messageBytes = input.Rest();
    const CString destination(destinationBytes.data(), static_cast<int>(destinationBytes.size()));
    const CString message(messageBytes.data(), static_cast<int>(messageBytes.size()));

    // The path: never more than 79 characters and the NUL, the destination cut at 60.
    const MailslotPath path = FormatMailslotPath(destination);
    Require(std::memchr(path.text, '\0', sizeof path.text) != nullptr, "path has no NUL in its 80 bytes");
    const std::string expectedPath =
        std::string("\\\\") + AsStringField(destinationBytes, kMaxDestinationLength).c_str() + "\\mailslot\\messngr";
    Require(path.text == expectedPath, "path differs from \\\\destination\\mailslot\\messngr");

    static_assert(sizeof(MessengerDatagram) == kDatagramSize, "the record is 420 bytes");
    const MessengerDatagram datagram = ComposeDatagram(senderName, senderLength, destination, message);
    const std::string record(datagram.bytes, sizeof datagram.bytes);

    // Sender: the reported length, or nothing when the query could not have succeeded.
    const std::size_t n = senderLength < kComputerNameBufferSize ? senderLength : 0;
    Require(record.compare(0, n + 1, AsStringField(std::string(senderName, n), n) + '\0') == 0,
            "sender field");

    // Recipient: the destination as a string, its NUL at its stored length (at most 60).
    const std::size_t at = n + 1;
    const std::size_t d = destinationBytes.size() < kMaxDestinationLength ? destinationBytes.size()
                                                                          : std::size_t(kMaxDestinationLength);
    Require(record.compare(at, d + 1, AsStringField(destinationBytes, d) + '\0') == 0, "recipient field");

    // Text: at most 255 bytes, each converted from code page 1252 to 437, then its NUL.
    const std::size_t textAt = at + d + 1;
    const std::size_t t = messageBytes.size() < kMaxTextLength ? messageBytes.size() : std::size_t(kMaxTextLength);
    std::string text = messageBytes.substr(0, t);
    for (char& c : text)
        c = ToOem(c);
    Require(record.compare(textAt, t + 1, text + '\0') == 0, "text field");

    // Everything after the text's NUL is zero.
    Require(record.find_first_not_of('\0', textAt + t + 1) == std::string::npos, "filler is not zero");

    // Read back, the fields come out as composed, the text through the OEM code page and back.
    // (A NUL inside a field, which no name query or edit control gives, ends that field early.)
    ReceivedMessage back;
    Require(ParseDatagram(datagram.bytes, sizeof datagram.bytes, back), "composed record not readable");
    const std::string sent = std::string(senderName, n) + destinationBytes.substr(0, d) + messageBytes.substr(0, t);
    if (sent.find('\0') == std::string::npos)
        Require(Str(back.sender) == std::string(senderName, n) && Str(back.recipient) == destinationBytes.substr(0, d) &&
                    Str(back.text) == ToAnsi(text),
                "fields read back differ from those composed");
    return 0;
}
