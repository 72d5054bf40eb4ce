// pellamy-send: one Messenger message as one NetBIOS datagram, the receiver found the way a
// broadcast node finds a name.
#include "linux/Net.h"
#include "linux/Options.h"
#include "linux/Text.h"
#include "messenger/Datagram.h"
#include "wire/NetBios.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pellamy {
namespace {

constexpr char kProgram[] = "pellamy-send";

enum Status { kSent = 0, kBadInput = 1, kNoAnswer = 2, kNetworkError = 3 };

// A broadcast node asks three times, 250 ms apart, and waits as long for the last answers.
constexpr int kTries = 3;
constexpr auto kRetryInterval = std::chrono::milliseconds(250);
// Answers read in one go before the clock is looked at again.
constexpr int kBurst = 64;
// More of standard input than this cannot make 255 bytes in any code page.
constexpr std::size_t kMaxInput = 65536;

constexpr char kUsage[] = R"(Usage: pellamy-send [OPTIONS] DESTINATION [MESSAGE...]
Sends a message to the Messenger mailslot of a computer on this network, as Pellamy does.

DESTINATION is a computer name (1 to 15 characters), * for every computer of the
workgroup, or an IPv4 address. The MESSAGE words are joined by single spaces; without
any, the message is standard input, without its final line breaks.

Options:
  --codepage N      the receivers' OEM code page (default 850)
  --from NAME       the sender's name (default: this host's name)
  --wins ADDR       ask this WINS server for names before broadcasting
  --workgroup NAME  the workgroup * sends to (default WORKGROUP)
  --help            show this help and exit
  --version         show the version and exit

Exit status: 0 sent, 1 bad usage or input, 2 no computer answered, 3 network error.
)";

int Fail(int status, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return status;
}

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

struct Options {
    int codePage = 850;
    std::optional<std::string> from;
    std::optional<std::uint32_t> wins;
    std::string workgroup = "WORKGROUP";
    std::string destination;
    std::vector<std::string> words;
};

// One place a request or the datagram goes; a broadcast goes out of its interface.
struct Hop {
    Endpoint to;
    const Interface* via = nullptr;
};

std::vector<Hop> Broadcasts(const std::vector<Interface>& interfaces, std::uint16_t port)
{
    std::vector<Hop> hops;
    for (const Interface& interface : interfaces)
        hops.push_back({{interface.broadcast, port}, &interface});
    return hops;
}

struct Answer {
    wire::NameServicePacket packet;
    Endpoint from;
};

struct Asked {
    int sendError = 0; // errno of a send that failed, and the request's hop
    Endpoint failedHop;
    std::optional<Answer> answer;
};

// Sends request to every hop, up to three times 250 ms apart, until take accepts a response
// to it; answers to the last try are awaited 250 ms.
template <class Take>
Asked Ask(int fd, const wire::Bytes& request, std::uint16_t id, const std::vector<Hop>& hops, Take take)
{
    Asked asked;
    std::vector<std::uint8_t> buffer(65536);
    std::vector<pollfd> fds = {{fd, POLLIN, 0}};
    for (int attempt = 0; attempt < kTries; ++attempt) {
        // An interface that cannot send does not silence the others.
        std::size_t failed = 0;
        for (const Hop& hop : hops) {
            if (!Send(fd, request, hop.to, hop.via)) {
                asked.sendError = errno;
                asked.failedHop = hop.to;
                ++failed;
            }
        }
        if (failed == hops.size())
            return asked;
        asked.sendError = 0;
        const auto deadline = Clock::now() + kRetryInterval;
        while (Clock::now() < deadline && WaitReadable(fds, deadline) > 0) {
            for (int k = 0; k < kBurst; ++k) {
                const std::optional<Arrival> arrival = Receive(fd, buffer);
                if (!arrival)
                    break;
                std::optional<wire::NameServicePacket> packet =
                    arrival->truncated ? std::nullopt : wire::ReadNameService(arrival->bytes);
                if (packet && packet->response && packet->id == id && take(*packet, arrival->from)) {
                    asked.answer = Answer{std::move(*packet), arrival->from};
                    return asked;
                }
            }
        }
    }
    return asked;
}

