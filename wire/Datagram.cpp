#include "wire/NetBios.h"
#include "wire/Octets.h"

namespace wire {

using namespace octets;

namespace {

constexpr std::size_t kFixedHeaderSize = 14; // DGM_LENGTH counts what follows it

} // namespace

Bytes BuildDatagram(const Datagram& datagram)
{
    const std::size_t length = kDatagramHeaderSize - kFixedHeaderSize + datagram.userData.size;
    if (length > 0xFFFF)
        return {};
    Bytes out;
    out.reserve(kFixedHeaderSize + length);
    out.push_back(static_cast<std::uint8_t>(datagram.type));
    out.push_back(datagram.flags);
    Put16(out, datagram.id);
    Put32(out, datagram.sourceIp);
    Put16(out, datagram.sourcePort);
    Put16(out, static_cast<std::uint16_t>(length));
    Put16(out, 0); // PACKET_OFFSET: never fragmented
    PutName(out, datagram.source);
    PutName(out, datagram.destination);
    out.insert(out.end(), datagram.userData.data, datagram.userData.data + datagram.userData.size);
    return out;
}

std::optional<Datagram> ReadDatagram(ByteView in)
{
    Reader reader(in);
    Datagram datagram;
    const std::uint8_t type = reader.U8();
    datagram.flags = reader.U8();
    datagram.id = reader.U16();
    datagram.sourceIp = reader.U32();
    datagram.sourcePort = reader.U16();
    const std::uint16_t length = reader.U16();
    const std::uint16_t offset = reader.U16();
    if (reader.Failed())
        return std::nullopt;
    if (type != static_cast<std::uint8_t>(DatagramType::DirectUnique) &&
        type != static_cast<std::uint8_t>(DatagramType::DirectGroup))
        return std::nullopt;
    datagram.type = static_cast<DatagramType>(type);
    // Windows never fragments; a piece of a datagram is not a mailslot write.
    if ((datagram.flags & kMoreFragments) != 0 || (datagram.flags & kFirstFragment) == 0 || offset != 0)
        return std::nullopt;
    if (length != reader.Left())
        return std::nullopt;

    const std::optional<Name> source = reader.TakeName(), destination = reader.TakeName();
    if (!source || !destination)
        return std::nullopt;
    datagram.source = *source;
    datagram.destination = *destination;
    datagram.userData = reader.Take(reader.Left());
    return datagram;
}

} // namespace wire
