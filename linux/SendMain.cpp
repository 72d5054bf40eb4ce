// pellamy-send on Linux: the program of cli/Send.h over POSIX sockets, with the locale's
// character set converted by iconv.
#include "cli/Send.h"
#include "linux/Net.h"
#include "linux/Options.h"
#include "linux/Text.h"
#include "net/PosixSockets.h"

#include <cerrno>
#include <cstring>

namespace pellamy {
namespace {

class LinuxSendSystem : public cli::SendSystem {
public:
    LinuxSendSystem() : m_locale(UseLocale()) {}

    Help HelpDefaults() override { return {"850", "this host's name", "", "WORKGROUP"}; }
    int DefaultCodePage() override { return 850; }
    std::unique_ptr<cli::Codec> OpenCodePage(int number) override
    {
        std::optional<Charsets> charsets = Charsets::Open(m_locale, CodePageName(number));
        return charsets ? std::make_unique<Charsets>(std::move(*charsets)) : nullptr;
    }
    std::wstring ComputerName() override { return HostName(); }
    std::wstring Workgroup() override { return L"WORKGROUP"; }

    std::optional<std::wstring> ReadInput(const cli::Codec& codec, std::size_t limit, bool& tooLong,
                                          std::string& error) override
    {
        std::string input;
        char buffer[4096];
        std::size_t count;
        while (input.size() <= limit && (count = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
            input.append(buffer, count);
        if (std::ferror(stdin)) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        tooLong = input.size() > limit;
        return codec.Decode(input);
    }
    void Write(std::FILE* stream, const std::string& text) override { std::fputs(text.c_str(), stream); }

    net::Sockets& Sockets() override { return m_sockets; }
    bool FromDatagramPort() override { return true; }

private:
    std::string m_locale;
    net::PosixSockets m_sockets;
};

} // namespace
} // namespace pellamy

int main(int argc, char** argv)
{
    pellamy::LinuxSendSystem system;
    return cli::RunSend(argc, argv, system);
}