// Where the datagram goes and what it says it is for.
struct Target {
    wire::DatagramType type = wire::DatagramType::DirectUnique;
    wire::Name name; // DESTINATION_NAME
    std::vector<Hop> hops;
};

class Resolver {
public:
    Resolver(const Options& options, Fd nameService) : m_options(options), m_nameService(std::move(nameService)) {}

    // Fills target; a status other than kSent ends the program.
    int ResolveName(const wire::Name& name, const std::string& shown, Target& target);
    int ResolveAddress(std::uint32_t ip, Target& target);
    int ToWorkgroup(const wire::Name& workgroup, Target& target);

private:
    int Interfaces();
    int Failed(const Asked& asked) const;

    const Options& m_options;
    Fd m_nameService;
    std::vector<Interface> m_interfaces;
};

int Resolver::Interfaces()
{
    if (m_interfaces.empty())
        m_interfaces = BroadcastInterfaces();
    if (m_interfaces.empty())
        return Fail(kNetworkError, "no IPv4 interface is up to broadcast on");
    return kSent;
}

int Resolver::Failed(const Asked& asked) const
{
    errno = asked.sendError;
    return Fail(kNetworkError, SystemError("cannot send to " + FormatIp(asked.failedHop.ip)));
}

int Resolver::ResolveName(const wire::Name& name, const std::string& shown, Target& target)
{
    const auto positive = [&name](const wire::NameServicePacket& packet, Endpoint) {
        return packet.opcode == wire::Opcode::Query && packet.rcode == 0 && packet.type == wire::RecordType::NB &&
               !packet.addresses.empty() && wire::SameName(packet.name, name);
    };
    std::optional<Answer> answer;
    if (m_options.wins) {
        // The server's answer, negative or not, ends its part; a negative one, none, or a server
        // that cannot be reached sends us on to the broadcast, where a computer the server does
        // not know may still answer. Its answer names the owner's address.
        const std::uint16_t id = RandomId();
        const Asked asked = Ask(m_nameService.Get(), wire::BuildNameQuery(id, name, false), id,
                                {{{*m_options.wins, wire::kNameServicePort}}},
                                [&](const wire::NameServicePacket& packet, Endpoint from) {
                                    return from.ip == *m_options.wins && packet.opcode == wire::Opcode::Query;
                                });
        if (asked.answer && positive(asked.answer->packet, asked.answer->from) &&
            Unicast(asked.answer->packet.addresses.front().ip)) {
            answer = asked.answer;
            answer->from.ip = answer->packet.addresses.front().ip;
        }
    }
    if (!answer) {
        if (const int status = Interfaces())
            return status;
        const std::uint16_t id = RandomId();
        const Asked asked = Ask(m_nameService.Get(), wire::BuildNameQuery(id, name, true), id,
                                Broadcasts(m_interfaces, wire::kNameServicePort), positive);
        if (asked.sendError)
            return Failed(asked);
        answer = asked.answer;
    }
    if (!answer)
        return Fail(kNoAnswer, "no computer answered to " + shown + " on this network");

    target.name = name;
    const wire::NameAddress& owner = answer->packet.addresses.front();
    if (owner.flags & wire::kGroupName) {
        if (const int status = Interfaces())
            return status;
        target.type = wire::DatagramType::DirectGroup;
        target.hops = Broadcasts(m_interfaces, wire::kDatagramPort);
    } else {
        // To the computer that answered, whatever address its answer gives.
        target.type = wire::DatagramType::DirectUnique;
        target.hops = {{{answer->from.ip, wire::kDatagramPort}}};
    }
    return kSent;
}

int Resolver::ResolveAddress(std::uint32_t ip, Target& target)
{
    const std::uint16_t id = RandomId();
    const Asked asked = Ask(m_nameService.Get(), wire::BuildNodeStatusRequest(id), id, {{{ip, wire::kNameServicePort}}},
                            [ip](const wire::NameServicePacket& packet, Endpoint from) {
                                return from.ip == ip && packet.opcode == wire::Opcode::Query &&
                                       packet.type == wire::RecordType::NBSTAT;
                            });
    if (asked.sendError)
        return Failed(asked);
    if (!asked.answer)
        return Fail(kNoAnswer, "no computer answered to " + FormatIp(ip) + " on this network");
    for (const wire::NodeStatusEntry& entry : asked.answer->packet.nodeNames) {
        if (entry.name.bytes[15] == 0x00 && !(entry.flags & wire::kGroupName)) {
            target.type = wire::DatagramType::DirectUnique;
            target.name = entry.name;
            target.hops = {{{ip, wire::kDatagramPort}}};
            return kSent;
        }
    }
    return Fail(kNoAnswer, FormatIp(ip) + " answered but holds no computer name");
}

