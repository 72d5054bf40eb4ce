#include "net/PosixSockets.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>

namespace net {

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

timespec Timespec(Milliseconds milliseconds)
{
    return {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000000)};
}

} // namespace

bool PosixSockets::Failed()
{
    m_error = errno;
    return false;
}

std::string PosixSockets::Error() { return std::strerror(m_error); }

std::vector<Interface> PosixSockets::Interfaces()
{
    std::vector<Interface> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        Failed();
        return interfaces;
    }
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_netmask ||
            !(flags & IFF_UP) || !(flags & IFF_RUNNING) || !(flags & IFF_BROADCAST) || (flags & IFF_LOOPBACK))
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

Sockets::Socket PosixSockets::Open(std::uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        Failed();
        return kNoSocket;
    }
    const int on = 1;
    const sockaddr_in address = SocketAddress({INADDR_ANY, port});
    if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Failed();
        close(fd);
        return kNoSocket;
    }
    return fd;
}

void PosixSockets::Close(Socket socket) { close(static_cast<int>(socket)); }

bool PosixSockets::Send(Socket socket, wire::ByteView bytes, Endpoint to, const Interface* via)
{
    sockaddr_in address = SocketAddress(to);
    iovec data = {const_cast<std::uint8_t*>(bytes.data), bytes.size};
    msghdr message = {};
    message.msg_name = &address;
    message.msg_namelen = sizeof address;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (via) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info = {};
        info.ipi_ifindex = static_cast<int>(via->index);
        info.ipi_spec_dst.s_addr = htonl(via->address);
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    return sendmsg(static_cast<int>(socket), &message, 0) == static_cast<ssize_t>(bytes.size) || Failed();
}

std::optional<Arrival> PosixSockets::Receive(Socket socket, std::vector<std::uint8_t>& buffer)
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
    const ssize_t size = recvmsg(static_cast<int>(socket), &message, MSG_DONTWAIT | MSG_TRUNC);
    if (size < 0) {
        Failed();
        return std::nullopt;
    }
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

bool PosixSockets::WaitReadable(Socket socket, Milliseconds deadline)
{
    pollfd fd = {static_cast<int>(socket), POLLIN, 0};
    for (;;) {
        const Milliseconds left = deadline - Now();
        const int ready = poll(&fd, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return ready < 0 ? Failed() : false;
    }
}

std::optional<std::uint32_t> PosixSockets::SourceAddressFor(std::uint32_t destination)
{
    // Connecting a datagram socket sends nothing; it only picks the route.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = SocketAddress({destination, wire::kDatagramPort});
    socklen_t length = sizeof address;
    const bool routed = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (!routed)
        Failed();
    if (fd >= 0)
        close(fd);
    if (!routed)
        return std::nullopt;
    return ntohl(address.sin_addr.s_addr);
}

std::vector<std::uint32_t> PosixSockets::LookUp(const std::string& name, Milliseconds deadline)
{
    // Asynchronously, so that a resolver that does not answer holds nobody up past the
    // deadline. A request that cannot be cancelled then keeps its memory: it writes to it
    // when it ends, and this program ends soon.
    struct Request {
        std::string name;
        addrinfo hints = {};
        gaicb request = {};
    };
    auto request = std::make_unique<Request>();
    request->name = name;
    request->hints.ai_family = AF_INET;
    request->hints.ai_socktype = SOCK_DGRAM;
    request->request.ar_name = request->name.c_str();
    request->request.ar_request = &request->hints;
    gaicb* list[] = {&request->request};
    std::vector<std::uint32_t> found;
    if (getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0)
        return found;
    while (gai_error(list[0]) == EAI_INPROGRESS) {
        const Milliseconds left = deadline - Now();
        if (left <= 0 && gai_cancel(list[0]) == EAI_NOTCANCELED) {
            request.release();
            return found;
        }
        const timespec timeout = Timespec(left > 0 ? left : 0);
        gai_suspend(list, 1, &timeout); // ends at the answer, the deadline or a signal
    }
    if (gai_error(list[0]) == 0) {
        for (const addrinfo* entry = list[0]->ar_result; entry; entry = entry->ai_next)
            if (entry->ai_family == AF_INET)
                found.push_back(HostOrder(entry->ai_addr));
        freeaddrinfo(list[0]->ar_result);
    }
    return found;
}

Milliseconds PosixSockets::Now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::uint16_t PosixSockets::RandomId()
{
    std::uint16_t id = 0;
    if (getrandom(&id, sizeof id, GRND_NONBLOCK) != sizeof id)
        id = static_cast<std::uint16_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^ getpid());
    return id;
}

} // namespace net
