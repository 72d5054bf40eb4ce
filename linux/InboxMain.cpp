// pellamy-inbox: holds a NetBIOS name on this network and prints the Messenger messages sent
// to it or to its workgroup.
#include "linux/Bus.h"
#include "linux/Inbox.h"
#include "linux/Net.h"
#include "linux/Options.h"
#include "linux/Text.h"

#include <getopt.h>
#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pellamy {
namespace {

constexpr char kProgram[] = "pellamy-inbox";

enum Status { kStopped = 0, kBadInput = 1, kNameTaken = 2, kNetworkError = 3 };

constexpr char kUsage[] = R"(Usage: pellamy-inbox [OPTIONS]
Receives the Messenger messages sent to this computer or its workgroup, as Pellamy Inbox
does, and prints each on standard output. While it runs it holds its name on this network
as a NetBIOS broadcast node; SIGINT or SIGTERM stops it, and it prints its counts on
standard error.

Options:
  --name NAME       the name to hold (default: this host's name)
  --workgroup NAME  the workgroup whose messages it takes too (default WORKGROUP)
  --codepage N      the senders' OEM code page (default 850)
  --json            one JSON object per message and line
  --user NAME       the user to become when started as root (default nobody)
  --help            show this help and exit
  --version         show the version and exit

Binding UDP ports 137 and 138 needs root or CAP_NET_BIND_SERVICE.
Exit status: 0 stopped by a signal, 1 bad usage or setup, 2 the name is in use,
3 network error.
)";

int Fail(int status, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return status;
}

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

struct Options {
    int codePage = 850;
    std::optional<std::string> name;
    std::string workgroup = "WORKGROUP";
    bool json = false;
    std::string user = "nobody";
};

std::optional<int> ParseOptions(int argc, char** argv, Options& options)
{
    enum { kName = 1, kWorkgroup, kCodePage, kJson, kUser, kHelp, kVersion };
    static const option kOptions[] = {
        {"name", required_argument, nullptr, kName},
        {"workgroup", required_argument, nullptr, kWorkgroup},
        {"codepage", required_argument, nullptr, kCodePage},
        {"json", no_argument, nullptr, kJson},
        {"user", required_argument, nullptr, kUser},
        {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},
        {},
    };
    opterr = 0;
    int option;
    while ((option = getopt_long(argc, argv, ":", kOptions, nullptr)) != -1) {
        const std::string value = optarg ? optarg : "";
        switch (option) {
        case kName: options.name = value; break;
        case kWorkgroup: options.workgroup = value; break;
        case kCodePage:
            if (const std::optional<int> number = cli::ParseCodePage(value))
                options.codePage = *number;
            else
                return Fail(kBadInput, "--codepage takes a code page number, such as 850, not '" + value + "'");
            break;
        case kJson: options.json = true; break;
        case kUser: options.user = value; break;
        case kHelp: std::fputs(kUsage, stdout); return kStopped;
        case kVersion: std::printf("%s %s\n", kProgram, PELLAMY_VERSION); return kStopped;
        case ':': return Fail(kBadInput, std::string(argv[optind - 1]) + " needs a value (see --help)");
        default: return Fail(kBadInput, "unknown option " + std::string(argv[optind - 1]) + " (see --help)");
        }
    }
    if (optind < argc)
        return Fail(kBadInput, "takes no arguments, not '" + std::string(argv[optind]) + "' (see --help)");
    return std::nullopt;
}

// SIGINT and SIGTERM as something to read; SIGPIPE held back, so that a closed standard
// output is an error to report rather than a death without releasing the name.
Fd StopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigset_t blocked = signals;
    sigaddset(&blocked, SIGPIPE);
    if (sigprocmask(SIG_BLOCK, &blocked, nullptr) != 0)
        return Fd();
    return Fd(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
}

struct Account {
    uid_t uid;
    gid_t gid;
};

// Gives up root for good when started as root, and every capability in any case: the ports
// are bound, nothing else needs privilege. Then makes sure root cannot come back.
int DropPrivileges(const std::string& user, const std::optional<Account>& account)
{
    if (account && (setgroups(0, nullptr) != 0 || setgid(account->gid) != 0 || setuid(account->uid) != 0))
        return Fail(kBadInput, SystemError("cannot become " + user));
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 || syscall(SYS_capset, &header, none) != 0 ||
        prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return Fail(kBadInput, SystemError("cannot give up its capabilities"));
    if (getuid() == 0 || geteuid() == 0 || setuid(0) == 0 || seteuid(0) == 0)
        return Fail(kBadInput, "could still become root; stopping");
    return kStopped;
}

int Run(int argc, char** argv)
{
    const std::string locale = UseLocale();
    Options options;
    if (const std::optional<int> status = ParseOptions(argc, argv, options))
        return *status;

    const std::string codePage = CodePageName(options.codePage);
    std::optional<Charsets> toOem = Charsets::Open(locale, codePage);
    std::optional<Charsets> fromOem = Charsets::Open(codePage, options.json ? "UTF-8" : locale);
    if (!toOem || !fromOem)
        return Fail(kBadInput, "code page " + std::to_string(options.codePage) + " is not one this system converts");
    const std::optional<wire::Name> name =
        options.name ? cli::ComputerName(*toOem, toOem->Decode(*options.name)) : cli::OwnComputerName(*toOem, HostName());
    if (!name)
        return Fail(kBadInput, options.name ? "--name takes a computer name of 1 to 15 characters"
                                            : "this host's name is no computer name; give one with --name");
    const std::optional<wire::Name> workgroup = cli::ComputerName(*toOem, toOem->Decode(options.workgroup));
    if (!workgroup)
        return Fail(kBadInput, "--workgroup takes a workgroup name of 1 to 15 characters");

    std::optional<Account> account;
    if (getuid() == 0 || geteuid() == 0) {
        errno = 0;
        const passwd* entry = getpwnam(options.user.c_str());
        if (!entry)
            return Fail(kBadInput, errno ? SystemError("cannot look up the user " + options.user)
                                         : "there is no user " + options.user + " to become");
        if (entry->pw_uid == 0)
            return Fail(kBadInput, "--user names a root account; the inbox does not go on as root");
        account = Account{entry->pw_uid, entry->pw_gid};
    }

    net::PosixSockets sockets;
    std::vector<net::Interface> interfaces = sockets.Interfaces();
    if (interfaces.empty())
        return Fail(kNetworkError, "no IPv4 interface is up to broadcast on");
    const Fd stop = StopSignals();
    if (!stop.Valid())
        return Fail(kNetworkError, SystemError("cannot wait for signals"));
    Fd nameService(static_cast<int>(sockets.Open(wire::kNameServicePort)));
    if (!nameService.Valid())
        return Fail(kNetworkError, BindError(wire::kNameServicePort, sockets.LastError()));
    Fd datagrams(static_cast<int>(sockets.Open(wire::kDatagramPort)));
    if (!datagrams.Valid())
        return Fail(kNetworkError, BindError(wire::kDatagramPort, sockets.LastError()));
    // The bus knows a connection by the credentials it was made with: before they go.
    std::string reason = "no conversion to UTF-8";
    std::optional<Charsets> toUtf8 = Charsets::Open(codePage, "UTF-8");
    std::optional<BusAnnouncer> bus = toUtf8 ? BusAnnouncer::Open(std::move(*toUtf8), reason) : std::nullopt;
    if (!bus)
        std::fprintf(stderr, "%s: %s; messages are not announced on the system bus\n", kProgram, reason.c_str());
    if (const int status = DropPrivileges(options.user, account))
        return status;

    Inbox inbox(std::move(nameService), std::move(datagrams), std::move(interfaces), *name, *workgroup,
                Printer(stdout, std::move(*fromOem), options.json), [&bus](const Message& message) {
                    if (bus && !bus->Announce(message)) {
                        std::fprintf(stderr, "%s: the system bus has gone; messages are no longer announced there\n",
                                     kProgram);
                        bus.reset();
                    }
                });
    const std::string shownName = options.name ? cli::UpperAscii(*options.name) : wire::NameText(*name);
    std::optional<std::uint32_t> defender;
    if (!inbox.Register(defender))
        return Fail(kNetworkError, "cannot broadcast the name's registration: " + inbox.Error());
    if (defender)
        return Fail(kNameTaken, shownName + " is already used by " + net::FormatIp(*defender) + " on this network");
    std::fprintf(stderr, "%s: holding the name %s, taking messages for it and for %s\n", kProgram, shownName.c_str(),
                 cli::UpperAscii(options.workgroup).c_str());

    // Until a signal: the inbox has nothing to do but answer what comes.
    int status = kStopped;
    std::vector<pollfd> fds = {{stop.Get(), POLLIN, 0}, {inbox.NameServiceFd(), POLLIN, 0}, {inbox.DatagramFd(), POLLIN, 0}};
    for (;;) {
        if (WaitReadable(fds) < 0) {
            status = Fail(kNetworkError, SystemError("cannot wait for datagrams"));
            break;
        }
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & POLLIN)
            inbox.OnNameService();
        if ((fds[2].revents & POLLIN) && !inbox.OnDatagrams()) {
            status = Fail(kBadInput, SystemError("cannot write to standard output"));
            break;
        }
    }
    inbox.Release();
    const Counts& counts = inbox.GetCounts();
    std::fprintf(stderr, "%s: messages: %lu, ignored: %lu, malformed: %lu\n", kProgram, counts.messages,
                 counts.ignored, counts.malformed);
    return status;
}

} // namespace
} // namespace pellamy

int main(int argc, char** argv) { return pellamy::Run(argc, argv); }