int Resolver::ToWorkgroup(const wire::Name& workgroup, Target& target)
{
    if (const int status = Interfaces())
        return status;
    target.type = wire::DatagramType::DirectGroup;
    target.name = workgroup;
    target.hops = Broadcasts(m_interfaces, wire::kDatagramPort);
    return kSent;
}

// The datagram to every hop, each with this host's address on the way there.
int SendRecord(const Target& target, const wire::Name& sender, const MessengerDatagram& record)
{
    Fd socket = OpenUdp(wire::kDatagramPort);
    if (!socket.Valid())
        socket = OpenUdp(0); // the header says 138 all the same; receivers do not answer
    if (!socket.Valid())
        return Fail(kNetworkError, SystemError("cannot make a UDP socket"));

    const wire::Bytes write = wire::BuildMailslotWrite(
        wire::kMessengerMailslot, {reinterpret_cast<const std::uint8_t*>(record.bytes), sizeof record.bytes});
    std::uint16_t id = RandomId();
    std::size_t sent = 0;
    std::string error;
    for (const Hop& hop : target.hops) {
        wire::Datagram datagram;
        datagram.type = target.type;
        datagram.id = id++;
        datagram.source = sender;
        datagram.destination = target.name;
        datagram.userData = wire::View(write);
        if (hop.via) {
            datagram.sourceIp = hop.via->address;
        } else if (const std::optional<std::uint32_t> source = SourceAddressFor(hop.to.ip)) {
            datagram.sourceIp = *source;
        } else {
            return Fail(kNetworkError, "no route to " + FormatIp(hop.to.ip));
        }
        if (!Send(socket.Get(), wire::BuildDatagram(datagram), hop.to, hop.via))
            error = SystemError("cannot send to " + FormatIp(hop.to.ip));
        else
            ++sent;
    }
    // Sent on some interfaces: the others' failures are not the receivers' concern.
    return sent ? kSent : Fail(kNetworkError, error);
}

