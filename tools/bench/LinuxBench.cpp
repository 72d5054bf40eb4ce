// The bare receiver tools/bench/wire.sh measures pellamy-inbox against, and the load it
// measures it under:
//   linux_bench receive PORT SECONDS
//       a bare recvfrom loop on PORT, until SIGTERM or SECONDS; prints "received N"
//   linux_bench blast IP PORT NAME COUNT valid|mixed [BURST]
//       COUNT datagrams to NAME at IP:PORT, back to back or with a pause of 1 ms after each BURST
#include "wire/NetBios.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kRecordSize = 420; // the Messenger record

volatile std::sig_atomic_t g_stop = 0;

void OnStop(int) { g_stop = 1; }

sockaddr_in Address(const char* ip, const char* port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port)));
    inet_pton(AF_INET, ip, &address.sin_addr);
    return address;
}

int Receive(const char* port, const char* seconds)
{
    struct sigaction stop {};
    stop.sa_handler = OnStop; // no SA_RESTART: a signal ends the waiting recvfrom
    sigaction(SIGTERM, &stop, nullptr);
    alarm(static_cast<unsigned>(std::atoi(seconds)));
    sigaction(SIGALRM, &stop, nullptr);

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = Address("0.0.0.0", port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("linux_bench: bind");
        return 1;
    }
    std::fprintf(stderr, "linux_bench: receiving\n");
    unsigned long received = 0;
    char buffer[2048];
    while (!g_stop) {
        sockaddr_in from;
        socklen_t length = sizeof from;
        if (recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) >= 0)
            ++received;
    }
    std::printf("received %lu\n", received);
    return 0;
}

// A Messenger datagram to name, and the ways a hostile or stray one differs from it.
std::vector<wire::Bytes> Datagrams(const std::string& name, bool mixed)
{
    const auto record = [](const std::string& text) {
        std::string bytes = std::string("BENCH") + '\0' + "INBOX" + '\0' + text;
        bytes.resize(kRecordSize, '\0');
        return wire::Bytes(bytes.begin(), bytes.end());
    };
    const auto datagram = [&](const std::string& destination, std::string_view mailslot, const wire::Bytes& data) {
        wire::Datagram header;
        header.id = 1;
        header.sourceIp = 0x0A8A0102;
        header.source = *wire::MakeName("BENCH");
        header.destination = *wire::MakeName(destination);
        const wire::Bytes write = wire::BuildMailslotWrite(mailslot, wire::View(data));
        header.userData = wire::View(write);
        return wire::BuildDatagram(header);
    };
    const wire::Bytes valid = datagram(name, wire::kMessengerMailslot, record("Lunch at noon in the caf\x82?"));
    if (!mixed)
        return {valid};

    std::vector<wire::Bytes> all = {valid,
                                    datagram(name, wire::kMessengerMailslot, record("Look\x1b[2J\x1b]0;owned\x07 here")),
                                    datagram(name, "\\MAILSLOT\\BROWSE", record("browse")),
                                    datagram("SOMEONE", wire::kMessengerMailslot, record("not ours")),
                                    datagram(name, wire::kMessengerMailslot, wire::Bytes(kRecordSize, 'A'))};
    wire::Bytes offset = valid; // DataOffset past the end
    offset[82 + 57] = 0xFF;
    offset[82 + 58] = 0x01;
    wire::Bytes fragment = valid; // more to come
    fragment[1] |= wire::kMoreFragments;
    wire::Bytes length = valid; // DGM_LENGTH one too many
    ++length[11];
    wire::Bytes truncated(valid.begin(), valid.begin() + 100);
    all.insert(all.end(), {offset, fragment, length, truncated});
    std::srand(1); // the same noise every run
    for (int k = 0; k < 3; ++k) {
        wire::Bytes noise(static_cast<std::size_t>(1 + std::rand() % 600));
        for (std::uint8_t& byte : noise)
            byte = static_cast<std::uint8_t>(std::rand());
        all.push_back(noise);
    }
    return all;
}

int Blast(char** argv, int argc)
{
    const sockaddr_in to = Address(argv[2], argv[3]);
    const long count = std::atol(argv[5]);
    const long burst = argc > 7 ? std::atol(argv[7]) : 0;
    const std::vector<wire::Bytes> datagrams = Datagrams(argv[4], std::strcmp(argv[6], "mixed") == 0);
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return 1;
    for (long k = 0; k < count; ++k) {
        const wire::Bytes& bytes = datagrams[static_cast<std::size_t>(k) % datagrams.size()];
        sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (burst > 0 && (k + 1) % burst == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "receive" && argc == 4)
        return Receive(argv[2], argv[3]);
    if (mode == "blast" && (argc == 7 || argc == 8))
        return Blast(argv, argc);
    std::fprintf(stderr, "usage: linux_bench receive|blast ... (see the source)\n");
    return 1;
}
