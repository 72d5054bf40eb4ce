#pragma once
// The socket operations the NetBIOS programs make, as a seam with two implementations: POSIX
// sockets (PosixSockets) and Winsock (WinsockSockets); tests give their own. Addresses are
// IPv4 in host order, as wire/ has them.
#include "wire/NetBios.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace net {

// An interface NetBIOS can broadcast on: up and running (a cable or radio link), IPv4, not
// loopback, with its subnet's broadcast address.
struct Interface {
    std::string name;
    unsigned index = 0;
    std::uint32_t address = 0;
    std::uint32_t broadcast = 0;
};

struct Endpoint {
    std::uint32_t ip = 0;
    std::uint16_t port = 0;
};

struct Arrival {
    Endpoint from;
    std::uint32_t local = 0; // this host's address on the interface it came in on, where known
    wire::ByteView bytes;    // in the buffer given
    bool truncated = false;  // longer than the buffer
};

// A point on a steady clock, in milliseconds.
using Milliseconds = std::int64_t;

class Sockets {
public:
    using Socket = std::intptr_t;
    static constexpr Socket kNoSocket = -1;

    virtual ~Sockets() = default;

    // The interfaces to broadcast on; empty when there is none or they cannot be read.
    virtual std::vector<Interface> Interfaces() = 0;
    // The WINS servers this computer is configured with, to ask before broadcasting.
    virtual std::vector<std::uint32_t> WinsServers() = 0;

    // A UDP socket that may broadcast, bound to port on every address (0: a free port);
    // kNoSocket when it cannot be made or bound.
    virtual Socket Open(std::uint16_t port) = 0;
    virtual void Close(Socket socket) = 0;
    // Sends bytes to `to`; with via, from that interface's address and out of it. False when
    // the system refuses.
    virtual bool Send(Socket socket, wire::ByteView bytes, Endpoint to, const Interface* via = nullptr) = 0;
    // One datagram without waiting, into buffer; nullopt when none is there (or the read failed).
    virtual std::optional<Arrival> Receive(Socket socket, std::vector<std::uint8_t>& buffer) = 0;
    // Waits until socket can be read or deadline passes; false at the deadline (or when the
    // wait fails).
    virtual bool WaitReadable(Socket socket, Milliseconds deadline) = 0;
    // The address this host sends from to reach destination; nullopt without a route.
    virtual std::optional<std::uint32_t> SourceAddressFor(std::uint32_t destination) = 0;
    // The IPv4 addresses the system's resolver (DNS, hosts file) gives name, waiting until
    // deadline at most; empty when it has none by then.
    virtual std::vector<std::uint32_t> LookUp(const std::string& name, Milliseconds deadline) = 0;

    virtual Milliseconds Now() = 0;
    // A random number, for transaction and datagram identifiers.
    virtual std::uint16_t RandomId() = 0;
    // What the system said of the last call that failed.
    virtual std::string Error() = 0;
};

// A socket of the seam, closed when it goes: bound to the first of the ports that can be bound.
class OpenSocket {
public:
    OpenSocket(Sockets& sockets, std::initializer_list<std::uint16_t> ports) : m_sockets(sockets)
    {
        for (const std::uint16_t port : ports)
            if ((m_socket = sockets.Open(port)) != Sockets::kNoSocket)
                break;
    }
    OpenSocket(const OpenSocket&) = delete;
    OpenSocket& operator=(const OpenSocket&) = delete;
    ~OpenSocket()
    {
        if (Valid())
            m_sockets.Close(m_socket);
    }

    Sockets::Socket Get() const { return m_socket; }
    bool Valid() const { return m_socket != Sockets::kNoSocket; }

private:
    Sockets& m_sockets;
    Sockets::Socket m_socket = Sockets::kNoSocket;
};

std::string FormatIp(std::uint32_t ip);
// A dotted quad only: "10.0.0.7", not "10.7" or "010.0.0.7".
std::optional<std::uint32_t> ParseIp(std::string_view text);
// Whether ip can stand for one computer elsewhere: not 0.0.0.0/8, loopback, multicast or above.
bool Unicast(std::uint32_t ip);

} // namespace net
