#pragma once
// Sending one mailslot write as a NetBIOS datagram, the receiver found the way a broadcast node
// finds a name: shared by every program that sends, over the socket seam.
#include "net/Sockets.h"

#include <string>
#include <vector>

namespace net {

// Who gets the datagram, in one of three ways.
struct Destination {
    enum class Kind {
        Name,    // a computer (or group) name, found by name service or the system's resolver
        Address, // an IPv4 address, whose computer is asked for its name
        Group,   // a workgroup: every computer of it on every interface's subnet
    };
    Kind kind = Kind::Name;
    wire::Name name;       // Name and Group
    std::uint32_t ip = 0;  // Address
    std::string shown;     // the destination as the user gave it, for messages
};

struct SendOptions {
    wire::Name source; // this computer's name
    // Name servers asked before broadcasting; without any, those the system is configured with.
    std::vector<std::uint32_t> wins;
    // The datagram goes from UDP 138 when that port can be bound (where no NetBIOS service of
    // the system holds it), else from a free port.
    bool fromDatagramPort = false;
};

enum class Status { Sent, NoAnswer, NetworkError };

struct Outcome {
    Status status = Status::Sent;
    std::string error; // what went wrong, for the user, when not Sent
};

// Writes data to the mailslot of the destination, as Windows does for a write to
// \\DESTINATION\mailslot\NAME. Takes at most about 2 s for a name nobody answers to.
Outcome SendMailslot(Sockets& sockets, const Destination& destination, const SendOptions& options,
                     std::string_view mailslot, wire::ByteView data);

} // namespace net
