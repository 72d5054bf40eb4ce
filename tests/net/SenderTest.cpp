// The sending core over a socket seam of the test's own: what goes out, when, and what the
// datagram says, for each way a computer is found and each way the network fails.
#include "net/Sender.h"
#include "tests/net/FakeSockets.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using fake::Ip;
using fake::kHere;
using fake::N;
using net::Milliseconds;
using FakeSockets = fake::Sockets;

const std::uint32_t kThere = Ip(10, 0, 0, 7), kProxy = Ip(10, 0, 0, 9), kWins = Ip(10, 9, 0, 1);

// A computer that answers for NAME, unique or as a group, listing the addresses given.
std::function<std::vector<FakeSockets::Reply>(const wire::NameServicePacket&, std::uint32_t)>
Answers(std::string name, std::uint32_t from, bool group, std::vector<std::uint32_t> listed, int fromTry = 1,
        Milliseconds after = 10)
{
    auto tries = std::make_shared<int>(0);
    return [=](const wire::NameServicePacket& request, std::uint32_t) -> std::vector<FakeSockets::Reply> {
        if (request.type != wire::RecordType::NB || !wire::SameName(request.name, N(name)) || ++*tries < fromTry)
            return {};
        wire::NameServicePacket answer = *wire::ReadNameService(wire::View(wire::BuildPositiveQueryResponse(
            request.id, request.name, group, listed.front())));
        for (std::size_t k = 1; k < listed.size(); ++k)
            answer.addresses.push_back({answer.addresses.front().flags, listed[k]});
        return {{after, from, wire::BuildNameService(answer)}};
    };
}

struct Case {
    const char* what;
    std::function<void(FakeSockets&, net::SendOptions&)> setUp;
    net::Destination destination;
    std::string trace;
    net::Status status;
    std::string error;
};

net::Destination To(const char* name) { return {net::Destination::Kind::Name, N(name), 0, name}; }

