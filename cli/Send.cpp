#include "cli/Send.h"

#include "cli/Arguments.h"
#include "messenger/Record.h"
#include "net/Sender.h"

#include <getopt.h>

#include <vector>

namespace cli {
namespace {

constexpr char kProgram[] = "pellamy-send";

enum Status { kSent = 0, kBadInput = 1, kNoAnswer = 2, kNetworkError = 3 };

// More of standard input than this cannot make 255 bytes in any code page.
constexpr std::size_t kMaxInput = 65536;

std::string Usage(const SendSystem::Help& help)
{
    return std::string(R"(Usage: pellamy-send [OPTIONS] DESTINATION [MESSAGE...]
Sends a message to the Messenger mailslot of a computer on this network, as Pellamy does.

DESTINATION is a computer name (1 to 15 characters), * for every computer of the
workgroup, or an IPv4 address. The MESSAGE words are joined by single spaces; without
any, the message is standard input, without its final line breaks.

Options:
  --codepage N      the receivers' OEM code page (default )") +
           help.codePage + ")\n  --from NAME       the sender's name (default: " + help.from +
           ")\n  --wins ADDR       ask this WINS server for names before broadcasting\n" +
           (help.wins.empty() ? "" : "                    (default: " + help.wins + ")\n") +
           "  --workgroup NAME  the workgroup * sends to (default " + help.workgroup + R"()
  --help            show this help and exit
  --version         show the version and exit

Exit status: 0 sent, 1 bad usage or input, 2 no computer answered, 3 network error.
)";
}

struct Options {
    std::optional<int> codePage;
    std::optional<std::string> from;
    std::vector<std::uint32_t> wins;
    std::optional<std::string> workgroup;
    std::string destination;
    std::vector<std::string> words;
};

class Command {
public:
    explicit Command(SendSystem& system) : m_system(system) {}

    int Run(int argc, char** argv);

private:
    int Fail(int status, const std::string& message)
    {
        m_system.Write(stderr, std::string(kProgram) + ": " + message + "\n");
        return status;
    }
    std::optional<int> ParseOptions(int argc, char** argv);
    int MessageText(const Codec& toOem, int codePage, std::string& text);

    SendSystem& m_system;
    Options m_options;
};

// Fills the options from the command line; a status to end the program with (--help,
// --version, a mistake), or nullopt to go on.
std::optional<int> Command::ParseOptions(int argc, char** argv)
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
            m_options.codePage = ParseCodePage(value);
            if (!m_options.codePage)
                return Fail(kBadInput, "--codepage takes a code page number, such as 850, not '" + value + "'");
            break;
        case kFrom: m_options.from = value; break;
        case kWins:
            if (const std::optional<std::uint32_t> ip = net::ParseIp(value))
                m_options.wins = {*ip};
            else
                return Fail(kBadInput, "--wins takes an IPv4 address, such as 10.0.0.1, not '" + value + "'");
            break;
        case kWorkgroup: m_options.workgroup = value; break;
        case kHelp: m_system.Write(stdout, Usage(m_system.HelpDefaults())); return kSent;
        case kVersion: m_system.Write(stdout, std::string(kProgram) + " " PELLAMY_VERSION "\n"); return kSent;
        default: return Fail(kBadInput, OptionMistake(option, argv));
        }
    }
    if (optind >= argc)
        return Fail(kBadInput, "no destination given (see --help)");
    m_options.destination = argv[optind];
    m_options.words.assign(argv + optind + 1, argv + argc);
    return std::nullopt;
}

// The text of the message in the code page: line breaks as CR LF, at most 255 bytes.
int Command::MessageText(const Codec& toOem, int codePage, std::string& text)
{
    std::optional<std::string> oem;
    if (m_options.words.empty()) {
        bool tooLong = false;
        std::string error;
        const std::optional<std::wstring> input = m_system.ReadInput(toOem, kMaxInput, tooLong, error);
        if (!input)
            return Fail(kBadInput, "cannot read standard input: " + error);
        if (!tooLong)
            oem = RecordText(toOem, *input, true);
    } else {
        std::string joined;
        for (const std::string& word : m_options.words)
            joined += (joined.empty() ? "" : " ") + word;
        oem = RecordText(toOem, toOem.Decode(joined), false);
    }
    if (!oem)
        return Fail(kBadInput, "the message is longer than " + std::to_string(kMaxTextLength) + " bytes in code page " +
                                   std::to_string(codePage) + "; nothing was sent");
    text = *oem;
    return kSent;
}

int Command::Run(int argc, char** argv)
{
    if (const std::optional<int> status = ParseOptions(argc, argv))
        return *status;

    const int codePage = m_options.codePage ? *m_options.codePage : m_system.DefaultCodePage();
    const std::unique_ptr<Codec> toOem = m_system.OpenCodePage(codePage);
    if (!toOem)
        return Fail(kBadInput, "code page " + std::to_string(codePage) + " is not one this system converts to");

    const std::optional<wire::Name> sender = m_options.from ? ComputerName(*toOem, toOem->Decode(*m_options.from))
                                                            : OwnComputerName(*toOem, m_system.ComputerName());
    if (!sender)
        return Fail(kBadInput, m_options.from ? "--from takes a computer name of 1 to 15 characters"
                                              : "this host's name is no computer name; give one with --from");
    const std::optional<wire::Name> workgroup = ComputerName(
        *toOem, m_options.workgroup ? toOem->Decode(*m_options.workgroup) : m_system.Workgroup());
    if (!workgroup)
        return Fail(kBadInput, "--workgroup takes a workgroup name of 1 to 15 characters");

    net::Destination destination;
    destination.shown = UpperAscii(m_options.destination);
    if (const std::optional<std::uint32_t> ip = net::ParseIp(m_options.destination)) {
        destination.kind = net::Destination::Kind::Address;
        destination.ip = *ip;
    } else if (m_options.destination == "*") {
        destination.kind = net::Destination::Kind::Group;
        destination.name = *workgroup;
    } else if (const std::optional<wire::Name> name = ComputerName(*toOem, toOem->Decode(m_options.destination))) {
        destination.name = *name;
    } else {
        return Fail(kBadInput, "the destination is a computer name of 1 to 15 characters, * or an IPv4 address");
    }
    std::string text;
    if (const int status = MessageText(*toOem, codePage, text))
        return status;

    // The record's recipient is the destination as given, in upper case, as Pellamy writes it.
    const std::string recipient =
        destination.kind == net::Destination::Kind::Name ? wire::NameText(destination.name) : m_options.destination;
    const MessengerDatagram record = ComposeRecord(wire::NameText(*sender), recipient, text);
    net::SendOptions options;
    options.source = *sender;
    options.wins = m_options.wins;
    options.fromDatagramPort = m_system.FromDatagramPort();
    const net::Outcome outcome =
        net::SendMailslot(m_system.Sockets(), destination, options, wire::kMessengerMailslot,
                          {reinterpret_cast<const std::uint8_t*>(record.bytes), sizeof record.bytes});
    switch (outcome.status) {
    case net::Status::Sent: return kSent;
    case net::Status::NoAnswer: return Fail(kNoAnswer, outcome.error);
    case net::Status::NetworkError: break;
    }
    return Fail(kNetworkError, outcome.error);
}

} // namespace

int RunSend(int argc, char** argv, SendSystem& system) { return Command(system).Run(argc, argv); }

} // namespace cli
