#include "linux/Bus.h"

#include "net/Sockets.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cstring>

namespace pellamy {

namespace {

// How long a bus that takes nothing is waited for before it is given up.
constexpr std::uint64_t kStallMicroseconds = 5'000'000;

std::uint64_t Now()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1'000'000 + std::uint64_t(now.tv_nsec) / 1000;
}

std::string Utf8(const Charsets& fromOem, const std::string& oem, bool lineBreaks)
{
    return fromOem.Encode(Printable(fromOem.Decode(oem), lineBreaks));
}

} // namespace

std::optional<BusAnnouncer> BusAnnouncer::Open(Charsets fromOem, std::string& reason)
{
    sd_bus* opened = nullptr;
    int r = sd_bus_open_system(&opened);
    BusPtr bus(opened);
    if (r < 0) {
        reason = std::string("cannot connect to the system bus: ") + std::strerror(-r);
        return std::nullopt;
    }
    r = sd_bus_request_name(bus.get(), kBusName, 0);
    if (r < 0) {
        reason = std::string("cannot own the bus name ") + kBusName + ": " +
                 (r == -EEXIST ? "another program holds it"
                  : r == -EACCES ? "the bus's policy does not let this user own it"
                                 : std::strerror(-r));
        return std::nullopt;
    }
    return BusAnnouncer(std::move(bus), std::move(fromOem));
}

bool BusAnnouncer::Announce(const Message& message)
{
    if (!m_bus)
        return false;
    const std::string address = net::FormatIp(message.from);
    int r = sd_bus_emit_signal(m_bus.get(), kBusPath, kBusInterface, kBusSignal, kBusSignature,
                               Utf8(m_fromOem, message.sender, false).c_str(),
                               Utf8(m_fromOem, message.recipient, false).c_str(),
                               Utf8(m_fromOem, message.text, true).c_str(), address.c_str(),
                               static_cast<std::uint64_t>(message.time));
    // sd_bus_flush would wait for a stalled bus for ever: this waits for a while.
    const std::uint64_t deadline = Now() + kStallMicroseconds;
    while (r >= 0) {
        r = sd_bus_process(m_bus.get(), nullptr);
        if (r < 0)
            break;
        const int events = sd_bus_get_events(m_bus.get());
        if (events < 0 || !(events & POLLOUT)) {
            r = std::min(events, 0); // all written, or the bus is gone
            break;
        }
        const std::uint64_t now = Now();
        if (now >= deadline)
            r = -ETIMEDOUT;
        else if (r == 0)
            r = sd_bus_wait(m_bus.get(), deadline - now);
    }
    if (r < 0)
        m_bus.reset();
    return r >= 0;
}

} // namespace pellamy
