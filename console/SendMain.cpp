// pellamy-send on Windows: the program of cli/Send.h over Winsock, with Windows' code pages,
// its computer name and workgroup, and the WINS servers its adapters are configured with.
#include "cli/Send.h"
#include "console/Console.h"
#include "net/WinsockSockets.h"
#include "platform/WideText.h"

#include <algorithm>

namespace {

class WindowsSendSystem : public cli::SendSystem {
public:
    Help HelpDefaults() override
    {
        return {std::to_string(console::Api().GetOEMCP()) + ", this computer's", "this computer's name",
                "the network adapters' WINS servers", FromWide(net::Workgroup(), CP_UTF8)};
    }
    int DefaultCodePage() override { return static_cast<int>(console::Api().GetOEMCP()); }
    std::unique_ptr<cli::Codec> OpenCodePage(int number) override
    {
        if (!console::Api().IsValidCodePage(static_cast<UINT>(number)))
            return nullptr;
        return std::make_unique<CodePageCodec>(CP_UTF8, static_cast<UINT>(number));
    }
    std::wstring ComputerName() override
    {
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
        return console::Api().GetComputerNameW(name, &length) ? std::wstring(name, length) : std::wstring();
    }
    std::wstring Workgroup() override { return net::Workgroup(); }

    // From a console as the characters typed, up to a Ctrl+Z; from a pipe or a file as bytes,
    // their encoding told by console::DecodeInput.
    std::optional<std::wstring> ReadInput(const cli::Codec&, std::size_t limit, bool& tooLong,
                                          std::string& error) override
    {
        const HANDLE input = console::Api().GetStdHandle(STD_INPUT_HANDLE);
        DWORD mode = 0, count = 0;
        if (console::Api().GetConsoleMode(input, &mode)) {
            std::wstring text;
            wchar_t buffer[4096];
            while (text.size() <= limit) {
                if (!console::Api().ReadConsoleW(input, buffer, sizeof buffer / sizeof buffer[0], &count, nullptr))
                    return Failed(error);
                text.append(buffer, count);
                if (count == 0 || std::wstring_view(buffer, count).find(L'\x1A') != std::wstring_view::npos)
                    break;
            }
            text.erase(std::min(text.find(L'\x1A'), text.size()));
            tooLong = text.size() > limit;
            return text;
        }
        std::string bytes;
        char buffer[4096];
        while (bytes.size() <= limit) {
            if (!console::Api().ReadFile(input, buffer, sizeof buffer, &count, nullptr)) {
                if (console::Api().GetLastError() == ERROR_BROKEN_PIPE) // the writer is done
                    break;
                return Failed(error);
            }
            if (count == 0)
                break;
            bytes.append(buffer, count);
        }
        tooLong = bytes.size() > limit;
        return console::DecodeInput(bytes, ConsoleCodePage());
    }

    // To a console as UTF-16; to a pipe or a file in the console's code page, which is what
    // cmd, PowerShell and type read it as.
    void Write(std::FILE* stream, const std::string& text) override
    {
        const HANDLE output = console::Api().GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
        const std::wstring lines = console::Lines(text);
        DWORD mode = 0, written = 0;
        if (console::Api().GetConsoleMode(output, &mode)) {
            console::Api().WriteConsoleW(output, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
        } else {
            const std::string bytes = FromWide(lines, ConsoleCodePage());
            console::Api().WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }

    net::Sockets& Sockets() override { return m_sockets; }
    // Windows holds UDP 138 while NetBIOS over TCP/IP runs.
    bool FromDatagramPort() override { return false; }

private:
    static std::nullopt_t Failed(std::string& error)
    {
        error = SystemMessage(console::Api().GetLastError());
        return std::nullopt;
    }
    // The console's code page (chcp), or this computer's OEM one without a console.
    static UINT ConsoleCodePage()
    {
        const UINT codePage = console::Api().GetConsoleOutputCP();
        return codePage ? codePage : console::Api().GetOEMCP();
    }

    net::WinsockSockets m_sockets;
};

} // namespace

// The arguments as the C runtime splits the command line, in UTF-16 (CommandLineToArgvW would
// load shell32.dll, which takes longer than the send); the shared program reads UTF-8.
int wmain(int argc, wchar_t** wideArgv)
{
    std::vector<std::string> arguments;
    for (int k = 0; k < argc; ++k)
        arguments.push_back(FromWide(wideArgv[k], CP_UTF8));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    WindowsSendSystem system;
    return cli::RunSend(argc, argv.data(), system);
}
