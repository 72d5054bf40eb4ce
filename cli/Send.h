#pragma once
// pellamy-send: one Messenger message as one NetBIOS datagram, the receiver found the way a
// broadcast node finds a name. The program is the same wherever it runs; SendSystem is what
// the system it runs on gives it.
#include "cli/Text.h"
#include "net/Sockets.h"

#include <cstdio>
#include <memory>
#include <string>

namespace cli {

class SendSystem {
public:
    virtual ~SendSystem() = default;

    // The defaults --help names, where they depend on the system.
    struct Help {
        std::string codePage;  // "850"
        std::string from;      // "this host's name"
        std::string wins;      // how the name servers are found without --wins, or empty
        std::string workgroup; // "WORKGROUP"
    };
    virtual Help HelpDefaults() = 0;

    // The receivers' code page unless the command line names one.
    virtual int DefaultCodePage() = 0;
    // Text from the command line and standard input to the code page; null when the system
    // does not convert to it.
    virtual std::unique_ptr<Codec> OpenCodePage(int number) = 0;
    // This computer's name, and the workgroup * sends to unless the command line names one.
    virtual std::wstring ComputerName() = 0;
    virtual std::wstring Workgroup() = 0;

    // All of standard input, or more than limit of it; nullopt, why in error, when it cannot
    // be read.
    virtual std::optional<std::wstring> ReadInput(const Codec& codec, std::size_t limit, bool& tooLong,
                                                  std::string& error) = 0;
    // Writes text from the program (UTF-8, or the locale's characters where that is the
    // system's way) to standard output or standard error.
    virtual void Write(std::FILE* stream, const std::string& text) = 0;

    virtual net::Sockets& Sockets() = 0;
    // Whether the datagram may go from UDP 138 when that port is free.
    virtual bool FromDatagramPort() = 0;
};

// The whole program: its exit status.
int RunSend(int argc, char** argv, SendSystem& system);

} // namespace cli
