// pellamy-notify: shows the messages pellamy-inbox announces on the system bus as desktop
// notifications, in the session of the user who runs it.
#include "linux/Bus.h"
#include "linux/Notify.h"

#include <systemd/sd-event.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace pellamy {
namespace {

constexpr char kProgram[] = "pellamy-notify";

enum Status { kStopped = 0, kBadInput = 1, kAsRoot = 2, kNoSession = 3 };

constexpr char kUsage[] = R"(Usage: pellamy-notify [OPTIONS]
Shows each Messenger message that pellamy-inbox receives on this computer as a desktop
notification. It runs in a desktop session (the desktop starts it at sign-in), waits for the
inbox on the system bus, and keeps waiting while the inbox, the system bus or the
notification service is away. SIGINT, SIGTERM, SIGHUP or the session's end stops it.

Options:
  --help     show this help and exit
  --version  show the version and exit

Exit status: 0 stopped, 1 bad usage, 2 started as root, 3 no session bus.
)";

// A system bus that cannot be reached is tried again after this pause.
constexpr std::uint64_t kRetryMicroseconds = 3'000'000;

constexpr char kNotifications[] = "org.freedesktop.Notifications";
constexpr char kNotificationsPath[] = "/org/freedesktop/Notifications";

void Say(const std::string& message) { std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str()); }

int Fail(int status, const std::string& message)
{
    Say(message);
    return status;
}

std::string Reason(int r) { return std::strerror(-r); }

std::string Reason(const sd_bus_error* error)
{
    return error && error->message ? error->message : error && error->name ? error->name : "no reason given";
}

struct EventUnref {
    void operator()(sd_event* event) const { sd_event_unref(event); }
};
struct SourceUnref {
    void operator()(sd_event_source* source) const { sd_event_source_disable_unref(source); }
};
using EventPtr = std::unique_ptr<sd_event, EventUnref>;
using SourcePtr = std::unique_ptr<sd_event_source, SourceUnref>;

bool Disconnected(sd_bus_message* message)
{
    return sd_bus_message_is_signal(message, "org.freedesktop.DBus.Local", "Disconnected") > 0;
}

// A one-shot timer of the loop, armed again and again.
class Timer {
public:
    Timer(sd_event* event, sd_event_time_handler_t handler, void* data) : m_event(event), m_handler(handler), m_data(data) {}

    // At a time of CLOCK_MONOTONIC, in microseconds; false if the loop cannot take it.
    bool At(std::uint64_t when)
    {
        if (!m_source) {
            sd_event_source* source = nullptr;
            if (sd_event_add_time(m_event, &source, CLOCK_MONOTONIC, when, 0, m_handler, m_data) < 0)
                return false;
            m_source.reset(source);
            return true;
        }
        return sd_event_source_set_time(m_source.get(), when) >= 0 &&
               sd_event_source_set_enabled(m_source.get(), SD_EVENT_ONESHOT) >= 0;
    }
    bool After(std::uint64_t microseconds)
    {
        std::uint64_t now = 0;
        return sd_event_now(m_event, CLOCK_MONOTONIC, &now) >= 0 && At(now + microseconds);
    }

private:
    sd_event* m_event;
    sd_event_time_handler_t m_handler;
    void* m_data;
    SourcePtr m_source;
};

// The session's notification service, and what of the messages reaches it.
class Desktop {
public:
    Desktop(sd_event* event, BusPtr session) : m_event(event), m_session(std::move(session)), m_countTimer(event, OnCountDue, this) {}

    void Take(const std::string& sender, const std::string& text, const std::string& address)
    {
        std::uint64_t now = 0;
        sd_event_now(m_event, CLOCK_MONOTONIC, &now);
        if (m_gate.Admit(static_cast<std::int64_t>(now), address)) {
            Show("Message from " + (sender.empty() ? address : sender), text);
        } else if (const std::optional<std::int64_t> due = m_gate.CountDue()) {
            if (!m_countTimer.At(static_cast<std::uint64_t>(*due)))
                Say("cannot wait for the time to count the messages not shown");
        }
    }

private:
    struct Pending {
        Desktop* desktop;
        std::string summary, body;
    };

    static int OnCountDue(sd_event_source*, std::uint64_t now, void* data)
    {
        auto* desktop = static_cast<Desktop*>(data);
        if (const std::optional<FloodGate::Count> count = desktop->m_gate.TakeCount(static_cast<std::int64_t>(now)))
            desktop->Show(MoreMessages(*count), "They are in the inbox's journal: journalctl -u pellamy-inbox");
        return 0;
    }

