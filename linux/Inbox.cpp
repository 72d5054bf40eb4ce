#include "linux/Inbox.h"

#include "messenger/Record.h"

#include <cerrno>
#include <chrono>
#include <ctime>

namespace pellamy {

namespace {

// A broadcast node registers three times, 250 ms apart, and waits as long for a defence.
constexpr int kTries = 3;
constexpr net::Milliseconds kRetryInterval = 250;
// Datagrams read in one go before the signals are looked at again.
constexpr int kBurst = 64;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The local time, as text or in ISO 8601 with the offset from UTC.
std::string Timestamp(const std::tm& local, bool iso)
{
    char text[40];
    std::strftime(text, sizeof text, iso ? "%Y-%m-%dT%H:%M:%S" : "%Y-%m-%d %H:%M:%S", &local);
    std::string stamp = text;
    if (iso) {
        const long minutes = local.tm_gmtoff / 60;
        const long away = minutes < 0 ? -minutes : minutes;
        std::snprintf(text, sizeof text, "%c%02ld:%02ld", minutes < 0 ? '-' : '+', away / 60, away % 60);
        stamp += text;
    }
    return stamp;
}

} // namespace

bool Printer::Print(const std::string& sender, const std::string& recipient, const std::string& text, std::uint32_t from)
{
    // The time's text changes once a second, and a burst of messages comes within one.
    const std::time_t now = std::time(nullptr);
    if (now != m_second) {
        std::tm local = {};
        localtime_r(&now, &local);
        m_second = now;
        m_time = Widen(Timestamp(local, m_json));
    }
    const std::wstring shownSender = Printable(m_fromOem.Decode(sender), false);
    const std::wstring shownRecipient = Printable(m_fromOem.Decode(recipient), false);
    const std::wstring shownText = Printable(m_fromOem.Decode(text), true);
    const std::wstring address = Widen(net::FormatIp(from));
    std::wstring out;
    out.reserve(shownText.size() + 160);
    if (m_json) {
        out.append(L"{\"from\":").append(JsonString(shownSender)).append(L",\"to\":").append(JsonString(shownRecipient));
        out.append(L",\"text\":").append(JsonString(shownText)).append(L",\"time\":\"").append(m_time);
        out.append(L"\",\"address\":\"").append(address).append(L"\"}\n");
    } else {
        out.append(L"From ").append(shownSender).append(L" to ").append(shownRecipient).append(L", ").append(m_time);
        out.append(L" (").append(address).append(L")\n");
        if (!shownText.empty())
            out.append(shownText).append(L"\n");
        out.append(L"\n");
    }
    const std::string bytes = m_fromOem.Encode(out);
    return std::fwrite(bytes.data(), 1, bytes.size(), m_stream) == bytes.size();
}

Inbox::Inbox(Fd nameService, Fd datagrams, std::vector<net::Interface> interfaces, wire::Name name, wire::Name workgroup,
             Printer printer, std::function<void(const Message&)> announce)
    : m_nameService(std::move(nameService)), m_datagrams(std::move(datagrams)), m_interfaces(std::move(interfaces)),
      m_name(name), m_workgroup(workgroup), m_printer(std::move(printer)),
      m_announce(std::move(announce)), m_buffer(65536)
{
}

bool Inbox::Register(std::optional<std::uint32_t>& defender)
{
    const std::uint16_t id = m_sockets.RandomId();
    for (int attempt = 0; attempt < kTries; ++attempt) {
        for (const net::Interface& interface : m_interfaces) {
            if (!m_sockets.Send(m_nameService.Get(), wire::View(wire::BuildRegistration(id, m_name, false, interface.address)),
                                {interface.broadcast, wire::kNameServicePort}, &interface))
                return false;
        }
        const net::Milliseconds deadline = m_sockets.Now() + kRetryInterval;
        while (m_sockets.Now() < deadline && m_sockets.WaitReadable(m_nameService.Get(), deadline)) {
            for (int k = 0; k < kBurst; ++k) {
                const std::optional<net::Arrival> arrival = m_sockets.Receive(m_nameService.Get(), m_buffer);
                if (!arrival)
                    break;
                const std::optional<wire::NameServicePacket> packet =
                    arrival->truncated ? std::nullopt : wire::ReadNameService(arrival->bytes);
                if (packet && packet->response && packet->id == id && packet->opcode == wire::Opcode::Registration &&
                    packet->rcode == wire::kActiveError) {
                    defender = packet->addresses.empty() ? arrival->from.ip : packet->addresses.front().ip;
                    return true;
                }
            }
        }
    }
    return true;
}

void Inbox::Release()
{
    const std::uint16_t id = m_sockets.RandomId();
    for (const net::Interface& interface : m_interfaces)
        m_sockets.Send(m_nameService.Get(), wire::View(wire::BuildRelease(id, m_name, false, interface.address)),
                       {interface.broadcast, wire::kNameServicePort}, &interface);
}

bool Inbox::FromUs(net::Endpoint from) const
{
    if (from.port != wire::kNameServicePort)
        return false;
    for (const net::Interface& interface : m_interfaces)
        if (interface.address == from.ip)
            return true;
    return false;
}

void Inbox::OnNameService()
{
    for (int k = 0; k < kBurst; ++k) {
        const std::optional<net::Arrival> arrival = m_sockets.Receive(m_nameService.Get(), m_buffer);
        if (!arrival)
            return;
        // Our own broadcasts come back to us; answers are not ours to answer.
        if (arrival->truncated || FromUs(arrival->from))
            continue;
        const std::optional<wire::NameServicePacket> packet = wire::ReadNameService(arrival->bytes);
        if (packet && !packet->response)
            Answer(*packet, *arrival);
    }
}

void Inbox::Answer(const wire::NameServicePacket& request, const net::Arrival& arrival)
{
    // From the address the request came to, which is the one we give.
    const net::Interface source = {"", 0, arrival.local, 0};
    wire::Bytes answer;
    if (request.opcode == wire::Opcode::Query && request.type == wire::RecordType::NB) {
        if (wire::SameName(request.name, m_name))
            answer = wire::BuildPositiveQueryResponse(request.id, m_name, false, arrival.local);
        else if (wire::SameName(request.name, m_workgroup))
            answer = wire::BuildPositiveQueryResponse(request.id, m_workgroup, true, arrival.local);
    } else if (request.opcode == wire::Opcode::Query && request.type == wire::RecordType::NBSTAT) {
        if (wire::SameName(request.name, wire::NodeStatusName()) || wire::SameName(request.name, m_name))
            answer = wire::BuildNodeStatusResponse(request.id, request.name,
                                                   {{m_name, wire::kActiveName},
                                                    {m_workgroup, wire::kGroupName | wire::kActiveName}});
    } else if (request.opcode == wire::Opcode::Registration && wire::SameName(request.name, m_name)) {
        answer = wire::BuildNegativeRegistrationResponse(request.id, m_name, arrival.local);
    }
    // An answer that does not get through is asked for again, or the asker finds no one.
    if (!answer.empty())
        m_sockets.Send(m_nameService.Get(), wire::View(answer), arrival.from, &source);
}

bool Inbox::OnDatagrams()
{
    // What arrived together is written together: at once for one message, in one write for a
    // burst.
    for (int k = 0; k < kBurst; ++k) {
        const std::optional<net::Arrival> arrival = m_sockets.Receive(m_datagrams.Get(), m_buffer);
        if (!arrival)
            break;
        if (!Take(*arrival))
            return false;
    }
    return m_printer.Flush();
}

bool Inbox::Take(const net::Arrival& arrival)
{
    const wire::ByteView bytes = arrival.bytes;
    // Other datagram types (broadcasts, errors, queries) are the browser's and others'.
    if (!arrival.truncated && bytes.size > 0 && bytes.data[0] != static_cast<std::uint8_t>(wire::DatagramType::DirectUnique) &&
        bytes.data[0] != static_cast<std::uint8_t>(wire::DatagramType::DirectGroup)) {
        ++m_counts.ignored;
        return true;
    }
    const std::optional<wire::Datagram> datagram = arrival.truncated ? std::nullopt : wire::ReadDatagram(bytes);
    if (!datagram) {
        ++m_counts.malformed;
        return true;
    }
    const bool forUs = datagram->type == wire::DatagramType::DirectUnique ? wire::SameName(datagram->destination, m_name)
                                                                          : wire::SameName(datagram->destination, m_workgroup);
    if (!forUs) {
        ++m_counts.ignored;
        return true;
    }
    const std::optional<wire::MailslotWrite> write = wire::ReadMailslotWrite(datagram->userData);
    if (!write) {
        ++m_counts.malformed;
        return true;
    }
    if (!wire::SameMailslot(write->name, wire::kMessengerMailslot)) {
        ++m_counts.ignored;
        return true;
    }
    const std::optional<RecordFields> message = ReadRecord(reinterpret_cast<const char*>(write->data.data), write->data.size);
    if (!message) {
        ++m_counts.malformed;
        return true;
    }
    ++m_counts.messages;
    const Message taken = {std::string(message->sender), std::string(message->recipient), std::string(message->text),
                           arrival.from.ip,
                           std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count()};
    if (m_announce)
        m_announce(taken);
    return m_printer.Print(taken.sender, taken.recipient, taken.text, taken.from);
}

} // namespace pellamy
