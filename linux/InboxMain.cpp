// pellamy-inbox: holds a NetBIOS name on this network, following its interfaces as they
// change, and prints the Messenger messages sent to it or to its workgroup.
#include "cli/Arguments.h"
#include "linux/Bus.h"
#include "linux/Inbox.h"
#include "linux/Net.h"
#include "linux/Options.h"
#include "linux/Printer.h"
#include "linux/Text.h"
#include "net/PosixSockets.h"

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
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace pellamy {
namespace {

constexpr char kProgram[] = "pellamy-inbox";

enum Status { kStopped = 0, kBadInput = 1, kNameTaken = 2, kNetworkError = 3, kOutputFailed = 4 };

// What waits in the queue when the program stops is written out for this long at most.
constexpr std::chrono::milliseconds kLastWrite{500};

constexpr char kUsage[] = R"(Usage: pellamy-inbox [OPTIONS]
Receives the Messenger messages sent to this computer or its workgroup, as Pellamy Inbox
does, and prints each on standard output. While it runs it holds its name on this network
as a NetBIOS broadcast node, on every IPv4 interface as they come and go; SIGINT, SIGTERM
or SIGHUP stops it, and it prints its counts on standard error.

Options:
  --name NAME       the name to hold (default: this host's name)
  --workgroup NAME  the workgroup whose messages it takes too (default WORKGROUP)
  --codepage N      the senders' OEM code page (default 850)
  --json            one JSON object per message and line
  --user NAME       the user to become when started as root (default nobody)
  --retry           while the name is in use or the ports are held, try again after a
                    pause growing from 10 s to 10 min instead of exiting (as a service)
  --help            show this help and exit
  --version         show the version and exit

Binding UDP ports 137 and 138 needs root or CAP_NET_BIND_SERVICE.
Exit status: 0 stopped by a signal, 1 bad usage or setup, 2 the name is in use,
3 network error, 4 standard output no longer takes the messages.
)";

void Say(const std::string& message) { std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str()); }

int Fail(int status, const std::string& message)
{
    Say(message);
    return status;
}

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

struct Options {
    int codePage = 850;
    std::optional<std::string> name;
    std::string workgroup = "WORKGROUP";
    bool json = false;
    std::string user = "nobody";
    bool retry = false;
};

std::optional<int> ParseOptions(int argc, char** argv, Options& options)
{
    enum { kName = 1, kWorkgroup, kCodePage, kJson, kUser, kRetry, kHelp, kVersion };
    static const option kOptions[] = {
        {"name", required_argument, nullptr, kName},
        {"workgroup", required_argument, nullptr, kWorkgroup},
        {"codepage", required_argument, nullptr, kCodePage},
        {"json", no_argument, nullptr, kJson},
        {"user", required_argument, nullptr, kUser},
        {"retry", no_argument, nullptr, kRetry},
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
        case kRetry: options.retry = true; break;
        case kHelp: std::fputs(kUsage, stdout); return kStopped;
        case kVersion: std::printf("%s %s\n", kProgram, PELLAMY_VERSION); return kStopped;
        default: return Fail(kBadInput, cli::OptionMistake(option, argv));
        }
    }
    if (optind < argc)
        return Fail(kBadInput, "takes no arguments, not '" + std::string(argv[optind]) + "' (see --help)");
    return std::nullopt;
}

// SIGINT, SIGTERM and SIGHUP as something to read, each unless it was ignored when the program
// started (nohup, a shell's background job); SIGPIPE held back, so that a closed standard
// output is an error to report rather than a death without releasing the name. Every thread
// started later inherits the mask.
Fd StopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action = {};
        if (sigaction(number, nullptr, &action) == 0 && action.sa_handler != SIG_IGN)
            sigaddset(&signals, number);
    }
    sigset_t blocked = signals;
    sigaddset(&blocked, SIGPIPE);
    if (sigprocmask(SIG_BLOCK, &blocked, nullptr) != 0)
        return Fd();
    return Fd(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
}

std::string Seconds(net::Milliseconds pause) { return std::to_string(pause / 1000) + " s"; }

