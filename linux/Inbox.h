#pragma once
// The receiving side: a broadcast node that holds one computer name, answers for it and for
// its workgroup, and takes the Messenger mailslot writes sent to either.
#include "linux/Bus.h"
#include "linux/Net.h"
#include "linux/Text.h"
#include "net/PosixSockets.h"
#include "wire/NetBios.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace pellamy {

// Prints each message on a stream, as text or as one JSON object a line; Flush sends on what
// was printed. Names and text go through Printable: nothing from the network reaches a
// terminal as a control sequence.
class Printer {
public:
    // fromOem converts the senders' OEM code page to the locale's character set, or to UTF-8
    // for JSON.
    Printer(std::FILE* stream, Charsets fromOem, bool json)
        : m_stream(stream), m_fromOem(std::move(fromOem)), m_json(json) {}

    // False when the stream does not take it.
    bool Print(const std::string& sender, const std::string& recipient, const std::string& text, std::uint32_t from);
    bool Flush() { return std::fflush(m_stream) == 0; }

private:
    std::FILE* m_stream;
    Charsets m_fromOem;
    bool m_json;
    std::time_t m_second = -1; // when m_time was made
    std::wstring m_time;
};

struct Counts {
    unsigned long messages = 0;
    unsigned long ignored = 0;   // well-formed, for someone or something else
    unsigned long malformed = 0; // refused by a reader
};

class Inbox {
public:
    // announce, if given, is told of every message printed.
    Inbox(Fd nameService, Fd datagrams, std::vector<net::Interface> interfaces, wire::Name name, wire::Name workgroup,
          Printer printer, std::function<void(const Message&)> announce = {});

    int NameServiceFd() const { return m_nameService.Get(); }
    int DatagramFd() const { return m_datagrams.Get(); }

    // Broadcasts the registration three times 250 ms apart on every interface. The address
    // of the node that defends the name, if one does. False, why in Error(), if a send fails.
    bool Register(std::optional<std::uint32_t>& defender);
    // Broadcasts the release on every interface.
    void Release();

    // Answers what came to the name service: queries for the name and the workgroup, node
    // status requests, others' registrations of the name.
    void OnNameService();
    // Takes what came to the datagram service, and flushes what it printed once nothing more
    // waits (or after a burst): false when a message could not be printed.
    bool OnDatagrams();

    const Counts& GetCounts() const { return m_counts; }
    std::string Error() { return m_sockets.Error(); }

private:
    bool FromUs(net::Endpoint from) const;
    void Answer(const wire::NameServicePacket& request, const net::Arrival& arrival);
    bool Take(const net::Arrival& arrival);

    net::PosixSockets m_sockets;
    Fd m_nameService;
    Fd m_datagrams;
    std::vector<net::Interface> m_interfaces;
    wire::Name m_name;
    wire::Name m_workgroup;
    Printer m_printer;
    std::function<void(const Message&)> m_announce;
    Counts m_counts;
    std::vector<std::uint8_t> m_buffer;
};

} // namespace pellamy
