// The inbox's name on each address over a socket seam of the test's own: registered where it
// can be, tried again with a growing pause where it is taken or cannot be sent, answered for
// only where it is held. The LAN test shows the rest on the wire.
#include "linux/Inbox.h"
#include "tests/net/FakeSockets.h"

#include <gtest/gtest.h>

namespace {

using fake::Ip;
using fake::kHere;
using fake::N;
using net::Milliseconds;
using pellamy::Event;
using pellamy::Inbox;

const net::Interface kEth0 = {"eth0", 2, kHere, Ip(10, 0, 0, 255)}, kWlan0 = {"wlan0", 3, Ip(10, 1, 0, 5), Ip(10, 1, 0, 255)};
const std::uint32_t kOther = Ip(10, 0, 0, 7);

// An inbox holding ALPHA in WORKGROUP, each event a line: when, what, where, the pause.
struct Rig {
    fake::Sockets sockets;
    std::string events;
    Inbox inbox{sockets, sockets.Open(137), sockets.Open(138), N("ALPHA"), N("WORKGROUP"),
                [this](const Event& e) {
                    const char* kinds[] = {"held", "taken", "cannot send", "gone"};
                    events += std::to_string(sockets.Now()) + " " + kinds[static_cast<int>(e.kind)] + " " +
                              net::FormatIp(e.interface.address) + (e.defender ? " by " + net::FormatIp(e.defender) : "") +
                              (e.error.empty() ? "" : ": " + e.error) + (e.pause ? ", again in " + std::to_string(e.pause) : "") +
                              "\n";
                },
                [](std::vector<pellamy::Message>) {}};

    // The inbox's work and what arrives, in the order they are due, until then.
    void RunUntil(Milliseconds until)
    {
        for (int k = 0; k < 10000; ++k) {
            std::optional<Milliseconds> next = inbox.NextTime();
            if (const std::optional<Milliseconds> arrival = sockets.NextArrival())
                next = std::min(next.value_or(*arrival), *arrival);
            if (!next || *next > until)
                break;
            sockets.SetNow(std::max(sockets.Now(), *next));
            inbox.OnNameService();
            inbox.OnDatagrams();
            inbox.OnTime();
        }
        sockets.SetNow(until);
    }
    // A request from another computer, arriving at this host's address local.
    void Ask(Milliseconds at, std::uint32_t local, wire::Bytes request)
    {
        sockets.Arrive(at, 137, {kOther, 137}, local, std::move(request));
    }
};

// A defender of every registration of ALPHA sent to broadcast, answering from defender.
std::function<std::vector<fake::Sockets::Reply>(const wire::NameServicePacket&, std::uint32_t)>
Defends(std::uint32_t broadcast, std::uint32_t defender)
{
    return [=](const wire::NameServicePacket& request, std::uint32_t to) -> std::vector<fake::Sockets::Reply> {
        if (request.opcode != wire::Opcode::Registration || to != broadcast)
            return {};
        return {{10, defender, wire::BuildNegativeRegistrationResponse(request.id, request.name, defender)}};
    };
}

TEST(Inbox, HoldsItsNamesWhereNobodyDefendsThemAndAnswersOnlyThere)
{
    Rig rig;
    rig.sockets.refusing = {kWlan0.broadcast};
    rig.inbox.Follow({kWlan0, kEth0});
    rig.RunUntil(900);
    // Held on eth0 only: its names are answered for there; the workgroup everywhere.
    rig.Ask(1000, kHere, wire::BuildNameQuery(1, N("alpha", 3), false));
    rig.Ask(1000, kWlan0.address, wire::BuildNameQuery(2, N("ALPHA"), true));
    rig.Ask(1000, kWlan0.address, wire::BuildNameQuery(3, N("WORKGROUP"), true));
    rig.Ask(1000, kHere, wire::BuildNodeStatusRequest(4));
    rig.Ask(1000, kWlan0.address, wire::BuildNodeStatusRequest(5));
    rig.Ask(1000, kHere, wire::BuildRegistration(6, N("ALPHA", 3), false, kOther));
    rig.Ask(1000, kWlan0.address, wire::BuildRegistration(7, N("ALPHA"), false, kOther));
    rig.RunUntil(5000);
    // wlan0 sends again, and finds the name taken there; then it goes.
    rig.sockets.refusing.clear();
    rig.sockets.answer = Defends(kWlan0.broadcast, Ip(10, 1, 0, 9));
    rig.RunUntil(20000);
    rig.inbox.Follow({kEth0});
    rig.inbox.Release();

    const std::string eth0 = " broadcast to 10.0.0.255:137 via eth0 from port 137\n";
    const std::string wlan0 = " broadcast to 10.1.0.255:137 via wlan0 from port 137\n";
    const std::string toOther = " to 10.0.0.7:137 via 10.0.0.5 from port 137\n";
    std::string tries;
    for (const char* at : {"0", "250", "500"})
        tries += (at[0] == '0' ? "0 registration ALPHA at 10.1.0.5" + wlan0.substr(0, wlan0.size() - 1) + " refused\n" : "") +
                 at + (" registration ALPHA at 10.0.0.5" + eth0) + at + (" registration ALPHA<03> at 10.0.0.5" + eth0);
    EXPECT_EQ(tries +
                  "1000 answer ALPHA<03> at 10.0.0.5" + toOther +
                  "1000 answer WORKGROUP at 10.1.0.5 group to 10.0.0.7:137 via 10.1.0.5 from port 137\n"
                  "1000 status answer ALPHA ALPHA<03> WORKGROUP group" + toOther +
                  "1000 status answer WORKGROUP group to 10.0.0.7:137 via 10.1.0.5 from port 137\n"
                  "1000 defence ALPHA<03> at 10.0.0.5" + toOther +
                  "10000 registration ALPHA at 10.1.0.5" + wlan0 + "10000 registration ALPHA<03> at 10.1.0.5" + wlan0 +
                  "20000 release ALPHA at 10.0.0.5" + eth0 + "20000 release ALPHA<03> at 10.0.0.5" + eth0,
              rig.sockets.trace);
    EXPECT_EQ("0 cannot send 10.1.0.5: Network is unreachable, again in 10000\n"
              "750 held 10.0.0.5\n"
              "10010 taken 10.1.0.5 by 10.1.0.9, again in 20000\n"
              "20000 gone 10.1.0.5\n",
              rig.events);
}

TEST(Inbox, TriesATakenNameAgainAfterAPauseThatGrowsToTenMinutes)
{
    Rig rig;
    rig.sockets.answer = Defends(kEth0.broadcast, kOther);
    rig.inbox.Follow({kEth0});
    rig.RunUntil(1500000);
    std::string pauses;
    for (std::size_t at = rig.events.find("again in "); at != std::string::npos; at = rig.events.find("again in ", at + 1))
        pauses += rig.events.substr(at + 9, rig.events.find('\n', at) - at - 9) + " ";
    EXPECT_EQ("10000 20000 40000 80000 160000 320000 600000 600000 ", pauses);
    // The defender leaves: held at the next try. An address that comes back starts afresh.
    rig.sockets.answer = nullptr;
    rig.events.clear();
    rig.RunUntil(2000000);
    rig.inbox.Follow({});
    rig.sockets.answer = Defends(kEth0.broadcast, kOther);
    rig.inbox.Follow({kEth0});
    rig.RunUntil(2000100);
    EXPECT_EQ("1830830 held 10.0.0.5\n2000000 gone 10.0.0.5\n2000010 taken 10.0.0.5 by 10.0.0.7, again in 10000\n",
              rig.events);
}

} // namespace
