// The inbox's names on each address over a socket seam of the test's own: registered where
// they can be, tried again with a growing pause where they are taken or cannot be sent,
// answered for only where they are held. The LAN test shows the rest on the wire.
#include "linux/Inbox.h"
#include "tests/net/FakeSockets.h"

#include <gtest/gtest.h>

namespace {

using fake::Ip;
using fake::kHere;
using fake::N;
using net::Milliseconds;

TEST(Inbox, HoldsItsNamesWhereItCanAnswersOnlyThereAndTriesAgainWhereItCannot)
{
    const net::Interface kEth0 = {"eth0", 2, kHere, Ip(10, 0, 0, 255)}, kWlan0 = {"wlan0", 3, Ip(10, 1, 0, 5), Ip(10, 1, 0, 255)};
    const std::uint32_t kOther = Ip(10, 0, 0, 7);
    // ALPHA in WORKGROUP, each event a line: when, what, where, the pause.
    fake::Sockets sockets;
    std::string events;
    pellamy::Inbox inbox(sockets, sockets.Open(137), sockets.Open(138), N("ALPHA"), N("WORKGROUP"),
                         [&](const pellamy::Event& e) {
                             const char* kinds[] = {"held", "taken", "cannot send", "gone"};
                             events += std::to_string(sockets.Now()) + " " + kinds[static_cast<int>(e.kind)] + " " +
                                       net::FormatIp(e.interface.address) +
                                       (e.defender ? " by " + net::FormatIp(e.defender) : "") +
                                       (e.error.empty() ? "" : ": " + e.error) +
                                       (e.pause ? ", again in " + std::to_string(e.pause) : "") + "\n";
                         },
                         [](std::vector<pellamy::Message>) {});
    // The inbox's work and what arrives, in the order they are due, until then.
    const auto runUntil = [&](Milliseconds until) {
        for (int k = 0; k < 10000 && sockets.Now() < until; ++k) {
            sockets.WaitReadable(0, std::min(inbox.NextTime().value_or(until), until));
            inbox.OnNameService();
            inbox.OnDatagrams();
            inbox.OnTime();
        }
    };
    // A node on wlan0's subnet that defends every registration there.
    const auto defender = [&](const wire::NameServicePacket& request, std::uint32_t to) {
        std::vector<fake::Sockets::Reply> replies;
        if (request.opcode == wire::Opcode::Registration && to == kWlan0.broadcast)
            replies.push_back({10, Ip(10, 1, 0, 9), wire::BuildNegativeRegistrationResponse(request.id, request.name, Ip(10, 1, 0, 9))});
        return replies;
    };

    sockets.refusing = {kWlan0.broadcast};
    inbox.Follow({kWlan0, kEth0});
    runUntil(900);
    // From another computer. Held on eth0 only: its names are answered for and defended there;
    // the workgroup everywhere.
    sockets.Arrive(1000, 137, {kOther, 137}, kWlan0.address, wire::BuildNameQuery(2, N("ALPHA"), true));
    sockets.Arrive(1000, 137, {kOther, 137}, kWlan0.address, wire::BuildNameQuery(3, N("WORKGROUP"), true));
    sockets.Arrive(1000, 137, {kOther, 137}, kWlan0.address, wire::BuildRegistration(4, N("ALPHA"), false, kOther));
    sockets.Arrive(1000, 137, {kOther, 137}, kHere, wire::BuildRegistration(5, N("alpha", 3), false, kOther));
    runUntil(5000);
    // wlan0 sends again, and finds the name defended there, for good.
    sockets.refusing.clear();
    sockets.answer = defender;
    runUntil(10100);
    const std::string eth0 = " broadcast to 10.0.0.255:137 via eth0 from port 137\n";
    const std::string wlan0 = " broadcast to 10.1.0.255:137 via wlan0 from port 137";
    std::string trace = "0 registration ALPHA at 10.1.0.5" + wlan0 + " refused\n";
    for (const char* at : {"0", "250", "500"})
        trace += at + (" registration ALPHA at 10.0.0.5" + eth0) + at + (" registration ALPHA<03> at 10.0.0.5" + eth0);
    EXPECT_EQ(trace +
                  "1000 answer WORKGROUP at 10.1.0.5 group to 10.0.0.7:137 via 10.1.0.5 from port 137\n"
                  "1000 defence ALPHA<03> at 10.0.0.5 to 10.0.0.7:137 via 10.0.0.5 from port 137\n"
                  "10000 registration ALPHA at 10.1.0.5" + wlan0 + "\n10000 registration ALPHA<03> at 10.1.0.5" + wlan0 + "\n",
              sockets.trace);
    runUntil(1500000);
    // wlan0 goes: the names are released where they are held. It comes back: afresh.
    sockets.trace.clear();
    inbox.Follow({kEth0});
    inbox.Release();
    inbox.Follow({kEth0, kWlan0});
    runUntil(1500100);
    EXPECT_EQ("1500000 release ALPHA at 10.0.0.5" + eth0 + "1500000 release ALPHA<03> at 10.0.0.5" + eth0 +
                  "1500000 registration ALPHA at 10.1.0.5" + wlan0 + "\n1500000 registration ALPHA<03> at 10.1.0.5" + wlan0 + "\n",
              sockets.trace);
    EXPECT_EQ(0u, events.find("0 cannot send 10.1.0.5: Network is unreachable, again in 10000\n750 held 10.0.0.5\n"
                              "10010 taken 10.1.0.5 by 10.1.0.9, again in 20000\n"));
    EXPECT_NE(std::string::npos, events.find("1500000 gone 10.1.0.5\n"));
    // The pause grows to ten minutes, and starts afresh for an address that comes back.
    std::string pauses;
    for (std::size_t at = events.find("again in "); at != std::string::npos; at = events.find("again in ", at + 1))
        pauses += events.substr(at + 9, events.find('\n', at) - at - 9) + " ";
    EXPECT_EQ("10000 20000 40000 80000 160000 320000 600000 600000 10000 ", pauses);
}

} // namespace
