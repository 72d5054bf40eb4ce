#include "net/WinsockSockets.h"

#include "platform/KernelApi.h"
#include "platform/NetworkApi.h"
#include "platform/WideText.h"

#include <algorithm>
#include <cstddef>

namespace net {

namespace {

// Winsock's byte-order functions are imports of ws2_32.dll, which the programs load only when
// they send: the bytes are put in order here.
std::uint32_t HostOrder(const in_addr& address)
{
    const auto* b = reinterpret_cast<const std::uint8_t*>(&address);
    return std::uint32_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
}

sockaddr_in SocketAddress(Endpoint endpoint)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    auto* ip = reinterpret_cast<std::uint8_t*>(&address.sin_addr);
    for (int k = 0; k < 4; ++k)
        ip[k] = static_cast<std::uint8_t>(endpoint.ip >> (24 - 8 * k));
    auto* port = reinterpret_cast<std::uint8_t*>(&address.sin_port);
    port[0] = static_cast<std::uint8_t>(endpoint.port >> 8);
    port[1] = static_cast<std::uint8_t>(endpoint.port);
    return address;
}

Endpoint FromSocketAddress(const sockaddr_in& address)
{
    const auto* port = reinterpret_cast<const std::uint8_t*>(&address.sin_port);
    return {HostOrder(address.sin_addr), static_cast<std::uint16_t>(port[0] << 8 | port[1])};
}

const sockaddr_in* Ipv4(const SOCKET_ADDRESS& address)
{
    return address.lpSockaddr && address.lpSockaddr->sa_family == AF_INET &&
                   address.iSockaddrLength >= static_cast<int>(sizeof(sockaddr_in))
               ? reinterpret_cast<const sockaddr_in*>(address.lpSockaddr)
               : nullptr;
}

// The list of adapters with their IPv4 addresses, in buffer; null when there is none or it
// cannot be read (error set then).
const IP_ADAPTER_ADDRESSES_LH* Adapters(std::vector<ULONGLONG>& buffer, unsigned long& error)
{
    NetworkApi& api = Network();
    if (!api.GetAdaptersAddresses) {
        error = ERROR_PROC_NOT_FOUND;
        return nullptr;
    }
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                        GAA_FLAG_SKIP_FRIENDLY_NAME | GAA_FLAG_INCLUDE_WINS_INFO;
    ULONG size = 16384;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the call that tells its size and the next.
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size / sizeof(ULONGLONG) + 1);
        size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
        result = api.GetAdaptersAddresses(AF_INET, flags, nullptr,
                                          reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != ERROR_SUCCESS) {
        if (result != ERROR_NO_DATA)
            error = result;
        return nullptr;
    }
    return reinterpret_cast<const IP_ADAPTER_ADDRESSES_LH*>(buffer.data());
}

// Up, and not loopback.
bool Usable(const IP_ADAPTER_ADDRESSES_LH& adapter)
{
    return adapter.OperStatus == IfOperStatusUp && adapter.IfType != IF_TYPE_SOFTWARE_LOOPBACK;
}

// The state of one lookup, shared by the thread that waits and the thread that resolves; the
// last of the two to let it go frees it.
struct LookUpJob {
    volatile LONG holders = 2;
    std::string name;
    std::vector<std::uint32_t> found;
};

void LetGo(LookUpJob* job)
{
    if (InterlockedDecrement(&job->holders) == 0)
        delete job;
}

DWORD WINAPI Resolve(void* parameter)
{
    auto* job = static_cast<LookUpJob*>(parameter);
    NetworkApi& api = Network();
    WSADATA data;
    // Winsock started for this thread too: the waiter's may end before the answer comes.
    if (api.getaddrinfo && api.freeaddrinfo && api.WSAStartup(MAKEWORD(2, 2), &data) == 0) {
        addrinfo hints = {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* list = nullptr;
        if (api.getaddrinfo(job->name.c_str(), nullptr, &hints, &list) == 0) {
            for (const addrinfo* entry = list; entry; entry = entry->ai_next)
                if (entry->ai_family == AF_INET && entry->ai_addr && entry->ai_addrlen >= sizeof(sockaddr_in))
                    job->found.push_back(HostOrder(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr));
            api.freeaddrinfo(list);
        }
        api.WSACleanup();
    }
    LetGo(job);
    return 0;
}

} // namespace