// Binds UDP 137 and 138. With retry, a port in use (by nmbd, say) is tried again after a
// pause, until a signal comes. A status to end with, or nullopt with both bound.
std::optional<int> BindPorts(net::PosixSockets& sockets, const Fd& stop, bool retry, Fd& nameService, Fd& datagrams)
{
    net::Milliseconds pause = 0;
    for (;;) {
        if (!nameService.Valid())
            nameService = Fd(static_cast<int>(sockets.Open(wire::kNameServicePort)));
        if (nameService.Valid() && !datagrams.Valid())
            datagrams = Fd(static_cast<int>(sockets.Open(wire::kDatagramPort)));
        if (datagrams.Valid())
            return std::nullopt;
        const std::string error =
            BindError(nameService.Valid() ? wire::kDatagramPort : wire::kNameServicePort, sockets.LastError());
        if (!retry || sockets.LastError() != EADDRINUSE)
            return Fail(kNetworkError, error);
        pause = NextPause(pause);
        Say(error + "; trying again in " + Seconds(pause));
        std::vector<pollfd> fds = {{stop.Get(), POLLIN, 0}};
        const int ready = WaitReadable(fds, static_cast<int>(pause));
        if (ready < 0)
            return Fail(kNetworkError, SystemError("cannot wait for signals"));
        if (ready > 0)
            return kStopped;
    }
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
        // Root's group would keep root's files open to it.
        if (entry->pw_uid == 0 || entry->pw_gid == 0)
            return Fail(kBadInput, "--user names " +
                                       std::string(entry->pw_uid == 0 ? "a root account" : "an account whose group is root") +
                                       "; the inbox does not go on as root");
        account = Account{entry->pw_uid, entry->pw_gid};
    }

    const Fd stop = StopSignals();
    if (!stop.Valid())
        return Fail(kNetworkError, SystemError("cannot wait for signals"));
    // Watched before the interfaces are read, so that no change falls between.
    const Fd changes = WatchInterfaces();
    if (!changes.Valid())
        return Fail(kNetworkError, SystemError("cannot follow the network's interfaces"));
    net::PosixSockets sockets;
    Fd nameService, datagrams;
    if (const std::optional<int> status = BindPorts(sockets, stop, options.retry, nameService, datagrams))
        return *status;
    // The bus knows a connection by the credentials it was made with: it is made before they go.
    std::string why = "code page " + std::to_string(options.codePage) + " does not convert to UTF-8";
    std::optional<Charsets> toUtf8 = Charsets::Open(codePage, "UTF-8");
    std::optional<BusAnnouncer> bus = toUtf8 ? BusAnnouncer::Open(std::move(*toUtf8), why) : std::nullopt;
    if (!bus)
        Say(why + "; messages are not announced on the system bus");
    if (const int status = DropPrivileges(options.user, account))
        return status;

    // Each outlet owns what its thread uses: a thread stuck in a write outlives this function.
    auto printer = std::make_shared<Printer>(STDOUT_FILENO, std::move(*fromOem), options.json);
    Outlet standardOutput([printer](const Message& message) { printer->Add(message); return true; },
                          [printer] { return printer->Flush(); });
    std::unique_ptr<Outlet> systemBus;
    if (bus) {
        auto announcer = std::make_shared<BusAnnouncer>(std::move(*bus));
        systemBus = std::make_unique<Outlet>([announcer, gone = false](const Message& message) mutable {
            if (!announcer->Announce(message) && !gone) {
                Say("the system bus has gone; messages are no longer announced there");
                gone = true;
            }
            return true; // the messages still go to standard output
        });
    }

    const std::string shownName = options.name ? cli::UpperAscii(*options.name) : wire::NameText(*name);
    const std::string shownWorkgroup = cli::UpperAscii(options.workgroup);
    int status = -1; // running
    bool held = false;
    const auto report = [&](const Event& event) {
        const std::string where = net::FormatIp(event.interface.address) + " (" + event.interface.name + ")";
        const std::string again = "; trying again in " + Seconds(event.pause);
        const std::string taken = shownName + " is already used by " + net::FormatIp(event.defender);
        switch (event.kind) {
        case Event::Kind::Held:
            held = true;
            Say("holding the name " + shownName + " on " + where + ", taking messages for it and for " + shownWorkgroup);
            break;
        case Event::Kind::Taken:
            // At a terminal or in a script, a name someone else holds is the user's to sort out.
            if (!held && !options.retry)
                status = Fail(kNameTaken, taken + " on this network");
            else
                Say(taken + " on " + where + again);
            break;
        case Event::Kind::CannotSend: Say("cannot register " + shownName + " on " + where + ": " + event.error + again); break;
        case Event::Kind::Gone: Say(where + " is gone"); break;
        }
    };
    bool dropping = false;
    Inbox inbox(sockets, nameService.Get(), datagrams.Get(), *name, *workgroup, report, [&](std::vector<Message> messages) {
        if (systemBus)
            systemBus->Put(messages);
        if (!standardOutput.Put(std::move(messages)) && !dropping) {
            Say("standard output does not keep up; dropping the oldest waiting messages");
            dropping = true;
        }
    });
    bool none = false;
    const auto follow = [&] {
        const std::vector<net::Interface> interfaces = sockets.Interfaces();
        if (interfaces.empty() && !none)
            Say("no IPv4 interface is up to broadcast on; waiting for one");
        none = interfaces.empty();
        inbox.Follow(interfaces);
    };
    follow();

    // Until a signal: the inbox has nothing to do but answer what comes and follow the network.
    std::vector<pollfd> fds = {{stop.Get(), POLLIN, 0},          {changes.Get(), POLLIN, 0},
                               {nameService.Get(), POLLIN, 0},   {datagrams.Get(), POLLIN, 0},
                               {standardOutput.FailedFd(), POLLIN, 0}};
    while (status < 0) {
        const std::optional<net::Milliseconds> next = inbox.NextTime();
        const int timeout = next ? static_cast<int>(std::max<net::Milliseconds>(*next - sockets.Now(), 0)) : -1;
        if (WaitReadable(fds, timeout) < 0) {
            status = Fail(kNetworkError, SystemError("cannot wait for datagrams"));
            break;
        }
        if (fds[0].revents || fds[4].revents) {
            status = fds[0].revents ? kStopped : kOutputFailed;
            break;
        }
        if (fds[1].revents) {
            TakeChanges(changes);
            follow();
        }
        if (fds[2].revents)
            inbox.OnNameService();
        if (fds[3].revents)
            inbox.OnDatagrams();
        inbox.OnTime();
    }
    inbox.Release();
    const auto last = std::chrono::steady_clock::now() + kLastWrite;
    standardOutput.Finish(last);
    if (systemBus)
        systemBus->Finish(last);
    if (status == kOutputFailed)
        Say("cannot write to standard output: " + std::string(std::strerror(printer->Error())));
    const Counts& counts = inbox.GetCounts();
    std::fprintf(stderr, "%s: messages: %lu, ignored: %lu, malformed: %lu, dropped: %lu\n", kProgram, counts.messages,
                 counts.ignored, counts.malformed, standardOutput.Dropped());
    return status;
}

} // namespace
} // namespace pellamy

int main(int argc, char** argv) { return pellamy::Run(argc, argv); }
