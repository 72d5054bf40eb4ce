#pragma once
// The Messenger record in plain bytes, for every program that writes or reads one: the
// sender's computer name, the recipient and the text, each NUL-terminated one after the
// other from offset 0, then filler up to 420 bytes. The Messenger service reads one record of
// exactly that size from its mailslot.
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

enum {
    kDatagramSize = 420,
    kComputerNameBufferSize = 16, // the name's 15 characters and NUL
    kMaxDestinationLength = 60,   // what an 80-byte mailslot path leaves for it
    kMaxTextLength = 255,
    kMaxRecordSize = 65536, // the largest record a reader accepts
};

struct MessengerDatagram {
    char bytes[kDatagramSize];
};

// Each field takes its size clamped to its limit (15, 60, 255) and one byte more, whatever it
// holds: the sender and the recipient are copied as strings (up to their first NUL, then
// zeros), the text's bytes all as they are, already in the receivers' OEM code page. Every
// byte after the text's NUL is zero.
// putText, if given, writes the text's bytes into the record instead of a copy: converted on
// the way, say.
// Here, to be built into each caller: a send composes one record, in a few hundred instructions.
using PutText = void (*)(const char* text, char* into, std::size_t length);
inline MessengerDatagram ComposeRecord(std::string_view sender, std::string_view recipient, std::string_view text,
                                       PutText putText = nullptr)
{
    MessengerDatagram record = {};
    // Each field bounded to its limit, as a string (up to its first NUL): the record is zero
    // already, so the NUL is there.
    std::size_t at = 0;
    const auto put = [&record, &at](std::string_view field, std::size_t limit) {
        const std::size_t room = field.size() < limit ? field.size() : limit;
        for (std::size_t k = 0; k < room && field[k] != '\0'; ++k)
            record.bytes[at + k] = field[k];
        at += room + 1;
    };
    put(sender, kComputerNameBufferSize - 1);
    put(recipient, kMaxDestinationLength);
    const std::size_t length = text.size() < kMaxTextLength ? text.size() : std::size_t{kMaxTextLength};
    if (putText)
        putText(text.data(), record.bytes + at, length);
    else if (length)
        std::memcpy(record.bytes + at, text.data(), length);
    return record;
}

// The three fields of a record as it arrived, pointing into it.
struct RecordFields {
    std::string_view sender;
    std::string_view recipient;
    std::string_view text;
};

// The three NUL-terminated fields at the start of a record of length bytes; whatever follows
// the third NUL is ignored. Nullopt for fewer than three fields within length, or a length
// above kMaxRecordSize (record is not read then, and may be null). Not a byte past length is
// read.
std::optional<RecordFields> ReadRecord(const char* record, std::size_t length);
