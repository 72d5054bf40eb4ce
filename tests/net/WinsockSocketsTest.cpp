// The seam over Winsock where Windows answers: the adapters it lists, and a resolver that answers
// late or never.
#include "net/WinsockSockets.h"

#include "tests/net/FakeNetwork.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint32_t Ip(int a, int b, int c, int d) { return std::uint32_t(a) << 24 | b << 16 | c << 8 | d; }

TEST(WinsockSockets, TakesEachUpAdaptersSubnetsAndWinsServers)
{
    g_adapters = {
        // A second address in a subnet only sends twice; a /32 has no subnet to broadcast to.
        {{{Ip(10, 0, 0, 5), 24}, {Ip(10, 2, 0, 5), 32}, {Ip(10, 0, 0, 6), 24}, {Ip(192, 168, 7, 9), 16}},
         {Ip(10, 9, 0, 1), Ip(10, 9, 0, 2)}},
        {{{Ip(10, 1, 0, 5), 24}}, {Ip(10, 9, 0, 3)}, IfOperStatusDown},
        {{{Ip(127, 0, 0, 1), 8}}, {Ip(10, 9, 0, 4)}, IfOperStatusUp, IF_TYPE_SOFTWARE_LOOPBACK},
        // Another adapter in the same subnet is another way there.
        {{{Ip(10, 0, 0, 8), 24}}, {Ip(10, 9, 0, 2), Ip(10, 9, 0, 5)}},
    };
    const ScopedOverride<decltype(NetworkApi::GetAdaptersAddresses)> list(Network().GetAdaptersAddresses, ListAdapters);
    // The list may grow between the call that tells its size and the next.
    for (const ULONG leastSize : {0ul, 40000ul}) {
        g_leastSize = leastSize;
        net::WinsockSockets sockets;
        std::string taken;
        for (const net::Interface& each : sockets.Interfaces())
            taken += each.name + " " + std::to_string(each.index) + " " + net::FormatIp(each.address) + " " +
                     net::FormatIp(each.broadcast) + "\n";
        EXPECT_EQ("eth0 1 10.0.0.5 10.0.0.255\neth0 1 192.168.7.9 192.168.255.255\neth3 4 10.0.0.8 10.0.0.255\n", taken);
        EXPECT_EQ(std::vector<std::uint32_t>({Ip(10, 9, 0, 1), Ip(10, 9, 0, 2), Ip(10, 9, 0, 5)}), sockets.WinsServers());
    }
    g_leastSize = 0;
    g_adapters.clear();
    EXPECT_TRUE(net::WinsockSockets().Interfaces().empty());
}

// The resolver's answers, and a door it waits at before it gives them.
HANDLE g_door, g_done;
int g_freed;

int WSAAPI Resolve(const char* name, const char* service, const addrinfo* hints, addrinfo** found)
{
    static sockaddr_in addresses[] = {Ipv4(Ip(10, 0, 0, 7)), Ipv4(Ip(127, 0, 1, 1))};
    static sockaddr_in6 six = {AF_INET6, 0, 0, {}, 0};
    static addrinfo list[] = {
        {0, AF_INET, SOCK_DGRAM, 0, sizeof addresses[0], nullptr, reinterpret_cast<sockaddr*>(&addresses[0]), &list[1]},
        {0, AF_INET6, SOCK_DGRAM, 0, sizeof six, nullptr, reinterpret_cast<sockaddr*>(&six), &list[2]},
        {0, AF_INET, SOCK_DGRAM, 0, sizeof addresses[1], nullptr, reinterpret_cast<sockaddr*>(&addresses[1]), nullptr},
    };
    EXPECT_TRUE(!service && hints && hints->ai_family == AF_INET);
    if (name == std::string("SLOW"))
        WaitForSingleObject(g_door, 10000);
    *found = list;
    return 0;
}

void WSAAPI Free(addrinfo* list)
{
    g_freed += list != nullptr;
    SetEvent(g_done);
}

TEST(WinsockSockets, LooksUpWithTheSystemsResolverUntilTheDeadlineAtMost)
{
    const ScopedOverride<decltype(NetworkApi::getaddrinfo)> resolve(Network().getaddrinfo, Resolve);
    const ScopedOverride<decltype(NetworkApi::freeaddrinfo)> free(Network().freeaddrinfo, Free);
    g_door = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    net::WinsockSockets sockets;

    EXPECT_EQ(std::vector<std::uint32_t>({Ip(10, 0, 0, 7), Ip(127, 0, 1, 1)}), sockets.LookUp("PC42", sockets.Now() + 2000));
    ResetEvent(g_done);
    const net::Milliseconds start = sockets.Now();
    EXPECT_TRUE(sockets.LookUp("SLOW", start + 200).empty());
    const net::Milliseconds waited = sockets.Now() - start;
    EXPECT_TRUE(waited >= 195 && waited < 500) << waited;
    // The resolver left behind finishes on its own.
    SetEvent(g_door);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_done, 5000));
    EXPECT_EQ(2, g_freed);
    CloseHandle(g_door);
    CloseHandle(g_done);
}

} // namespace
