#pragma once
// The seam over POSIX sockets and Linux's calls: IP_PKTINFO tells where a datagram came in
// and picks the interface a broadcast goes out of; glibc's getaddrinfo_a bounds a lookup.
#include "net/Sockets.h"

namespace net {

class PosixSockets : public Sockets {
public:
    std::vector<Interface> Interfaces() override;
    // No system-wide WINS setting on Linux: the user names a server.
    std::vector<std::uint32_t> WinsServers() override { return {}; }
    // The socket is a file descriptor.
    Socket Open(std::uint16_t port) override;
    void Close(Socket socket) override;
    bool Send(Socket socket, wire::ByteView bytes, Endpoint to, const Interface* via = nullptr) override;
    std::optional<Arrival> Receive(Socket socket, std::vector<std::uint8_t>& buffer) override;
    bool WaitReadable(Socket socket, Milliseconds deadline) override;
    std::optional<std::uint32_t> SourceAddressFor(std::uint32_t destination) override;
    std::vector<std::uint32_t> LookUp(const std::string& name, Milliseconds deadline) override;
    Milliseconds Now() override;
    std::uint16_t RandomId() override;
    std::string Error() override;

    // The errno of the last call that failed.
    int LastError() const { return m_error; }

private:
    bool Failed();

    int m_error = 0;
};

} // namespace net
