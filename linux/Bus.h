#pragma once
// pellamy-inbox's announcements on the system bus, and the names pellamy-notify listens for.
#include "linux/Outlet.h"
#include "linux/Text.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace pellamy {

// The bus API: MessageReceived(s sender, s recipient, s text, s address, t time), emitted by
// the owner of kBusName, which only the inbox's user may own.
constexpr char kBusName[] = "org.pellamy.Inbox";
constexpr char kBusPath[] = "/org/pellamy/Inbox";
constexpr char kBusInterface[] = "org.pellamy.Inbox1";
constexpr char kBusSignal[] = "MessageReceived";
constexpr char kBusSignature[] = "sssst";

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusClose>;

// The inbox's connection to the system bus, holding kBusName. One thread at a time uses it:
// it may be opened on one and used on another.
class BusAnnouncer {
public:
    // Connects (DBUS_SYSTEM_BUS_ADDRESS, if set, names the bus) and takes the name. Nullopt,
    // with the reason in reason, when either fails. The bus knows the connection by the
    // credentials it had when it connected: open it before giving them up.
    static std::optional<BusAnnouncer> Open(Charsets fromOem, std::string& reason);

    // Emits MessageReceived with the names and text as the JSON output has them, and waits
    // until the bus has taken it. False when the bus is gone, or stalls for seconds, and from
    // then on: the connection is given up.
    bool Announce(const Message& message);

private:
    BusAnnouncer(BusPtr bus, Charsets fromOem) : m_bus(std::move(bus)), m_fromOem(std::move(fromOem)) {}

    BusPtr m_bus;
    Charsets m_fromOem; // to UTF-8
};

} // namespace pellamy