// All of standard input, or its first limit + 1 bytes; nullopt if it cannot be read.
std::optional<std::string> ReadInput(std::size_t limit)
{
    std::string input;
    char buffer[4096];
    std::size_t count;
    while (input.size() <= limit && (count = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        input.append(buffer, count);
    if (std::ferror(stdin))
        return std::nullopt;
    return input;
}

// The text of the message in the code page: line breaks as CR LF, at most 255 bytes.
int MessageText(const Options& options, const Charsets& toOem, std::string& text)
{
    std::optional<std::string> oem;
    if (options.words.empty()) {
        const std::optional<std::string> input = ReadInput(kMaxInput);
        if (!input)
            return Fail(kBadInput, SystemError("cannot read standard input"));
        if (input->size() <= kMaxInput)
            oem = RecordText(toOem, *input, true);
    } else {
        std::string joined;
        for (const std::string& word : options.words)
            joined += (joined.empty() ? "" : " ") + word;
        oem = RecordText(toOem, joined, false);
    }
    if (!oem)
        return Fail(kBadInput, "the message is longer than " + std::to_string(kMaxTextLength) + " bytes in code page " +
                                   std::to_string(options.codePage) + "; nothing was sent");
    text = *oem;
    return kSent;
}

// Fills options from the command line; a status to end the program with (--help, --version,
// a mistake), or nullopt to go on.
std::optional<int> ParseOptions(int argc, char** argv, Options& options)
{
    enum { kCodePage = 1, kFrom, kWins, kWorkgroup, kHelp, kVersion };
    static const option kOptions[] = {
        {"codepage", required_argument, nullptr, kCodePage},
        {"from", required_argument, nullptr, kFrom},
        {"wins", required_argument, nullptr, kWins},
        {"workgroup", required_argument, nullptr, kWorkgroup},
        {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},
        {},
    };
    opterr = 0;
    int option;
    // '+': the first word that is no option is the destination; what follows is the message.
    while ((option = getopt_long(argc, argv, "+:", kOptions, nullptr)) != -1) {
        const std::string value = optarg ? optarg : "";
        switch (option) {
        case kCodePage:
            if (const std::optional<int> number = ParseCodePage(value))
                options.codePage = *number;
            else
                return Fail(kBadInput, "--codepage takes a code page number, such as 850, not '" + value + "'");
            break;
        case kFrom: options.from = value; break;
        case kWins:
            options.wins = ParseIp(value);
            if (!options.wins)
                return Fail(kBadInput, "--wins takes an IPv4 address, such as 10.0.0.1, not '" + value + "'");
            break;
        case kWorkgroup: options.workgroup = value; break;
        case kHelp: std::fputs(kUsage, stdout); return kSent;
        case kVersion: std::printf("%s %s\n", kProgram, PELLAMY_VERSION); return kSent;
        case ':': return Fail(kBadInput, std::string(argv[optind - 1]) + " needs a value (see --help)");
        default: return Fail(kBadInput, "unknown option " + std::string(argv[optind - 1]) + " (see --help)");
        }
    }
    if (optind >= argc)
        return Fail(kBadInput, "no destination given (see --help)");
    options.destination = argv[optind];
    options.words.assign(argv + optind + 1, argv + argc);
    return std::nullopt;
}

int Run(int argc, char** argv)
{
    const std::string locale = UseLocale();
    Options options;
    if (const std::optional<int> status = ParseOptions(argc, argv, options))
        return *status;

    const std::string codePage = CodePageName(options.codePage);
    const std::optional<Charsets> toOem = Charsets::Open(locale, codePage);
    if (!toOem)
        return Fail(kBadInput, "code page " + std::to_string(options.codePage) + " is not one this system converts to");

    const std::optional<wire::Name> sender =
        options.from ? ComputerName(*toOem, *options.from) : HostComputerName(*toOem);
    if (!sender)
        return Fail(kBadInput, options.from ? "--from takes a computer name of 1 to 15 characters"
                                            : "this host's name is no computer name; give one with --from");
    const std::optional<wire::Name> workgroup = ComputerName(*toOem, options.workgroup);
    if (!workgroup)
        return Fail(kBadInput, "--workgroup takes a workgroup name of 1 to 15 characters");
    const std::optional<std::uint32_t> ip = ParseIp(options.destination);
    std::optional<wire::Name> name;
    if (!ip && options.destination != "*") {
        name = ComputerName(*toOem, options.destination);
        if (!name)
            return Fail(kBadInput, "the destination is a computer name of 1 to 15 characters, * or an IPv4 address");
    }
    std::string text;
    if (const int status = MessageText(options, *toOem, text))
        return status;

    Fd nameService = OpenUdp(0);
    if (!nameService.Valid())
        return Fail(kNetworkError, SystemError("cannot make a UDP socket"));
    Resolver resolver(options, std::move(nameService));
    Target target;
    const int status = ip     ? resolver.ResolveAddress(*ip, target)
                       : name ? resolver.ResolveName(*name, UpperAscii(options.destination), target)
                              : resolver.ToWorkgroup(*workgroup, target);
    if (status)
        return status;

    // The destination as given, in upper case, as Pellamy writes it.
    const std::string recipient = name ? wire::NameText(*name) : options.destination;
    char senderName[kComputerNameBufferSize] = {};
    const std::string senderText = wire::NameText(*sender);
    senderText.copy(senderName, sizeof senderName - 1);
    const MessengerDatagram record =
        ComposeRecord(senderName, static_cast<DWORD>(senderText.size()),
                      CString(recipient.data(), static_cast<int>(recipient.size())),
                      CString(text.data(), static_cast<int>(text.size())));
    return SendRecord(target, *sender, record);
}

} // namespace
} // namespace pellamy

int main(int argc, char** argv) { return pellamy::Run(argc, argv); }