    // Asks the server what it can do (another server may have come since the last time),
    // then shows the notification as it suits that server.
    void Show(std::string summary, std::string body)
    {
        auto pending = std::make_unique<Pending>(Pending{this, std::move(summary), std::move(body)});
        sd_bus_slot* slot = nullptr;
        const int r = sd_bus_call_method_async(m_session.get(), &slot, kNotifications, kNotificationsPath, kNotifications,
                                               "GetCapabilities", OnCapabilities, pending.get(), "");
        if (r < 0)
            return Failed("cannot call the notification service: " + Reason(r));
        sd_bus_slot_set_destroy_callback(slot, [](void* data) { delete static_cast<Pending*>(data); });
        pending.release();
        sd_bus_slot_set_floating(slot, 1);
        sd_bus_slot_unref(slot);
    }

    static int OnCapabilities(sd_bus_message* reply, void* data, sd_bus_error*)
    {
        const Pending& pending = *static_cast<Pending*>(data);
        Desktop& desktop = *pending.desktop;
        if (sd_bus_message_is_method_error(reply, nullptr)) {
            desktop.Failed(Reason(sd_bus_message_get_error(reply)));
            return 0;
        }
        char** capabilities = nullptr;
        bool markup = false;
        if (sd_bus_message_read_strv(reply, &capabilities) >= 0) {
            for (char** capability = capabilities; *capability; ++capability) {
                markup = markup || std::strcmp(*capability, "body-markup") == 0;
                std::free(*capability);
            }
            std::free(capabilities);
        }
        // Stays until dismissed (expire_timeout 0), as a message on Windows does; the
        // category tells the desktop it is an instant message.
        const int r = sd_bus_call_method_async(
            desktop.m_session.get(), nullptr, kNotifications, kNotificationsPath, kNotifications, "Notify", OnNotified,
            &desktop, "susssasa{sv}i", "Pellamy", 0u, "pellamy", pending.summary.c_str(),
            (markup ? MarkupEscaped(pending.body) : pending.body).c_str(), 0, 2, "urgency", "y", 1, "category", "s",
            "im.received", 0);
        if (r < 0)
            desktop.Failed("cannot call the notification service: " + Reason(r));
        return 0;
    }

    static int OnNotified(sd_bus_message* reply, void* data, sd_bus_error*)
    {
        auto* desktop = static_cast<Desktop*>(data);
        if (sd_bus_message_is_method_error(reply, nullptr))
            desktop->Failed(Reason(sd_bus_message_get_error(reply)));
        else
            desktop->m_failing = false;
        return 0;
    }

    // Said once until a notification gets through again.
    void Failed(const std::string& why)
    {
        if (!m_failing)
            Say("cannot show notifications (" + why + "); messages until then are not shown");
        m_failing = true;
    }

    sd_event* m_event;
    BusPtr m_session;
    FloodGate m_gate;
    Timer m_countTimer;
    bool m_failing = false;
};

// The system bus: the inbox's owner of the name, and its messages.
class InboxWatch {
public:
    InboxWatch(Desktop& desktop, sd_event* event) : m_desktop(desktop), m_event(event), m_retry(event, OnRetry, this) {}

