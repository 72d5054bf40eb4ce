#include "net/Sender.h"

#include <algorithm>
#include <functional>

namespace net {

namespace {

// A broadcast node asks three times, 250 ms apart, and waits as long for the last answers.
constexpr int kTries = 3;
constexpr Milliseconds kRetryInterval = 250;
// The system's resolver, asked last, is waited for until this long after the first question:
// a name nobody knows takes no longer.
constexpr Milliseconds kLookUpLimit = 1800;
// Answers read in one go before the clock is looked at again.
constexpr int kBurst = 64;

// One place a request or the datagram goes; a broadcast goes out of its interface.
struct Hop {
    Endpoint to;
    const Interface* via = nullptr;
};

std::vector<Hop> Broadcasts(const std::vector<Interface>& interfaces, std::uint16_t port)
{
    std::vector<Hop> hops;
    for (const Interface& interface : interfaces)
        hops.push_back({{interface.broadcast, port}, &interface});
    return hops;
}

struct Answer {
    wire::NameServicePacket packet;
    Endpoint from;
};

struct Asked {
    std::string sendError; // when a try could be sent nowhere
    std::optional<Answer> answer;
};

using Take = std::function<bool(const wire::NameServicePacket&, Endpoint from)>;

// Where the datagram goes and what it says it is for.
struct Target {
    wire::DatagramType type = wire::DatagramType::DirectUnique;
    wire::Name name; // DESTINATION_NAME
    std::vector<Hop> hops;
};

bool PositiveFor(const wire::NameServicePacket& packet, const wire::Name& name)
{
    return packet.opcode == wire::Opcode::Query && packet.rcode == 0 && packet.type == wire::RecordType::NB &&
           !packet.addresses.empty() && wire::SameName(packet.name, name);
}

bool Group(const wire::NameServicePacket& packet) { return packet.addresses.front().flags & wire::kGroupName; }

// The address a positive answer gives a unique name's owner: the answering computer's own
// when the answer lists it, else the first that can stand for one computer (a proxy answers
// for others, a name server for everyone).
std::optional<std::uint32_t> OwnerAddress(const wire::NameServicePacket& answer, Endpoint from)
{
    const std::vector<wire::NameAddress>& addresses = answer.addresses;
    for (const wire::NameAddress& address : addresses)
        if (address.ip == from.ip && Unicast(address.ip))
            return address.ip;
    for (const wire::NameAddress& address : addresses)
        if (Unicast(address.ip))
            return address.ip;
    return std::nullopt;
}

class Finder {
public:
    Finder(Sockets& sockets, const SendOptions& options) : m_sockets(sockets), m_options(options), m_buffer(65536) {}

    // Fills target, whose hops refer to the finder's interfaces, or says why not.
    Outcome Find(const Destination& destination, Target& target);

private:
    Outcome FindName(const wire::Name& name, const std::string& shown, Target& target);
    Outcome FindAddress(std::uint32_t ip, Target& target);
    Outcome ToGroup(const wire::Name& group, Target& target);
    Asked Ask(const wire::Bytes& request, std::uint16_t id, const std::vector<Hop>& hops, const Take& take);
    std::optional<Answer> AskNameServers(const wire::Name& name);
    bool LoadInterfaces();

