#include "linux/Net.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace pellamy {

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

Fd::~Fd()
{
    if (m_fd >= 0)
        close(m_fd);
}

std::wstring HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    std::string host = name;
    host.resize(std::min(host.find('.'), host.size()));
    std::wstring wide(host.size(), L'\0');
    const std::size_t length = std::mbstowcs(wide.data(), host.c_str(), wide.size());
    wide.resize(length == static_cast<std::size_t>(-1) ? 0 : length);
    return wide;
}

std::string BindError(std::uint16_t port, int error)
{
    const std::string what = "cannot use UDP port " + std::to_string(port) + ": ";
    if (error == EACCES || error == EPERM)
        return what + "permission denied (ports below 1024 need root or CAP_NET_BIND_SERVICE)";
    if (error == EADDRINUSE)
        return what + "it is in use (by another NetBIOS service, such as Samba's nmbd, or another "
                      "pellamy-inbox)";
    return what + std::strerror(error);
}

int WaitReadable(std::vector<pollfd>& fds, int timeout)
{
    // A signal the program does not take (SIGCONT, say) cuts the wait short: no harm, the
    // caller's loop works out the time left.
    const int ready = poll(fds.data(), fds.size(), timeout);
    return ready < 0 && errno == EINTR ? 0 : ready;
}

Fd WatchInterfaces()
{
    Fd watch(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    sockaddr_nl address = {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_LINK;
    if (watch.Valid() && bind(watch.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Fd();
    return watch;
}

void TakeChanges(const Fd& watch)
{
    // Until nothing is left (EAGAIN), or the socket's buffer overran (ENOBUFS), which only says
    // that more changed; what is left after so many reads, the next wake-up takes.
    char buffer[8192];
    for (int k = 0; k < 64; ++k)
        if (recv(watch.Get(), buffer, sizeof buffer, 0) < 0)
            return;
}

} // namespace pellamy
