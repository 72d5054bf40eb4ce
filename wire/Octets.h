#pragma once
// Writing and reading the fields of a packet, byte by byte: big-endian for NetBIOS headers,
// little-endian inside SMB. Used by wire/ only.
#include "wire/NetBios.h"

#include <cstddef>
#include <cstdint>

namespace wire::octets {

inline void Put16(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

inline void Put32(Bytes& out, std::uint32_t value)
{
    Put16(out, static_cast<std::uint16_t>(value >> 16));
    Put16(out, static_cast<std::uint16_t>(value));
}

inline void PutName(Bytes& out, const Name& name)
{
    const auto encoded = EncodeName(name);
    out.insert(out.end(), encoded.begin(), encoded.end());
}

inline void SetLe16(Bytes& out, std::size_t offset, std::uint16_t value)
{
    out[offset] = static_cast<std::uint8_t>(value);
    out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline std::uint16_t Le16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

// Reads forward through what arrived. A read past the end reads nothing, yields zeros and
// marks the reader failed, so that a parser checks once, at the end or before it relies on
// a value.
class Reader {
public:
    explicit Reader(ByteView in) : m_in(in) {}

    std::uint8_t U8() { return Has(1) ? m_in.data[m_pos++] : 0; }
    // The next byte, left to read; 0 at the end.
    std::uint8_t Peek() const { return Left() > 0 ? m_in.data[m_pos] : 0; }
    std::uint16_t U16()
    {
        const std::uint8_t high = U8();
        return static_cast<std::uint16_t>(high << 8 | U8());
    }
    std::uint32_t U32()
    {
        const std::uint32_t high = U16();
        return high << 16 | U16();
    }
    ByteView Take(std::size_t size)
    {
        if (!Has(size))
            return {};
        const ByteView taken{m_in.data + m_pos, size};
        m_pos += size;
        return taken;
    }
    std::optional<Name> TakeName() { return DecodeName(Take(kEncodedNameSize)); }

    std::size_t Left() const { return m_in.size - m_pos; }
    bool Failed() const { return m_failed; }

private:
    bool Has(std::size_t size)
    {
        if (m_failed || Left() < size)
            m_failed = true;
        return !m_failed;
    }

    ByteView m_in;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace wire::octets
