#include "linux/Net.h"

#include <unistd.h>

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
    const std::string host = std::string(name).substr(0, std::string(name).find('.'));
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

int WaitReadable(std::vector<pollfd>& fds)
{
    for (;;) {
        const int ready = poll(fds.data(), fds.size(), -1);
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
}

} // namespace pellamy