TEST(SendMailslot, FindsTheReceiverAndSendsItTheDatagram)
{
    const std::string datagram = " from HERE at 10.0.0.5:138 \\MAILSLOT\\MESSNGR hi";
    const std::string queries = "0 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0\n"
                                "250 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0\n"
                                "500 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0\n";
    const net::Interface second = {"wlan0", 3, Ip(10, 1, 0, 5), Ip(10, 1, 0, 255)};
    const Case cases[] = {
        {"a unique name: to the computer that answered", [](FakeSockets& s, net::SendOptions&) {
             s.answer = Answers("PC42", kThere, false, {kThere});
         }, To("PC42"),
         "0 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0\n"
         "10 unique PC42" + datagram + " to 10.0.0.7:138 from port 138\n", net::Status::Sent, ""},
        {"a name found at the third try", [](FakeSockets& s, net::SendOptions&) {
             s.answer = Answers("PC42", kThere, false, {kThere}, 3);
         }, To("PC42"), queries + "510 unique PC42" + datagram + " to 10.0.0.7:138 from port 138\n", net::Status::Sent, ""},
        {"a group name: to every subnet's broadcast address", [&](FakeSockets& s, net::SendOptions&) {
             s.interfaces.push_back(second);
             s.answer = Answers("STAFF", kThere, true, {kThere});
         }, To("STAFF"),
         "0 query STAFF broadcast to 10.0.0.255:137 via eth0 from port 0\n"
         "0 query STAFF broadcast to 10.1.0.255:137 via wlan0 from port 0\n"
         "10 group STAFF" + datagram + " to 10.0.0.255:138 via eth0 from port 138\n"
         "10 group STAFF from HERE at 10.1.0.5:138 \\MAILSLOT\\MESSNGR hi to 10.1.0.255:138 via wlan0 from port 138\n",
         net::Status::Sent, ""},
        {"a proxy's answer: to the address it gives", [](FakeSockets& s, net::SendOptions&) {
             s.answer = Answers("PC42", kProxy, false, {kThere});
         }, To("PC42"),
         "0 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0\n"
         "10 unique PC42" + datagram + " to 10.0.0.7:138 from port 138\n", net::Status::Sent, ""},
        {"an answer listing the answerer among others: to the answerer", [](FakeSockets& s, net::SendOptions&) {
             s.answer = Answers("PC42", kThere, false, {Ip(127, 0, 0, 1), kProxy, kThere});
         }, To("PC42"),
         "0 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0\n"
         "10 unique PC42" + datagram + " to 10.0.0.7:138 from port 138\n", net::Status::Sent, ""},
        {"the configured name server first: no broadcast", [](FakeSockets& s, net::SendOptions&) {
             s.wins = {kWins};
             s.answer = Answers("PC42", kWins, false, {kThere});
         }, To("PC42"),
         "0 query PC42 to 10.9.0.1:137 from port 0\n"
         "10 unique PC42" + datagram + " to 10.0.0.7:138 from port 138\n", net::Status::Sent, ""},
        {"one name server unreachable, the other saying no: then the broadcast", [](FakeSockets& s, net::SendOptions& o) {
             s.wins = {Ip(10, 9, 9, 9)}; // --wins replaces them
             o.wins = {kWins, Ip(10, 9, 0, 2)};
             s.refusing = {Ip(10, 9, 0, 2)};
             s.answer = [](const wire::NameServicePacket& request, std::uint32_t to) -> std::vector<FakeSockets::Reply> {
                 if (to == kWins)
                     return {{5, kWins, wire::BuildNegativeQueryResponse(request.id, request.name)}};
                 return Answers("PC42", kThere, false, {kThere})(request, to);
             };
         }, To("PC42"),
         "0 query PC42 to 10.9.0.1:137 from port 0\n"
         "0 query PC42 to 10.9.0.2:137 from port 0 refused\n"
         "250 query PC42 to 10.9.0.1:137 from port 0\n"
         "250 query PC42 to 10.9.0.2:137 from port 0 refused\n"
         "500 query PC42 to 10.9.0.1:137 from port 0\n"
         "500 query PC42 to 10.9.0.2:137 from port 0 refused\n"
         "750 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0\n"
         "760 unique PC42" + datagram + " to 10.0.0.7:138 from port 138\n", net::Status::Sent, ""},
        {"a name only the system's resolver knows", [](FakeSockets& s, net::SendOptions&) {
             s.dns["PC42"] = {30, {Ip(127, 0, 1, 1), Ip(192, 168, 7, 7)}};
         }, To("PC42"),
         queries + "750 lookup PC42\n"
         "780 unique PC42" + datagram + " to 192.168.7.7:138 from port 138\n", net::Status::Sent, ""},
        {"a name nobody knows: under 2 s, however slow the resolver", [](FakeSockets& s, net::SendOptions&) {
             s.dns["PC42"] = {5000, {Ip(192, 168, 7, 7)}};
         }, To("PC42"), queries + "750 lookup PC42\n", net::Status::NoAnswer,
         "no computer answered to PC42 on this network"},
        {"an interface that cannot send does not silence the other", [&](FakeSockets& s, net::SendOptions&) {
             s.interfaces.insert(s.interfaces.begin(), second);
             s.refusing = {second.broadcast};
             s.answer = Answers("PC42", kThere, false, {kThere});
         }, To("PC42"),
         "0 query PC42 broadcast to 10.1.0.255:137 via wlan0 from port 0 refused\n"
         "0 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0\n"
         "10 unique PC42" + datagram + " to 10.0.0.7:138 from port 138\n", net::Status::Sent, ""},
        {"no interface can send", [](FakeSockets& s, net::SendOptions&) { s.refusing = {Ip(10, 0, 0, 255)}; },
         To("PC42"), "0 query PC42 broadcast to 10.0.0.255:137 via eth0 from port 0 refused\n0 lookup PC42\n",
         net::Status::NetworkError, "cannot send to 10.0.0.255: Network is unreachable"},
        {"no interface at all", [](FakeSockets& s, net::SendOptions&) { s.interfaces.clear(); }, To("PC42"),
         "0 lookup PC42\n", net::Status::NetworkError, "no IPv4 interface is up to broadcast on"},
        {"an address: to the computer's unique name there", [](FakeSockets& s, net::SendOptions& o) {
             o.fromDatagramPort = false;
             s.answer = [](const wire::NameServicePacket& request, std::uint32_t to) -> std::vector<FakeSockets::Reply> {
                 return {{10, to, wire::BuildNodeStatusResponse(request.id, request.name,
                                                                 {{N("STAFF"), wire::kGroupName}, {N("PC42"), 0}})}};
             };
         }, {net::Destination::Kind::Address, {}, kThere, "10.0.0.7"},
         "0 status * to 10.0.0.7:137 from port 0\n"
         "10 unique PC42" + datagram + " to 10.0.0.7:138 from port 0\n", net::Status::Sent, ""},
        {"an address nobody answers at", [](FakeSockets&, net::SendOptions&) {},
         {net::Destination::Kind::Address, {}, kThere, "10.0.0.7"},
         "0 status * to 10.0.0.7:137 from port 0\n250 status * to 10.0.0.7:137 from port 0\n"
         "500 status * to 10.0.0.7:137 from port 0\n", net::Status::NoAnswer, "no computer answered to 10.0.0.7 on this network"},
        {"a workgroup: asked for nobody", [](FakeSockets&, net::SendOptions&) {},
         {net::Destination::Kind::Group, N("WORKGROUP"), 0, "*"},
         "0 group WORKGROUP" + datagram + " to 10.0.0.255:138 via eth0 from port 138\n", net::Status::Sent, ""},
    };
    for (const Case& c : cases) {
        FakeSockets sockets;
        net::SendOptions options;
        options.source = N("HERE");
        options.fromDatagramPort = true;
        c.setUp(sockets, options);
        const net::Outcome outcome = net::SendMailslot(sockets, c.destination, options, wire::kMessengerMailslot,
                                                       {reinterpret_cast<const std::uint8_t*>("hi"), 2});
        EXPECT_EQ(c.trace, sockets.trace) << c.what;
        EXPECT_EQ(c.status, outcome.status) << c.what;
        EXPECT_EQ(c.error, outcome.error) << c.what;
        EXPECT_LT(sockets.Now(), 2000) << c.what;
    }
}

} // namespace