WinsockSockets::WinsockSockets()
{
    LARGE_INTEGER frequency, counter;
    Kernel().QueryPerformanceFrequency(&frequency);
    Kernel().QueryPerformanceCounter(&counter);
    m_frequency = frequency.QuadPart;
    m_random = static_cast<std::uint32_t>(counter.QuadPart) ^ (Kernel().GetCurrentProcessId() << 16);

    NetworkApi& api = Network();
    WSADATA data;
    if (!api.WSAStartup)
        Failed(ERROR_PROC_NOT_FOUND);
    else if (const int error = api.WSAStartup(MAKEWORD(2, 2), &data))
        Failed(error);
    else
        m_started = true;
}

WinsockSockets::~WinsockSockets()
{
    if (m_started)
        Network().WSACleanup();
}

bool WinsockSockets::Failed(unsigned long error)
{
    m_error = error;
    return false;
}

bool WinsockSockets::SocketFailed() { return Failed(Network().WSAGetLastError()); }

std::vector<Interface> WinsockSockets::Interfaces()
{
    std::vector<Interface> interfaces;
    std::vector<ULONGLONG> buffer;
    for (auto* adapter = Adapters(buffer, m_error); adapter; adapter = adapter->Next) {
        if (!Usable(*adapter))
            continue;
        for (const IP_ADAPTER_UNICAST_ADDRESS_LH* unicast = adapter->FirstUnicastAddress; unicast;
             unicast = unicast->Next) {
            const sockaddr_in* ip = Ipv4(unicast->Address);
            // The prefix's length came with Windows Vista (the record's Length tells its version).
            if (!ip || unicast->Length < offsetof(IP_ADAPTER_UNICAST_ADDRESS_LH, OnLinkPrefixLength) + 1)
                continue;
            const unsigned prefix = unicast->OnLinkPrefixLength;
            const std::uint32_t address = HostOrder(ip->sin_addr);
            const std::uint32_t broadcast = address | (prefix >= 32 ? 0 : 0xFFFFFFFFu >> prefix);
            // A /32 has no subnet to broadcast to; a second address of an adapter in the same
            // subnet would only send everything twice.
            const auto same = [&](const Interface& known) {
                return known.index == adapter->IfIndex && known.broadcast == broadcast;
            };
            if (broadcast == address || std::any_of(interfaces.begin(), interfaces.end(), same))
                continue;
            interfaces.push_back({adapter->AdapterName ? adapter->AdapterName : "", adapter->IfIndex, address, broadcast});
        }
    }
    return interfaces;
}

std::vector<std::uint32_t> WinsockSockets::WinsServers()
{
    std::vector<std::uint32_t> servers;
    std::vector<ULONGLONG> buffer;
    for (auto* adapter = Adapters(buffer, m_error); adapter; adapter = adapter->Next) {
        // WINS servers are listed from Windows Vista on.
        if (!Usable(*adapter) ||
            adapter->Length < offsetof(IP_ADAPTER_ADDRESSES_LH, FirstWinsServerAddress) + sizeof(void*))
            continue;
        for (auto* server = adapter->FirstWinsServerAddress; server; server = server->Next) {
            const sockaddr_in* ip = Ipv4(server->Address);
            if (ip && std::find(servers.begin(), servers.end(), HostOrder(ip->sin_addr)) == servers.end())
                servers.push_back(HostOrder(ip->sin_addr));
        }
    }
    return servers;
}

Sockets::Socket WinsockSockets::Open(std::uint16_t port)
{
    if (!m_started)
        return kNoSocket;
    NetworkApi& api = Network();
    const SOCKET socket = api.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == INVALID_SOCKET) {
        SocketFailed();
        return kNoSocket;
    }
    const BOOL on = TRUE;
    u_long nonBlocking = 1;
    const sockaddr_in address = SocketAddress({0, port});
    if (api.setsockopt(socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
        api.ioctlsocket(socket, FIONBIO, &nonBlocking) != 0 ||
        api.bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        SocketFailed();
        api.closesocket(socket);
        return kNoSocket;
    }
    return static_cast<Socket>(socket);
}

void WinsockSockets::Close(Socket socket) { Network().closesocket(static_cast<SOCKET>(socket)); }

