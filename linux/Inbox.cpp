#include "linux/Inbox.h"

#include "messenger/Record.h"

#include <algorithm>
#include <chrono>

namespace pellamy {

namespace {

// A broadcast node registers three times, 250 ms apart, and waits as long for a defence.
constexpr int kTries = 3;
constexpr net::Milliseconds kRetryInterval = 250;
constexpr net::Milliseconds kFirstPause = 10000, kLastPause = 600000;
// Datagrams read in one go before the caller's loop looks at the others again.
constexpr int kBurst = 64;
// The most mailslot data a Messenger sender writes: 512 bytes of SMB, less the header and the
// name \MAILSLOT\MESSNGR. More is no message, and would make an output line of any length.
constexpr std::size_t kMaxMessengerData = 424;

// The same address on the same interface, with the same subnet.
bool Same(const net::Interface& a, const net::Interface& b)
{
    return a.index == b.index && a.address == b.address && a.broadcast == b.broadcast;
}

std::int64_t Microseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

net::Milliseconds NextPause(net::Milliseconds pause) { return pause ? std::min(2 * pause, kLastPause) : kFirstPause; }

Inbox::Inbox(net::Sockets& sockets, net::Sockets::Socket nameService, net::Sockets::Socket datagrams,
             const wire::Name& name, const wire::Name& workgroup, Report report, Deliver deliver)
    : m_sockets(sockets), m_nameService(nameService), m_datagrams(datagrams), m_workgroup(workgroup),
      m_report(std::move(report)), m_deliver(std::move(deliver)), m_buffer(65536)
{
    m_names[0] = m_names[1] = name;
    m_names[1].bytes[15] = wire::kMessengerSuffix;
}

void Inbox::Follow(const std::vector<net::Interface>& interfaces)
{
    for (auto known = m_addresses.begin(); known != m_addresses.end();) {
        const auto same = [&known](const net::Interface& interface) { return Same(interface, known->interface); };
        if (std::any_of(interfaces.begin(), interfaces.end(), same)) {
            ++known;
            continue;
        }
        Event gone;
        gone.kind = Event::Kind::Gone;
        gone.interface = known->interface;
        known = m_addresses.erase(known);
        m_report(gone);
    }
    const net::Milliseconds now = m_sockets.Now();
    for (const net::Interface& interface : interfaces) {
        const auto same = [&interface](const Address& known) { return Same(known.interface, interface); };
        if (std::none_of(m_addresses.begin(), m_addresses.end(), same)) {
            Address address;
            address.interface = interface;
            address.next = now;
            address.id = m_sockets.RandomId();
            m_addresses.push_back(address);
        }
    }
}

std::optional<net::Milliseconds> Inbox::NextTime() const
{
    std::optional<net::Milliseconds> next;
    for (const Address& address : m_addresses)
        if (address.state != Address::State::Held && (!next || address.next < *next))
            next = address.next;
    return next;
}

void Inbox::OnTime()
{
    const net::Milliseconds now = m_sockets.Now();
    for (Address& address : m_addresses) {
        if (address.state == Address::State::Held || address.next > now)
            continue;
        if (address.state == Address::State::Paused) {
            address.state = Address::State::Registering;
            address.tries = 0;
            address.id = m_sockets.RandomId();
        }
        if (address.tries == kTries) {
            // Nobody defended the name: it is ours here.
            address.state = Address::State::Held;
            Event held;
            held.interface = address.interface;
            m_report(held);
            continue;
        }
        const net::Interface& interface = address.interface;
        bool sent = true;
        for (const wire::Name& name : m_names)
            sent = sent && m_sockets.Send(m_nameService,
                                          wire::View(wire::BuildRegistration(address.id, name, false, interface.address)),
                                          {interface.broadcast, wire::kNameServicePort}, &interface);
        if (!sent) {
            Event failed;
            failed.kind = Event::Kind::CannotSend;
            failed.error = m_sockets.Error();
            Fail(address, failed);
            continue;
        }
        ++address.tries;
        address.next = now + kRetryInterval;
    }
}

// The registration on the address failed: it is tried again after a pause, the others go on.
void Inbox::Fail(Address& address, Event event)
{
    address.state = Address::State::Paused;
    address.pause = NextPause(address.pause);
    address.next = m_sockets.Now() + address.pause;
    event.interface = address.interface;
    event.pause = address.pause;
    m_report(event);
}

void Inbox::Release()
{
    const std::uint16_t id = m_sockets.RandomId();
    for (const Address& address : m_addresses) {
        if (address.state != Address::State::Held)
            continue;
        for (const wire::Name& name : m_names)
            m_sockets.Send(m_nameService, wire::View(wire::BuildRelease(id, name, false, address.interface.address)),
                           {address.interface.broadcast, wire::kNameServicePort}, &address.interface);
    }
}

bool Inbox::Held(std::uint32_t local) const
{
    return std::any_of(m_addresses.begin(), m_addresses.end(), [local](const Address& address) {
        return address.state == Address::State::Held && address.interface.address == local;
    });
}

bool Inbox::FromUs(net::Endpoint from) const
{
    return from.port == wire::kNameServicePort &&
           std::any_of(m_addresses.begin(), m_addresses.end(),
                       [from](const Address& address) { return address.interface.address == from.ip; });
}

const wire::Name* Inbox::Ours(const wire::Name& name) const
{
    for (const wire::Name& ours : m_names)
        if (wire::SameName(name, ours))
            return &ours;
    return nullptr;
}

void Inbox::OnNameService()
{
    for (int k = 0; k < kBurst; ++k) {
        const std::optional<net::Arrival> arrival = m_sockets.Receive(m_nameService, m_buffer);
        if (!arrival)
            return;
        // Our own broadcasts come back to us.
        if (arrival->truncated || FromUs(arrival->from))
            continue;
        const std::optional<wire::NameServicePacket> packet = wire::ReadNameService(arrival->bytes);
        if (packet && packet->response)
            Defended(*packet, *arrival);
        else if (packet)
            Answer(*packet, *arrival);
    }
}

void Inbox::Defended(const wire::NameServicePacket& response, const net::Arrival& arrival)
{
    if (response.opcode != wire::Opcode::Registration || response.rcode != wire::kActiveError || !Ours(response.name))
        return;
    for (Address& address : m_addresses) {
        if (address.state == Address::State::Registering && address.id == response.id) {
            Event taken;
            taken.kind = Event::Kind::Taken;
            taken.defender = response.addresses.empty() ? arrival.from.ip : response.addresses.front().ip;
            Fail(address, taken);
            return;
        }
    }
}

void Inbox::Answer(const wire::NameServicePacket& request, const net::Arrival& arrival)
{
    // Our names only where we hold them, from the address the request came to, which is the
    // one we give.
    const bool held = Held(arrival.local);
    const wire::Name* ours = held ? Ours(request.name) : nullptr;
    const net::Interface source = {"", 0, arrival.local, 0};
    wire::Bytes answer;
    if (request.opcode == wire::Opcode::Query && request.type == wire::RecordType::NB) {
        if (ours)
            answer = wire::BuildPositiveQueryResponse(request.id, *ours, false, arrival.local);
        else if (wire::SameName(request.name, m_workgroup))
            answer = wire::BuildPositiveQueryResponse(request.id, m_workgroup, true, arrival.local);
    } else if (request.opcode == wire::Opcode::Query && request.type == wire::RecordType::NBSTAT) {
        if (wire::SameName(request.name, wire::NodeStatusName()) || ours) {
            std::vector<wire::NodeStatusEntry> names;
            if (held)
                names = {{m_names[0], wire::kActiveName}, {m_names[1], wire::kActiveName}};
            names.push_back({m_workgroup, wire::kGroupName | wire::kActiveName});
            answer = wire::BuildNodeStatusResponse(request.id, request.name, names);
        }
    } else if (request.opcode == wire::Opcode::Registration && ours) {
        answer = wire::BuildNegativeRegistrationResponse(request.id, *ours, arrival.local);
    }
    // An answer that does not get through is asked for again, or the asker finds no one.
    if (!answer.empty())
        m_sockets.Send(m_nameService, wire::View(answer), arrival.from, &source);
}

void Inbox::OnDatagrams()
{
    std::vector<Message> messages;
    for (int k = 0; k < kBurst; ++k) {
        const std::optional<net::Arrival> arrival = m_sockets.Receive(m_datagrams, m_buffer);
        if (!arrival)
            break;
        Receive(*arrival, messages);
    }
    if (!messages.empty())
        m_deliver(std::move(messages));
}

void Inbox::Receive(const net::Arrival& arrival, std::vector<Message>& messages)
{
    const wire::ByteView bytes = arrival.bytes;
    // Other datagram types (broadcasts, errors, queries) are the browser's and others'.
    if (!arrival.truncated && bytes.size > 0 && bytes.data[0] != static_cast<std::uint8_t>(wire::DatagramType::DirectUnique) &&
        bytes.data[0] != static_cast<std::uint8_t>(wire::DatagramType::DirectGroup)) {
        ++m_counts.ignored;
        return;
    }
    const std::optional<wire::Datagram> datagram = arrival.truncated ? std::nullopt : wire::ReadDatagram(bytes);
    if (!datagram) {
        ++m_counts.malformed;
        return;
    }
    const bool forUs = datagram->type == wire::DatagramType::DirectUnique ? Ours(datagram->destination) != nullptr
                                                                          : wire::SameName(datagram->destination, m_workgroup);
    if (!forUs) {
        ++m_counts.ignored;
        return;
    }
    const std::optional<wire::MailslotWrite> write = wire::ReadMailslotWrite(datagram->userData);
    if (!write) {
        ++m_counts.malformed;
        return;
    }
    if (!wire::SameMailslot(write->name, wire::kMessengerMailslot)) {
        ++m_counts.ignored;
        return;
    }
    const std::optional<RecordFields> record =
        write->data.size > kMaxMessengerData ? std::nullopt
                                             : ReadRecord(reinterpret_cast<const char*>(write->data.data), write->data.size);
    if (!record) {
        ++m_counts.malformed;
        return;
    }
    ++m_counts.messages;
    messages.push_back({std::string(record->sender), std::string(record->recipient), std::string(record->text),
                        arrival.from.ip, Microseconds()});
}

} // namespace pellamy
