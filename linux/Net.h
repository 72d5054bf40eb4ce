#pragma once
// What the Linux programs need of the system beside the socket seam (net/PosixSockets.h).
#include <poll.h>

#include <cstdint>
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

// The host's name up to its first dot, as gethostname gives it, in the locale's characters;
// empty if that fails.
std::wstring HostName();

// Why port could not be bound, for the user: the port, and the likely cause.
std::string BindError(std::uint16_t port, int error);

// Waits until one of fds can be read, or timeout milliseconds (-1: no limit) have passed; the
// number of fds ready, 0 at the timeout, -1 with errno set if poll fails.
int WaitReadable(std::vector<pollfd>& fds, int timeout = -1);

// A netlink socket that becomes readable when an IPv4 address or a link changes (the kernel
// announces it: nothing is polled); invalid, errno set, if it cannot be made.
Fd WatchInterfaces();
// Reads what the socket holds: that something changed is all that counts.
void TakeChanges(const Fd& watch);

} // namespace pellamy
