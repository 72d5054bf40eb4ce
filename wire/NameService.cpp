#include "wire/NetBios.h"
#include "wire/Octets.h"

#include <algorithm>
#include <iterator>

namespace wire {

using namespace octets;

namespace {

constexpr std::uint16_t kClassIn = 0x0001;
constexpr std::size_t kNodeStatusEntrySize = 18;
constexpr std::size_t kStatisticsSize = 46; // what Windows sends
constexpr std::uint8_t kPointerToQuestion[] = {0xC0, 0x0C};

bool KnownType(std::uint16_t type)
{
    return type == static_cast<std::uint16_t>(RecordType::Null) || type == static_cast<std::uint16_t>(RecordType::NB) ||
           type == static_cast<std::uint16_t>(RecordType::NBSTAT);
}

NameServicePacket Request(std::uint16_t id, Opcode opcode, std::uint8_t nmFlags, const Name& name)
{
    NameServicePacket packet;
    packet.id = id;
    packet.opcode = opcode;
    packet.nmFlags = nmFlags;
    packet.name = name;
    return packet;
}

NameServicePacket Response(std::uint16_t id, Opcode opcode, std::uint8_t nmFlags, std::uint8_t rcode,
                           const Name& name, RecordType type, std::uint32_t ttl)
{
    NameServicePacket packet = Request(id, opcode, nmFlags, name);
    packet.response = true;
    packet.rcode = rcode;
    packet.type = type;
    packet.record = true;
    packet.ttl = ttl;
    return packet;
}

// A registration or a release: the question and the same name as the additional record.
NameServicePacket Claim(std::uint16_t id, Opcode opcode, std::uint8_t nmFlags, const Name& name, bool group,
                        std::uint32_t ip, std::uint32_t ttl)
{
    NameServicePacket packet = Request(id, opcode, nmFlags, name);
    packet.record = true;
    packet.ttl = ttl;
    packet.addresses = {{group ? kGroupName : std::uint16_t{0}, ip}};
    return packet;
}

// The RDATA of a record of the packet's type, or false when it is not one.
bool ReadRecordData(ByteView data, NameServicePacket& packet)
{
    Reader reader(data);
    switch (packet.type) {
    case RecordType::Null:
        break;
    case RecordType::NB: // a partial address fails its read
        while (reader.Left() > 0 && !reader.Failed()) {
            const std::uint16_t flags = reader.U16();
            packet.addresses.push_back({flags, reader.U32()});
        }
        break;
    case RecordType::NBSTAT:
        for (std::size_t count = reader.U8(); count > 0 && !reader.Failed(); --count) {
            NodeStatusEntry entry;
            const ByteView bytes = reader.Take(entry.name.bytes.size());
            if (reader.Failed())
                return false;
            std::copy(bytes.data, bytes.data + bytes.size, entry.name.bytes.begin());
            entry.flags = reader.U16();
            packet.nodeNames.push_back(entry);
        }
        const ByteView statistics = reader.Take(reader.Left());
        packet.statistics.assign(statistics.data, statistics.data + statistics.size);
        break;
    }
    return !reader.Failed() && reader.Left() == 0;
}

} // namespace

Bytes BuildNameService(const NameServicePacket& packet)
{
    std::size_t dataSize = 0;
    if (packet.type == RecordType::NB)
        dataSize = 6 * packet.addresses.size();
    else if (packet.type == RecordType::NBSTAT)
        dataSize = 1 + kNodeStatusEntrySize * packet.nodeNames.size() + packet.statistics.size();
    if (packet.record && (dataSize > 0xFFFF || packet.nodeNames.size() > 0xFF))
        return {};

    Bytes out;
    Put16(out, packet.id);
    Put16(out, static_cast<std::uint16_t>((packet.response ? 0x8000 : 0) | (static_cast<unsigned>(packet.opcode) & 0x0F) << 11 |
                                          (packet.nmFlags & 0x7F) << 4 | (packet.rcode & 0x0F)));
    const bool question = !packet.response;
    Put16(out, question);
    Put16(out, packet.response && packet.record);
    Put16(out, 0);
    Put16(out, question && packet.record);
    if (question) {
        PutName(out, packet.name);
        Put16(out, static_cast<std::uint16_t>(packet.type));
        Put16(out, kClassIn);
    }
    if (!packet.record)
        return out;

    if (question && !packet.recordNameInFull)
        out.insert(out.end(), std::begin(kPointerToQuestion), std::end(kPointerToQuestion));
    else
        PutName(out, packet.name);
    Put16(out, static_cast<std::uint16_t>(packet.type));
    Put16(out, kClassIn);
    Put32(out, packet.ttl);
    Put16(out, static_cast<std::uint16_t>(dataSize));
    if (packet.type == RecordType::NB) {
        for (const NameAddress& address : packet.addresses) {
            Put16(out, address.flags);
            Put32(out, address.ip);
        }
    } else if (packet.type == RecordType::NBSTAT) {
        out.push_back(static_cast<std::uint8_t>(packet.nodeNames.size()));
        for (const NodeStatusEntry& entry : packet.nodeNames) {
            out.insert(out.end(), entry.name.bytes.begin(), entry.name.bytes.end());
            Put16(out, entry.flags);
        }
        out.insert(out.end(), packet.statistics.begin(), packet.statistics.end());
    }
    return out;
}

std::optional<NameServicePacket> ReadNameService(ByteView in)
{
    Reader reader(in);
    NameServicePacket packet;
    packet.id = reader.U16();
    const std::uint16_t flags = reader.U16();
    const std::uint16_t questions = reader.U16(), answers = reader.U16(), authorities = reader.U16(),
                        additionals = reader.U16();
    if (reader.Failed())
        return std::nullopt;

    packet.response = (flags & 0x8000) != 0;
    const unsigned opcode = flags >> 11 & 0x0F;
    if (opcode != static_cast<unsigned>(Opcode::Query) && opcode != static_cast<unsigned>(Opcode::Registration) &&
        opcode != static_cast<unsigned>(Opcode::Release))
        return std::nullopt;
    packet.opcode = static_cast<Opcode>(opcode);
    packet.nmFlags = static_cast<std::uint8_t>(flags >> 4 & 0x7F);
    packet.rcode = static_cast<std::uint8_t>(flags & 0x0F);

    // A request: one question, perhaps one additional record; a response: perhaps one answer.
    const bool question = !packet.response;
    if (question ? questions != 1 || answers != 0 || additionals > 1 : questions != 0 || answers > 1 || additionals != 0)
        return std::nullopt;
    if (authorities != 0)
        return std::nullopt;
    packet.record = question ? additionals == 1 : answers == 1;

    if (question) {
        const std::optional<Name> name = reader.TakeName();
        const std::uint16_t type = reader.U16();
        if (!name || (type != static_cast<std::uint16_t>(RecordType::NB) &&
                      type != static_cast<std::uint16_t>(RecordType::NBSTAT)) ||
            reader.U16() != kClassIn)
            return std::nullopt;
        packet.name = *name;
        packet.type = static_cast<RecordType>(type);
    }
    if (packet.record) {
        // In a request the record names the question's name, through the pointer as Windows
        // does or in full, as RFC 1002 allows; in a response there is no question to point to.
        if (question && reader.Peek() == kEncodedNameLength) {
            const std::optional<Name> name = reader.TakeName();
            if (!name || name->bytes != packet.name.bytes)
                return std::nullopt;
            packet.recordNameInFull = true;
        } else if (question) {
            const ByteView pointer = reader.Take(sizeof kPointerToQuestion);
            if (reader.Failed() || pointer.data[0] != kPointerToQuestion[0] || pointer.data[1] != kPointerToQuestion[1])
                return std::nullopt;
        } else {
            const std::optional<Name> name = reader.TakeName();
            if (!name)
                return std::nullopt;
            packet.name = *name;
        }
        const std::uint16_t type = reader.U16();
        if (!KnownType(type) || (question && type != static_cast<std::uint16_t>(packet.type)) ||
            reader.U16() != kClassIn)
            return std::nullopt;
        packet.type = static_cast<RecordType>(type);
        packet.ttl = reader.U32();
        const ByteView data = reader.Take(reader.U16());
        if (reader.Failed() || !ReadRecordData(data, packet))
            return std::nullopt;
    }
    if (reader.Failed() || reader.Left() != 0)
        return std::nullopt;
    return packet;
}

Bytes BuildNameQuery(std::uint16_t id, const Name& name, bool broadcast)
{
    return BuildNameService(Request(id, Opcode::Query, kRecursionDesired | (broadcast ? kBroadcast : 0), name));
}

Bytes BuildPositiveQueryResponse(std::uint16_t id, const Name& name, bool group, std::uint32_t ip)
{
    NameServicePacket packet =
        Response(id, Opcode::Query, kAuthoritative | kRecursionDesired, 0, name, RecordType::NB, kNameTtl);
    packet.addresses = {{group ? kGroupName : std::uint16_t{0}, ip}};
    return BuildNameService(packet);
}

Bytes BuildNegativeQueryResponse(std::uint16_t id, const Name& name)
{
    return BuildNameService(Response(id, Opcode::Query, kAuthoritative | kRecursionDesired | kRecursionAvailable,
                                     kNameError, name, RecordType::Null, 0));
}

Bytes BuildNodeStatusRequest(std::uint16_t id)
{
    NameServicePacket packet = Request(id, Opcode::Query, 0, NodeStatusName());
    packet.type = RecordType::NBSTAT;
    return BuildNameService(packet);
}

Bytes BuildNodeStatusResponse(std::uint16_t id, const Name& name, const std::vector<NodeStatusEntry>& names)
{
    NameServicePacket packet = Response(id, Opcode::Query, kAuthoritative, 0, name, RecordType::NBSTAT, 0);
    packet.nodeNames = names;
    packet.statistics.assign(kStatisticsSize, 0);
    return BuildNameService(packet);
}

Bytes BuildRegistration(std::uint16_t id, const Name& name, bool group, std::uint32_t ip)
{
    return BuildNameService(
        Claim(id, Opcode::Registration, kRecursionDesired | kBroadcast, name, group, ip, kNameTtl));
}

Bytes BuildNegativeRegistrationResponse(std::uint16_t id, const Name& name, std::uint32_t ownerIp)
{
    NameServicePacket packet =
        Response(id, Opcode::Registration, kAuthoritative | kRecursionDesired | kRecursionAvailable, kActiveError,
                 name, RecordType::NB, 0);
    packet.addresses = {{0, ownerIp}};
    return BuildNameService(packet);
}

Bytes BuildRelease(std::uint16_t id, const Name& name, bool group, std::uint32_t ip)
{
    return BuildNameService(Claim(id, Opcode::Release, kBroadcast, name, group, ip, 0));
}

} // namespace wire
