#pragma once
// A socket seam of the test's own, with a clock that moves only when the code waits or the test
// moves it. Every send is a line of the trace: when, what, where to. Replies to a request, and
// datagrams the test makes arrive, are read when their time has come, on the socket of their port.
#include "net/Sockets.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>

namespace fake {

using net::Endpoint;
using net::Milliseconds;

constexpr std::uint32_t Ip(int a, int b, int c, int d) { return std::uint32_t(a) << 24 | b << 16 | c << 8 | d; }
const std::uint32_t kHere = Ip(10, 0, 0, 5);
inline wire::Name N(std::string_view text, std::uint8_t suffix = 0) { return *wire::MakeName(text, suffix); }

class Sockets : public net::Sockets {
public:
    struct Reply {
        Milliseconds after;
        std::uint32_t from;
        wire::Bytes bytes;
    };
    // The replies a request that went to an address gets.
    std::function<std::vector<Reply>(const wire::NameServicePacket&, std::uint32_t to)> answer;
    std::vector<net::Interface> interfaces = {{"eth0", 2, kHere, Ip(10, 0, 0, 255)}};
    std::vector<std::uint32_t> wins;
    std::vector<std::uint32_t> refusing; // destinations whose sends fail
    std::map<std::string, std::pair<Milliseconds, std::vector<std::uint32_t>>> dns;
    std::string trace;

    // A datagram to port at a time, from an endpoint to this host's address local.
    void Arrive(Milliseconds at, std::uint16_t port, Endpoint from, std::uint32_t local, wire::Bytes bytes)
    {
        m_queue.push_back({at, port, from, local, std::move(bytes)});
    }

    std::vector<net::Interface> Interfaces() override { return interfaces; }
    std::vector<std::uint32_t> WinsServers() override { return wins; }
    Socket Open(std::uint16_t port) override
    {
        m_ports.push_back(port);
        return static_cast<Socket>(m_ports.size() - 1);
    }
    void Close(Socket) override {}
    bool Send(Socket socket, wire::ByteView bytes, Endpoint to, const net::Interface* via) override
    {
        const bool refused = std::find(refusing.begin(), refusing.end(), to.ip) != refusing.end();
        trace += std::to_string(m_now) + " " + Describe(bytes) + " to " + net::FormatIp(to.ip) + ":" +
                 std::to_string(to.port) + (via ? " via " + (via->name.empty() ? net::FormatIp(via->address) : via->name) : "") +
                 " from port " + std::to_string(m_ports[socket]) + (refused ? " refused" : "") + "\n";
        if (refused)
            return false;
        const std::optional<wire::NameServicePacket> request = wire::ReadNameService(bytes);
        if (request && answer)
            for (Reply& reply : answer(*request, to.ip))
                Arrive(m_now + reply.after, m_ports[socket], {reply.from, 137}, via ? via->address : kHere,
                       std::move(reply.bytes));
        return true;
    }
    std::optional<net::Arrival> Receive(Socket socket, std::vector<std::uint8_t>& buffer) override
    {
        const auto due = std::find_if(m_queue.begin(), m_queue.end(),
                                      [&](const Queued& q) { return q.at <= m_now && q.port == m_ports[socket]; });
        if (due == m_queue.end())
            return std::nullopt;
        std::copy(due->bytes.begin(), due->bytes.end(), buffer.begin());
        net::Arrival arrival{due->from, due->local, {buffer.data(), due->bytes.size()}, false};
        m_queue.erase(due);
        return arrival;
    }
    bool WaitReadable(Socket, Milliseconds deadline) override
    {
        Milliseconds first = deadline + 1;
        for (const Queued& q : m_queue)
            first = std::min(first, q.at);
        m_now = std::max(m_now, std::min(first, deadline));
        return first <= deadline;
    }
    std::optional<std::uint32_t> SourceAddressFor(std::uint32_t) override { return kHere; }
    std::vector<std::uint32_t> LookUp(const std::string& name, Milliseconds deadline) override
    {
        trace += std::to_string(m_now) + " lookup " + name + "\n";
        const auto found = dns.find(name);
        const Milliseconds answered = m_now + (found == dns.end() ? 0 : found->second.first);
        m_now = std::min(answered, std::max(deadline, m_now));
        return found != dns.end() && answered <= deadline ? found->second.second : std::vector<std::uint32_t>{};
    }
    Milliseconds Now() override { return m_now; }
    std::uint16_t RandomId() override { return 0x4242; }
    std::string Error() override { return "Network is unreachable"; }

private:
    struct Queued {
        Milliseconds at;
        std::uint16_t port;
        Endpoint from;
        std::uint32_t local;
        wire::Bytes bytes;
    };
    static std::string Describe(wire::ByteView bytes)
    {
        if (const std::optional<wire::Datagram> datagram = wire::ReadDatagram(bytes)) {
            const std::optional<wire::MailslotWrite> write = wire::ReadMailslotWrite(datagram->userData);
            return std::string(datagram->type == wire::DatagramType::DirectUnique ? "unique " : "group ") +
                   wire::NameText(datagram->destination) + " from " + wire::NameText(datagram->source) + " at " +
                   net::FormatIp(datagram->sourceIp) + ":" + std::to_string(datagram->sourcePort) + " " +
                   std::string(write->name) + " " + std::string(write->data.data, write->data.data + write->data.size);
        }
        const wire::NameServicePacket packet = *wire::ReadNameService(bytes);
        const char* kinds[][2] = {{"query ", "answer "}, {}, {}, {}, {}, {"registration ", "defence "}, {"release ", ""}};
        std::string text = packet.type == wire::RecordType::NBSTAT ? (packet.response ? "status answer " : "status ")
                                                                     : kinds[static_cast<int>(packet.opcode)][packet.response];
        const int suffix = packet.name.bytes[15];
        text += wire::NameText(packet.name) + (suffix ? "<0" + std::to_string(suffix) + ">" : "");
        for (const wire::NameAddress& address : packet.addresses)
            text += " at " + net::FormatIp(address.ip) + ((address.flags & wire::kGroupName) ? " group" : "");
        return text + ((packet.nmFlags & wire::kBroadcast) ? " broadcast" : "");
    }

    Milliseconds m_now = 0;
    std::vector<std::uint16_t> m_ports;
    std::deque<Queued> m_queue;
};

} // namespace fake
