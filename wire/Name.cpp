#include "wire/NetBios.h"

namespace wire {

namespace {

std::uint8_t Upper(std::uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 'a' + 'A') : c; }

} // namespace

std::optional<Name> MakeName(std::string_view text, std::uint8_t suffix)
{
    if (text.empty() || text.size() > 15)
        return std::nullopt;
    Name name;
    name.bytes.fill(' ');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return std::nullopt;
        name.bytes[i] = c;
    }
    name.bytes[15] = suffix;
    return name;
}

Name NodeStatusName()
{
    Name name;
    name.bytes[0] = '*';
    return name;
}

std::string NameText(const Name& name)
{
    std::size_t end = 15;
    while (end > 0 && (name.bytes[end - 1] == ' ' || name.bytes[end - 1] == 0))
        --end;
    return std::string(name.bytes.begin(), name.bytes.begin() + end);
}

bool SameName(const Name& a, const Name& b)
{
    bool ascii = true;
    for (std::size_t i = 0; i < a.bytes.size(); ++i) {
        ascii = ascii && a.bytes[i] < 0x80;
        if (ascii ? Upper(a.bytes[i]) != Upper(b.bytes[i]) : a.bytes[i] != b.bytes[i])
            return false;
    }
    return true;
}

std::array<std::uint8_t, kEncodedNameSize> EncodeName(const Name& name)
{
    std::array<std::uint8_t, kEncodedNameSize> encoded{};
    encoded[0] = kEncodedNameLength;
    for (std::size_t i = 0; i < name.bytes.size(); ++i) {
        encoded[1 + 2 * i] = static_cast<std::uint8_t>('A' + (name.bytes[i] >> 4));
        encoded[2 + 2 * i] = static_cast<std::uint8_t>('A' + (name.bytes[i] & 0x0F));
    }
    return encoded; // the last byte, 0: no scope
}

std::optional<Name> DecodeName(ByteView encoded)
{
    // A scope would put a label where the terminator is; a node of another scope is not
    // one we can talk to, so its packets are refused with the malformed ones.
    if (encoded.size < kEncodedNameSize || encoded.data[0] != kEncodedNameLength || encoded.data[kEncodedNameSize - 1] != 0)
        return std::nullopt;
    Name name;
    for (std::size_t i = 0; i < name.bytes.size(); ++i) {
        const auto high = static_cast<std::uint8_t>(encoded.data[1 + 2 * i] - 'A'),
                   low = static_cast<std::uint8_t>(encoded.data[2 + 2 * i] - 'A');
        if (high > 0x0F || low > 0x0F)
            return std::nullopt;
        name.bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return name;
}

} // namespace wire
