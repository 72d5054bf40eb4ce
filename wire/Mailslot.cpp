#include "wire/NetBios.h"
#include "wire/Octets.h"

#include <algorithm>
#include <cstring>

namespace wire {

using namespace octets;

namespace {

// Offsets in the SMB_COM_TRANSACTION request, from the start of its SMB header.
enum : std::size_t {
    kCommand = 4,
    kFlags = 9,
    kFlags2 = 10,
    kPidLow = 26,
    kWordCount = 32,
    kTotalDataCount = 35,
    kMaxParameterCount = 37,
    kTransactionFlags = 43,
    kParameterOffset = 53,
    kDataCount = 55,
    kDataOffset = 57,
    kSetupCount = 59,
    kOpcode = 61,
    kClass = 65,
    kByteCount = 67,
    kMailslotName = 69,
};
constexpr std::uint8_t kMagic[] = {0xFF, 'S', 'M', 'B'};
constexpr std::uint8_t kTransaction = 0x25;
constexpr std::uint8_t kWords = 17; // 14 parameter words and 3 setup words
constexpr std::uint8_t kSetupWords = 3;
constexpr std::uint16_t kWrite = 1;
constexpr std::uint16_t kSecondClass = 2; // unreliable, may be broadcast

std::uint8_t Upper(char c) { return static_cast<std::uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

} // namespace

bool SameMailslot(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

Bytes BuildMailslotWrite(std::string_view mailslotName, ByteView data)
{
    if (mailslotName.find('\0') != std::string_view::npos)
        return {};
    const std::size_t dataOffset = (kMailslotName + mailslotName.size() + 1 + 3) / 4 * 4;
    const std::size_t size = dataOffset + data.size;
    if (size > 0xFFFF)
        return {};

    // Every field not set here is zero.
    Bytes out(dataOffset, 0);
    std::copy(std::begin(kMagic), std::end(kMagic), out.begin());
    out[kCommand] = kTransaction;
    out[kFlags] = 0x18; // the flags, PID and maximum parameter count Windows clients send
    SetLe16(out, kFlags2, 0x0004);
    SetLe16(out, kPidLow, 0xFEFF);
    out[kWordCount] = kWords;
    SetLe16(out, kTotalDataCount, static_cast<std::uint16_t>(data.size));
    SetLe16(out, kMaxParameterCount, 2);
    SetLe16(out, kTransactionFlags, 0x0002); // no response expected
    SetLe16(out, kParameterOffset, static_cast<std::uint16_t>(dataOffset));
    SetLe16(out, kDataCount, static_cast<std::uint16_t>(data.size));
    SetLe16(out, kDataOffset, static_cast<std::uint16_t>(dataOffset));
    out[kSetupCount] = kSetupWords;
    SetLe16(out, kOpcode, kWrite);
    SetLe16(out, kClass, kSecondClass);
    SetLe16(out, kByteCount, static_cast<std::uint16_t>(size - kMailslotName));
    std::copy(mailslotName.begin(), mailslotName.end(), out.begin() + kMailslotName);
    out.insert(out.end(), data.data, data.data + data.size);
    return out;
}

std::optional<MailslotWrite> ReadMailslotWrite(ByteView in)
{
    if (in.size < kMailslotName)
        return std::nullopt;
    const std::uint8_t* const smb = in.data;
    if (!std::equal(std::begin(kMagic), std::end(kMagic), smb) || smb[kCommand] != kTransaction ||
        smb[kWordCount] != kWords || smb[kSetupCount] != kSetupWords || Le16(smb + kOpcode) != kWrite)
        return std::nullopt;

    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(smb + kMailslotName, 0, in.size - kMailslotName));
    if (nul == nullptr)
        return std::nullopt;
    const std::size_t nameEnd = static_cast<std::size_t>(nul - smb) + 1;
    const std::size_t dataCount = Le16(smb + kDataCount), dataOffset = Le16(smb + kDataOffset);
    if (dataOffset < nameEnd || dataOffset > in.size || dataCount > in.size - dataOffset)
        return std::nullopt;
    return MailslotWrite{
        std::string_view(reinterpret_cast<const char*>(smb + kMailslotName), nameEnd - 1 - kMailslotName),
        ByteView{smb + dataOffset, dataCount}};
}

} // namespace wire
