#include "linux/Net.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace pellamy {

namespace {

sockaddr_in SocketAddress(Endpoint endpoint)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.ip);
    address.sin_port = htons(endpoint.port);
    return address;
}

std::uint32_t HostOrder(const sockaddr* address)
{
    return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

} // namespace

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

std::vector<Interface> BroadcastInterfaces()
{
    std::vector<Interface> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return interfaces;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_netmask ||
            !(flags & IFF_UP) || !(flags & IFF_BROADCAST) || (flags & IFF_LOOPBACK))
            continue;
        const std::uint32_t address = HostOrder(entry->ifa_addr), mask = HostOrder(entry->ifa_netmask);
        // An address added without a broadcast address reports its own: the subnet's is meant.
        std::uint32_t broadcast = entry->ifa_broadaddr ? HostOrder(entry->ifa_broadaddr) : address;
        if (broadcast == address)
            broadcast = address | ~mask;
        // A /32 has no subnet to broadcast to; a second address of an interface in the same
        // subnet would only send everything twice.
        const unsigned index = if_nametoindex(entry->ifa_name);
        const auto same = [&](const Interface& known) { return known.index == index && known.broadcast == broadcast; };
        if (broadcast == address || std::any_of(interfaces.begin(), interfaces.end(), same))
            continue;
        interfaces.push_back({entry->ifa_name, index, address, broadcast});
    }
    freeifaddrs(list);
    return interfaces;
}

std::string FormatIp(std::uint32_t ip)
{
    const in_addr address = {htonl(ip)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::optional<std::uint32_t> ParseIp(const std::string& text)
{
    in_addr address = {};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

bool Unicast(std::uint32_t ip)
{
    const std::uint32_t first = ip >> 24;
    return first != 0 && first != 127 && first < 224;
}

std::string HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    const std::string host = name;
    return host.substr(0, host.find('.'));
}

Fd OpenUdp(std::uint16_t port)
{
    Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid())
        return fd;
    const int on = 1;
    const sockaddr_in address = SocketAddress({INADDR_ANY, port});
    if (setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        fd = Fd();
        errno = error;
    }
    return fd;
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

bool Send(int fd, const wire::Bytes& bytes, Endpoint to, const Interface* source)
{
    sockaddr_in address = SocketAddress(to);
    iovec data = {const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    msghdr message = {};
    message.msg_name = &address;
    message.msg_namelen = sizeof address;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (source) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info = {};
        info.ipi_ifindex = static_cast<int>(source->index);
        info.ipi_spec_dst.s_addr = htonl(source->address);
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    return sendmsg(fd, &message, 0) == static_cast<ssize_t>(bytes.size());
}

std::optional<std::uint32_t> SourceAddressFor(std::uint32_t destination)
{
    // Connecting a datagram socket sends nothing; it only picks the route.
    const Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = SocketAddress({destination, wire::kDatagramPort});
    socklen_t length = sizeof address;
    if (!fd.Valid() || connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return std::nullopt;
    return ntohl(address.sin_addr.s_addr);
}

std::optional<Arrival> Receive(int fd, std::vector<std::uint8_t>& buffer)
{
    sockaddr_in address = {};
    iovec data = {buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message = {};
    message.msg_name = &address;
    message.msg_namelen = sizeof address;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // With MSG_TRUNC the size is the datagram's, even when the buffer took less of it.
    const ssize_t size = recvmsg(fd, &message, MSG_DONTWAIT | MSG_TRUNC);
    if (size < 0)
        return std::nullopt;
    Arrival arrival;
    arrival.from = {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
    arrival.truncated = static_cast<std::size_t>(size) > buffer.size();
    arrival.bytes = {buffer.data(), arrival.truncated ? buffer.size() : static_cast<std::size_t>(size)};
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(header), sizeof info);
            arrival.local = ntohl(info.ipi_spec_dst.s_addr);
        }
    }
    return arrival;
}

int WaitReadable(std::vector<pollfd>& fds, std::optional<Clock::time_point> deadline)
{
    for (;;) {
        int timeout = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
}

std::uint16_t RandomId()
{
    std::uint16_t id = 0;
    if (getrandom(&id, sizeof id, GRND_NONBLOCK) != sizeof id)
        id = static_cast<std::uint16_t>(Clock::now().time_since_epoch().count() ^ getpid());
    return id;
}

} // namespace pellamy