    void Connect()
    {
        m_bus.reset();
        m_owner.clear();
        sd_bus* opened = nullptr;
        int r = sd_bus_open_system(&opened);
        m_bus.reset(opened);
        if (r >= 0)
            r = sd_bus_attach_event(m_bus.get(), m_event, 0);
        if (r >= 0)
            r = sd_bus_add_filter(m_bus.get(), nullptr, OnFilter, this);
        // Who owns the name is followed from here on; MessageReceived is taken from that
        // owner alone, whatever the bus delivers.
        const std::string owners = std::string("type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                                               "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
                                   kBusName + "'";
        if (r >= 0)
            r = sd_bus_add_match_async(m_bus.get(), nullptr, owners.c_str(), OnOwnerChanged, nullptr, this);
        if (r >= 0)
            r = sd_bus_match_signal_async(m_bus.get(), nullptr, nullptr, kBusPath, kBusInterface, kBusSignal, OnMessage,
                                          nullptr, this);
        if (r >= 0)
            r = sd_bus_call_method_async(m_bus.get(), nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus", "GetNameOwner", OnOwner, this, "s", kBusName);
        if (r < 0)
            Lost("cannot connect to the system bus: " + Reason(r));
    }

private:
    static int OnRetry(sd_event_source*, std::uint64_t, void* data)
    {
        static_cast<InboxWatch*>(data)->Connect();
        return 0;
    }

    // Says why once, until the bus answers again, and tries again after a pause; the bus
    // is dropped there, outside its own callbacks.
    void Lost(const std::string& why)
    {
        m_owner.clear();
        if (!m_away)
            Say(why + "; trying again every " + std::to_string(kRetryMicroseconds / 1'000'000) + " s");
        m_away = true;
        if (!m_retry.After(kRetryMicroseconds))
            Say("cannot wait to connect again");
    }

    static int OnFilter(sd_bus_message* message, void* data, sd_bus_error*)
    {
        if (Disconnected(message))
            static_cast<InboxWatch*>(data)->Lost("lost the system bus");
        return 0;
    }

    static int OnOwner(sd_bus_message* reply, void* data, sd_bus_error*)
    {
        auto* watch = static_cast<InboxWatch*>(data);
        const char* owner = nullptr;
        // No owner is an error reply: the inbox is not there (yet).
        if (!sd_bus_message_is_method_error(reply, nullptr) && sd_bus_message_read(reply, "s", &owner) >= 0)
            watch->m_owner = owner;
        if (watch->m_away)
            Say("listening on the system bus again");
        watch->m_away = false;
        return 0;
    }

    static int OnOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*)
    {
        auto* watch = static_cast<InboxWatch*>(data);
        const char* sender = sd_bus_message_get_sender(message);
        const char *name = nullptr, *before = nullptr, *after = nullptr;
        if (sender && std::strcmp(sender, "org.freedesktop.DBus") == 0 &&
            sd_bus_message_read(message, "sss", &name, &before, &after) >= 0 && std::strcmp(name, kBusName) == 0)
            watch->m_owner = after;
        return 0;
    }

    static int OnMessage(sd_bus_message* message, void* data, sd_bus_error*)
    {
        auto* watch = static_cast<InboxWatch*>(data);
        const char* sender = sd_bus_message_get_sender(message);
        if (!sender || watch->m_owner.empty() || watch->m_owner != sender)
            return 0; // anyone may send a signal; only the inbox's count
        const char *from = nullptr, *to = nullptr, *text = nullptr, *address = nullptr;
        std::uint64_t time = 0;
        if (sd_bus_message_has_signature(message, kBusSignature) <= 0) {
            const char* signature = sd_bus_message_get_signature(message, 1);
            Say(std::string("ignored a ") + kBusSignal + " with the arguments (" + (signature ? signature : "") +
                "), not (" + kBusSignature + ")");
        } else if (const int r = sd_bus_message_read(message, kBusSignature, &from, &to, &text, &address, &time); r < 0) {
            Say(std::string("ignored a ") + kBusSignal + " that cannot be read: " + Reason(r));
        } else {
            watch->m_desktop.Take(from, text, address);
        }
        return 0;
    }

    Desktop& m_desktop;
    sd_event* m_event;
    BusPtr m_bus;
    std::string m_owner; // the unique name that holds kBusName, empty when none does
    Timer m_retry;
    bool m_away = false;
};

int OnSessionFilter(sd_bus_message* message, void* data, sd_bus_error*)
{
    if (Disconnected(message)) {
        Say("the session bus has gone; stopping");
        sd_event_exit(static_cast<sd_event*>(data), kStopped);
    }
    return 0;
}

int Run(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
            std::fputs(kUsage, stdout);
            return kStopped;
        }
        if (argument == "--version") {
            std::printf("%s %s\n", kProgram, PELLAMY_VERSION);
            return kStopped;
        }
        return Fail(kBadInput, (argument.rfind('-', 0) == 0 ? "unknown option " + argument
                                                            : "takes no arguments, not '" + argument + "'") +
                                   " (see --help)");
    }
    if (getuid() == 0 || geteuid() == 0)
        return Fail(kAsRoot, "runs in a user's desktop session, never as root");

    sd_event* created = nullptr;
    int r = sd_event_new(&created);
    const EventPtr event(created);
    if (r < 0)
        return Fail(kNoSession, "cannot make its event loop: " + Reason(r));
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0)
        return Fail(kNoSession, "cannot wait for signals");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        if ((r = sd_event_add_signal(event.get(), nullptr, signal, nullptr, nullptr)) < 0)
            return Fail(kNoSession, "cannot wait for signals: " + Reason(r));

    sd_bus* opened = nullptr;
    r = sd_bus_open_user(&opened);
    BusPtr session(opened);
    if (r >= 0)
        r = sd_bus_attach_event(session.get(), event.get(), 0);
    if (r >= 0)
        r = sd_bus_add_filter(session.get(), nullptr, OnSessionFilter, event.get());
    if (r < 0)
        return Fail(kNoSession, "cannot connect to the session bus: " + Reason(r));

    Desktop desktop(event.get(), std::move(session));
    InboxWatch watch(desktop, event.get());
    watch.Connect();
    r = sd_event_loop(event.get());
    return r < 0 ? Fail(kNoSession, "its event loop failed: " + Reason(r)) : r;
}

} // namespace
} // namespace pellamy

int main(int argc, char** argv) { return pellamy::Run(argc, argv); }
