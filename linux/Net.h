#pragma once
// The few socket operations both programs make, over POSIX and Linux calls. Addresses are IPv4
// in host order, as wire/ has them.
#include "wire/NetBios.h"

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pellamy {

// A file descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// An interface NetBIOS can broadcast on: up, IPv4, with a broadcast address, not loopback.
struct Interface {
    std::string name;
    unsigned index = 0;
    std::uint32_t address = 0;
    std::uint32_t broadcast = 0;
};
// Empty, with errno set, when getifaddrs fails; empty as well when there is none.
std::vector<Interface> BroadcastInterfaces();

struct Endpoint {
    std::uint32_t ip = 0;
    std::uint16_t port = 0;
};

std::string FormatIp(std::uint32_t ip);
// Dotted quad only: "10.0.0.7", not "10.7".
std::optional<std::uint32_t> ParseIp(const std::string& text);
// Whether ip can stand for one computer elsewhere: not 0.0.0.0/8, loopback, multicast or
// above.
bool Unicast(std::uint32_t ip);

// The host's name up to its first dot, as gethostname gives it; empty if that fails.
std::string HostName();

// A UDP socket that may broadcast and tells on which interface and to which address each
// datagram arrived, bound to port on every address (0: a free port). Invalid, errno set, if
// it cannot be made or bound.
Fd OpenUdp(std::uint16_t port);

// Why port could not be bound, for the user: the port, and the likely cause.
std::string BindError(std::uint16_t port, int error);

// Sends bytes to to. With source set, from that address on the interface of that index (a
// broadcast goes out of the interface it is meant for). False, errno set, when the system
// refuses.
bool Send(int fd, const wire::Bytes& bytes, Endpoint to, const Interface* source = nullptr);

// The address this host sends from to reach destination; nullopt without a route.
std::optional<std::uint32_t> SourceAddressFor(std::uint32_t destination);

struct Arrival {
    Endpoint from;
    std::uint32_t local = 0; // this host's address on the interface it came in on
    wire::ByteView bytes;    // in the buffer given
    bool truncated = false;  // longer than the buffer
};
// Reads one datagram without waiting; nullopt when none is there (or the read failed).
std::optional<Arrival> Receive(int fd, std::vector<std::uint8_t>& buffer);

using Clock = std::chrono::steady_clock;

// Waits until one of fds can be read or deadline passes (without one, as long as it takes);
// the number of fds ready, 0 at the deadline, -1 with errno set if poll fails.
int WaitReadable(std::vector<pollfd>& fds, std::optional<Clock::time_point> deadline);

// A random number, for transaction and datagram identifiers.
std::uint16_t RandomId();

} // namespace pellamy
