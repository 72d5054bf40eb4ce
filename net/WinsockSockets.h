#pragma once
// The seam over Winsock and IP Helper, every call through the network table (platform/
// NetworkApi.h). Windows holds UDP 137 and 138 while NetBIOS over TCP/IP runs: the sockets are
// bound to free ports, which needs no administrator.
#include "net/Sockets.h"

namespace net {

class WinsockSockets : public Sockets {
public:
    WinsockSockets();
    ~WinsockSockets() override;
    WinsockSockets(const WinsockSockets&) = delete;
    WinsockSockets& operator=(const WinsockSockets&) = delete;

    // Every adapter that is up (its link too) and not loopback, each IPv4 address with its subnet.
    std::vector<Interface> Interfaces() override;
    // The WINS servers of those adapters.
    std::vector<std::uint32_t> WinsServers() override;
    Socket Open(std::uint16_t port) override;
    void Close(Socket socket) override;
    // A subnet's broadcast address goes out of the interface of that subnet by the system's
    // routes, and a unicast by the route to it: via is not needed to choose.
    bool Send(Socket socket, wire::ByteView bytes, Endpoint to, const Interface* via = nullptr) override;
    // Arrival::local is not known here (0).
    std::optional<Arrival> Receive(Socket socket, std::vector<std::uint8_t>& buffer) override;
    bool WaitReadable(Socket socket, Milliseconds deadline) override;
    std::optional<std::uint32_t> SourceAddressFor(std::uint32_t destination) override;
    // getaddrinfo on a thread of its own, waited for until deadline: a resolver that does not
    // answer by then is left to finish alone.
    std::vector<std::uint32_t> LookUp(const std::string& name, Milliseconds deadline) override;
    // The performance counter: steady, and it does not wrap as GetTickCount does.
    Milliseconds Now() override;
    std::uint16_t RandomId() override;
    // The system's text for the last error, in UTF-8.
    std::string Error() override;

private:
    bool Failed(unsigned long error);
    bool SocketFailed();

    bool m_started = false;
    unsigned long m_error = 0;
    std::int64_t m_frequency = 0;
    std::uint32_t m_random = 0;
};

// The workgroup or domain this computer is in, as NetGetJoinInformation names it, upper-cased;
// WORKGROUP when it is in none or that cannot be read.
std::wstring Workgroup();

} // namespace net
