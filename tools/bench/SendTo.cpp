// The bare sender tools/bench/wire.sh measures pellamy-send and pellamy-send.exe against: one
// datagram of the bytes given, by sendto from a free port, and nothing else. The same source
// over POSIX sockets and over Winsock.
//
//   sendto IP PORT HEX
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <sys/socket.h>
#endif

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    std::string bytes;
    for (const char* at = argv[3]; at[0] && at[1]; at += 2)
        bytes += static_cast<char>(std::strtoul(std::string(at, 2).c_str(), nullptr, 16));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[2])));
    to.sin_addr.s_addr = inet_addr(argv[1]);
    const auto fd = socket(AF_INET, SOCK_DGRAM, 0);
    return sendto(fd, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0;
}
