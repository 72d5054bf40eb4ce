#pragma once
// The Messenger record in plain bytes, for every program that writes or reads one: the
// sender's computer name, the recipient and the text, each NUL-terminated one after the
// other from offset 0, then filler up to 420 bytes. The Messenger service reads one record of
// exactly that size from its mailslot.
#include <cstddef>
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
MessengerDatagram ComposeRecord(std::string_view sender, std::string_view recipient, std::string_view text);

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