    Sockets& m_sockets;
    const SendOptions& m_options;
    Sockets::Socket m_nameService = Sockets::kNoSocket;
    std::vector<std::uint8_t> m_buffer;
    std::vector<Interface> m_interfaces;
};

Outcome Finder::Find(const Destination& destination, Target& target)
{
    if (destination.kind == Destination::Kind::Group)
        return ToGroup(destination.name, target);
    const OpenSocket nameService(m_sockets, {0});
    if (!nameService.Valid())
        return {Status::NetworkError, "cannot make a UDP socket: " + m_sockets.Error()};
    m_nameService = nameService.Get();
    return destination.kind == Destination::Kind::Address ? FindAddress(destination.ip, target)
                                                          : FindName(destination.name, destination.shown, target);
}

// Sends request to every hop, up to three times 250 ms apart, until take accepts a response
// to it; answers to the last try are awaited 250 ms.
Asked Finder::Ask(const wire::Bytes& request, std::uint16_t id, const std::vector<Hop>& hops, const Take& take)
{
    Asked asked;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        // An interface that cannot send does not silence the others.
        std::size_t failed = 0;
        for (const Hop& hop : hops) {
            if (!m_sockets.Send(m_nameService, wire::View(request), hop.to, hop.via)) {
                asked.sendError = "cannot send to " + FormatIp(hop.to.ip) + ": " + m_sockets.Error();
                ++failed;
            }
        }
        if (failed == hops.size())
            return asked;
        asked.sendError.clear();
        const Milliseconds deadline = m_sockets.Now() + kRetryInterval;
        while (m_sockets.Now() < deadline && m_sockets.WaitReadable(m_nameService, deadline)) {
            for (int k = 0; k < kBurst; ++k) {
                const std::optional<Arrival> arrival = m_sockets.Receive(m_nameService, m_buffer);
                if (!arrival)
                    break;
                std::optional<wire::NameServicePacket> packet =
                    arrival->truncated ? std::nullopt : wire::ReadNameService(arrival->bytes);
                if (packet && packet->response && packet->id == id && take(*packet, arrival->from)) {
                    asked.answer = Answer{std::move(*packet), arrival->from};
                    return asked;
                }
            }
        }
    }
    return asked;
}

// The name servers' answer, asked of all at once: a positive one, or none when each of them
// said no, none answered or they cannot be reached.
std::optional<Answer> Finder::AskNameServers(const wire::Name& name)
{
    const std::vector<std::uint32_t> servers = m_options.wins.empty() ? m_sockets.WinsServers() : m_options.wins;
    if (servers.empty())
        return std::nullopt;
    std::vector<Hop> hops;
    for (const std::uint32_t server : servers)
        hops.push_back({{server, wire::kNameServicePort}});
    std::vector<std::uint32_t> refused;
    const std::uint16_t id = m_sockets.RandomId();
    const Asked asked = Ask(wire::BuildNameQuery(id, name, false), id, hops, [&](const wire::NameServicePacket& packet, Endpoint from) {
        if (packet.opcode != wire::Opcode::Query ||
            std::none_of(servers.begin(), servers.end(), [&](std::uint32_t server) { return server == from.ip; }))
            return false;
        if (PositiveFor(packet, name) && (Group(packet) || OwnerAddress(packet, from)))
            return true;
        if (std::find(refused.begin(), refused.end(), from.ip) == refused.end())
            refused.push_back(from.ip);
        return refused.size() == servers.size();
    });
    if (asked.answer && PositiveFor(asked.answer->packet, name))
        return asked.answer;
    return std::nullopt;
}

bool Finder::LoadInterfaces()
{
    if (m_interfaces.empty())
        m_interfaces = m_sockets.Interfaces();
    return !m_interfaces.empty();
}

Outcome Finder::ToGroup(const wire::Name& group, Target& target)
{
    if (!LoadInterfaces())
        return {Status::NetworkError, "no IPv4 interface is up to broadcast on"};
    target.type = wire::DatagramType::DirectGroup;
    target.name = group;
    target.hops = Broadcasts(m_interfaces, wire::kDatagramPort);
    return {};
}

Outcome Finder::FindName(const wire::Name& name, const std::string& shown, Target& target)
{
    const Milliseconds start = m_sockets.Now();
    // The name servers first; a computer they do not know may still answer a broadcast; the
    // system's resolver last, for computers on other subnets that are in DNS.
    std::optional<Answer> answer = AskNameServers(name);
    Outcome failed = {Status::NoAnswer, "no computer answered to " + shown + " on this network"};
    if (!answer) {
        if (LoadInterfaces()) {
            const std::uint16_t id = m_sockets.RandomId();
            const Asked asked = Ask(wire::BuildNameQuery(id, name, true), id,
                                    Broadcasts(m_interfaces, wire::kNameServicePort),
                                    [&name](const wire::NameServicePacket& packet, Endpoint from) {
                                        return PositiveFor(packet, name) && (Group(packet) || OwnerAddress(packet, from));
                                    });
            answer = asked.answer;
            if (!asked.sendError.empty())
                failed = {Status::NetworkError, asked.sendError};
        } else {
            failed = {Status::NetworkError, "no IPv4 interface is up to broadcast on"};
        }
    }
    if (answer && Group(answer->packet))
        return ToGroup(name, target);

    std::uint32_t owner = answer ? OwnerAddress(answer->packet, answer->from).value_or(0) : 0;
    if (!owner) {
        const std::vector<std::uint32_t> found = m_sockets.LookUp(wire::NameText(name), start + kLookUpLimit);
        const auto usable = std::find_if(found.begin(), found.end(), Unicast);
        if (usable == found.end())
            return failed;
        owner = *usable;
    }
    target.type = wire::DatagramType::DirectUnique;
    target.name = name;
    target.hops = {{{owner, wire::kDatagramPort}}};
    return {};
}

Outcome Finder::FindAddress(std::uint32_t ip, Target& target)
{
    const std::uint16_t id = m_sockets.RandomId();
    const Asked asked = Ask(wire::BuildNodeStatusRequest(id), id, {{{ip, wire::kNameServicePort}}},
                            [ip](const wire::NameServicePacket& packet, Endpoint from) {
                                return from.ip == ip && packet.opcode == wire::Opcode::Query &&
                                       packet.type == wire::RecordType::NBSTAT;
                            });
    if (!asked.sendError.empty())
        return {Status::NetworkError, asked.sendError};
    if (!asked.answer)
        return {Status::NoAnswer, "no computer answered to " + FormatIp(ip) + " on this network"};
    for (const wire::NodeStatusEntry& entry : asked.answer->packet.nodeNames) {
        if (entry.name.bytes[15] == 0x00 && !(entry.flags & wire::kGroupName)) {
            target.type = wire::DatagramType::DirectUnique;
            target.name = entry.name;
            target.hops = {{{ip, wire::kDatagramPort}}};
            return {};
        }
    }
    return {Status::NoAnswer, FormatIp(ip) + " answered but holds no computer name"};
}

// The datagram to every hop, each with this host's address on the way there.
Outcome Deliver(Sockets& sockets, const Target& target, const SendOptions& options, const wire::Bytes& write)
{
    // From a free port, the header says 138 all the same: receivers do not answer.
    const OpenSocket socket(sockets, options.fromDatagramPort ? std::initializer_list<std::uint16_t>{wire::kDatagramPort, 0}
                                                              : std::initializer_list<std::uint16_t>{0});
    if (!socket.Valid())
        return {Status::NetworkError, "cannot make a UDP socket: " + sockets.Error()};

    std::uint16_t id = sockets.RandomId();
    std::size_t sent = 0;
    std::string error;
    for (const Hop& hop : target.hops) {
        wire::Datagram datagram;
        datagram.type = target.type;
        datagram.id = id++;
        datagram.source = options.source;
        datagram.destination = target.name;
        datagram.userData = wire::View(write);
        if (hop.via) {
            datagram.sourceIp = hop.via->address;
        } else if (const std::optional<std::uint32_t> source = sockets.SourceAddressFor(hop.to.ip)) {
            datagram.sourceIp = *source;
        } else {
            return {Status::NetworkError, "no route to " + FormatIp(hop.to.ip)};
        }
        if (sockets.Send(socket.Get(), wire::View(wire::BuildDatagram(datagram)), hop.to, hop.via))
            ++sent;
        else
            error = "cannot send to " + FormatIp(hop.to.ip) + ": " + sockets.Error();
    }
    // Sent on some interfaces: the others' failures are not the receivers' concern.
    if (sent)
        return {};
    return {Status::NetworkError, error};
}

} // namespace

Outcome SendMailslot(Sockets& sockets, const Destination& destination, const SendOptions& options,
                     std::string_view mailslot, wire::ByteView data)
{
    Finder finder(sockets, options);
    Target target;
    const Outcome found = finder.Find(destination, target);
    if (found.status != Status::Sent)
        return found;
    return Deliver(sockets, target, options, wire::BuildMailslotWrite(mailslot, data));
}

} // namespace net
