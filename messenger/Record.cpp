#include "messenger/Record.h"

#include <cstring>

namespace {

// Copies a field bounded to its limit, as a string (up to its first NUL) or whole, and returns
// the index just past the room it takes. The record is zero already, so the NUL is there.
std::size_t PutField(MessengerDatagram& record, std::size_t at, std::string_view field, std::size_t limit,
                     bool string = true)
{
    const std::size_t room = field.size() < limit ? field.size() : limit;
    const void* nul = string && room ? std::memchr(field.data(), '\0', room) : nullptr;
    const std::size_t size = nul ? static_cast<const char*>(nul) - field.data() : room;
    if (size)
        std::memcpy(record.bytes + at, field.data(), size);
    return at + room + 1;
}

} // namespace

MessengerDatagram ComposeRecord(std::string_view sender, std::string_view recipient, std::string_view text)
{
    MessengerDatagram record = {};
    std::size_t at = PutField(record, 0, sender, kComputerNameBufferSize - 1);
    at = PutField(record, at, recipient, kMaxDestinationLength);
    PutField(record, at, text, kMaxTextLength, false);
    return record;
}

std::optional<RecordFields> ReadRecord(const char* record, std::size_t length)
{
    if (length > kMaxRecordSize)
        return std::nullopt;
    std::string_view field[3];
    std::size_t at = 0;
    for (std::string_view& f : field) {
        const void* nul = at < length ? std::memchr(record + at, '\0', length - at) : nullptr;
        if (!nul)
            return std::nullopt;
        f = std::string_view(record + at, static_cast<const char*>(nul) - (record + at));
        at += f.size() + 1;
    }
    return RecordFields{field[0], field[1], field[2]};
}
