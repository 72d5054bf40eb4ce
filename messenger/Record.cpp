#include "messenger/Record.h"

#include <cstring>

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
