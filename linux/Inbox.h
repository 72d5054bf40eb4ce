#pragma once
// The receiving side: a broadcast node that holds one computer name, and its Messenger name
// (suffix 0x03), on each address it is given, answers for them and for its workgroup, and
// takes the Messenger mailslot writes sent to any of them. It waits for nothing: the caller's
// loop tells it what can be read and when its time has come.
#include "linux/Outlet.h"
#include "net/Sockets.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pellamy {

struct Counts {
    unsigned long messages = 0;
    unsigned long ignored = 0;   // well-formed, for someone or something else
    unsigned long malformed = 0; // refused by a reader, or larger than any Messenger sender writes
};

// What became of the name on an address.
struct Event {
    enum class Kind { Held, Taken, CannotSend, Gone };
    Kind kind = Kind::Held;
    net::Interface interface;
    std::uint32_t defender = 0;  // Taken: the node that defends the name
    std::string error;           // CannotSend: what the system said
    net::Milliseconds pause = 0; // Taken, CannotSend: until the registration is tried again
};

// After a failure the next try waits 10 s, then twice as long each time up to 10 min; the
// pause after the first failure comes from 0.
net::Milliseconds NextPause(net::Milliseconds pause);

class Inbox {
public:
    using Report = std::function<void(const Event&)>;
    // The messages that arrived together, in order.
    using Deliver = std::function<void(std::vector<Message>)>;

    Inbox(net::Sockets& sockets, net::Sockets::Socket nameService, net::Sockets::Socket datagrams, const wire::Name& name,
          const wire::Name& workgroup, Report report, Deliver deliver);

    // The interfaces as they are now: the name is registered on every new address (three
    // broadcasts 250 ms apart, held unless defended), a removed one is no longer used.
    void Follow(const std::vector<net::Interface>& interfaces);
    // When the registration has work next; nullopt when it has none.
    std::optional<net::Milliseconds> NextTime() const;
    // Does the registration's work due by now.
    void OnTime();
    // Answers what came to the name service: queries for the names and the workgroup, node
    // status requests, others' registrations of the names, defences of them against ours.
    void OnNameService();
    // Takes what came to the datagram service, and delivers the messages together.
    void OnDatagrams();
    // Broadcasts the release of the names on every address that holds them.
    void Release();

    const Counts& GetCounts() const { return m_counts; }

private:
    struct Address {
        enum class State { Registering, Held, Paused };
        net::Interface interface;
        State state = State::Registering;
        int tries = 0;               // broadcasts made in this round of registration
        net::Milliseconds next = 0;  // when the next step is due, unless held
        net::Milliseconds pause = 0; // after the last failure
        std::uint16_t id = 0;        // this round's
    };

    void Fail(Address& address, Event event);
    bool Held(std::uint32_t local) const;
    bool FromUs(net::Endpoint from) const;
    const wire::Name* Ours(const wire::Name& name) const;
    void Answer(const wire::NameServicePacket& request, const net::Arrival& arrival);
    void Defended(const wire::NameServicePacket& response, const net::Arrival& arrival);
    void Receive(const net::Arrival& arrival, std::vector<Message>& messages);

    net::Sockets& m_sockets;
    net::Sockets::Socket m_nameService;
    net::Sockets::Socket m_datagrams;
    wire::Name m_names[2]; // the computer's name, suffix 0x00 and 0x03
    wire::Name m_workgroup;
    Report m_report;
    Deliver m_deliver;
    std::vector<Address> m_addresses;
    Counts m_counts;
    std::vector<std::uint8_t> m_buffer;
};

} // namespace pellamy
