// The desktop test's stand-in for other programs on the system bus: emits one
// MessageReceived with the arguments given, each of a type of its own, as a local user could;
// with --own, from the owner of the inbox's name, as a faulty inbox could.
//   bus_emit [--own] SIGNATURE ARGUMENT...   (SIGNATURE of s, t and i only)
#include "linux/Bus.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    using namespace pellamy;
    int first = 1;
    const bool own = argc > 1 && std::strcmp(argv[1], "--own") == 0;
    first += own;
    if (argc <= first || std::strlen(argv[first]) != std::size_t(argc - first - 1)) {
        std::fprintf(stderr, "usage: bus_emit [--own] SIGNATURE ARGUMENT...\n");
        return 2;
    }
    const std::string signature = argv[first];
    sd_bus* opened = nullptr;
    int r = sd_bus_open_system(&opened);
    BusPtr bus(opened);
    if (r >= 0 && own)
        r = sd_bus_request_name(bus.get(), kBusName, 0);
    sd_bus_message* message = nullptr;
    if (r >= 0)
        r = sd_bus_message_new_signal(bus.get(), &message, kBusPath, kBusInterface, kBusSignal);
    for (std::size_t i = 0; r >= 0 && i < signature.size(); ++i) {
        const char* argument = argv[first + 1 + i];
        switch (signature[i]) {
        case 's': r = sd_bus_message_append_basic(message, 's', argument); break;
        case 't': {
            const std::uint64_t number = std::strtoull(argument, nullptr, 10);
            r = sd_bus_message_append_basic(message, 't', &number);
            break;
        }
        case 'i': {
            const std::int32_t number = std::atoi(argument);
            r = sd_bus_message_append_basic(message, 'i', &number);
            break;
        }
        default: r = -EINVAL;
        }
    }
    if (r >= 0)
        r = sd_bus_send(bus.get(), message, nullptr);
    if (r >= 0)
        r = sd_bus_flush(bus.get());
    sd_bus_message_unref(message);
    if (r < 0) {
        std::fprintf(stderr, "bus_emit: %s\n", std::strerror(-r));
        return 1;
    }
    return 0;
}