bool WinsockSockets::Send(Socket socket, wire::ByteView bytes, Endpoint to, const Interface*)
{
    const sockaddr_in address = SocketAddress(to);
    const int size = static_cast<int>(bytes.size);
    return Network().sendto(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(bytes.data), size, 0,
                            reinterpret_cast<const sockaddr*>(&address), sizeof address) == size ||
           SocketFailed();
}

std::optional<Arrival> WinsockSockets::Receive(Socket socket, std::vector<std::uint8_t>& buffer)
{
    NetworkApi& api = Network();
    sockaddr_in address = {};
    int length = sizeof address;
    const int size = api.recvfrom(static_cast<SOCKET>(socket), reinterpret_cast<char*>(buffer.data()),
                                  static_cast<int>(buffer.size()), 0, reinterpret_cast<sockaddr*>(&address), &length);
    Arrival arrival;
    if (size == SOCKET_ERROR) {
        // A datagram longer than the buffer fills it, and the rest is lost.
        const int error = api.WSAGetLastError();
        if (error != WSAEMSGSIZE) {
            Failed(error);
            return std::nullopt;
        }
        arrival.truncated = true;
    }
    arrival.from = FromSocketAddress(address);
    arrival.bytes = {buffer.data(), arrival.truncated ? buffer.size() : static_cast<std::size_t>(size)};
    return arrival;
}

bool WinsockSockets::WaitReadable(Socket socket, Milliseconds deadline)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(socket), &readable);
    const Milliseconds left = std::max<Milliseconds>(deadline - Now(), 0);
    timeval timeout = {static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
    const int ready = Network().select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR)
        SocketFailed();
    return ready > 0;
}

std::optional<std::uint32_t> WinsockSockets::SourceAddressFor(std::uint32_t destination)
{
    if (!m_started)
        return std::nullopt;
    NetworkApi& api = Network();
    // Connecting a datagram socket sends nothing; it only picks the route.
    const SOCKET socket = api.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address = SocketAddress({destination, wire::kDatagramPort});
    int length = sizeof address;
    const bool routed = socket != INVALID_SOCKET &&
                        api.connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                        api.getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (!routed)
        SocketFailed();
    if (socket != INVALID_SOCKET)
        api.closesocket(socket);
    if (!routed)
        return std::nullopt;
    return HostOrder(address.sin_addr);
}

std::vector<std::uint32_t> WinsockSockets::LookUp(const std::string& name, Milliseconds deadline)
{
    std::vector<std::uint32_t> found;
    auto* job = new LookUpJob;
    job->name = name;
    const HANDLE resolver = Kernel().CreateThread(nullptr, 0, Resolve, job, 0, nullptr);
    if (!resolver) {
        Failed(Kernel().GetLastError());
        delete job;
        return found;
    }
    const Milliseconds left = std::clamp<Milliseconds>(deadline - Now(), 0, INFINITE - 1);
    if (Kernel().WaitForSingleObject(resolver, static_cast<DWORD>(left)) == WAIT_OBJECT_0)
        found.swap(job->found);
    Kernel().CloseHandle(resolver);
    LetGo(job);
    return found;
}

Milliseconds WinsockSockets::Now()
{
    LARGE_INTEGER counter;
    Kernel().QueryPerformanceCounter(&counter);
    const std::int64_t ticks = counter.QuadPart;
    return ticks / m_frequency * 1000 + ticks % m_frequency * 1000 / m_frequency;
}

std::uint16_t WinsockSockets::RandomId()
{
    // Identifiers only need to differ from other queries': a linear congruential sequence from
    // the counter and the process.
    m_random = m_random * 1664525u + 1013904223u;
    return static_cast<std::uint16_t>(m_random >> 16);
}

std::string WinsockSockets::Error() { return SystemMessage(m_error); }

std::wstring Workgroup()
{
    NetworkApi& api = Network();
    std::wstring workgroup = L"WORKGROUP";
    LPWSTR name = nullptr;
    NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
    if (api.NetGetJoinInformation && api.NetGetJoinInformation(nullptr, &name, &status) == NERR_Success) {
        if ((status == NetSetupWorkgroupName || status == NetSetupDomainName) && name && *name)
            workgroup = name;
        api.NetApiBufferFree(name);
    }
    return Upper(workgroup);
}

} // namespace net
