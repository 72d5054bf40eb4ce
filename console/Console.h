#pragma once
// pellamy-send's ends on Windows: standard input from a console or from a pipe or file, and its
// messages to either.
#include "platform/Win32.h"

#include <string>
#include <string_view>

namespace console {

// The calls pellamy-send.exe's console makes, through a table of their own as the sending
// core's go through KernelApi's, so that a test can replace a single one.
struct ConsoleApi {
    decltype(&::GetOEMCP) GetOEMCP;
    decltype(&::IsValidCodePage) IsValidCodePage;
    decltype(&::GetComputerNameW) GetComputerNameW;
    decltype(&::GetStdHandle) GetStdHandle;
    decltype(&::GetConsoleMode) GetConsoleMode;
    decltype(&::GetConsoleOutputCP) GetConsoleOutputCP;
    decltype(&::ReadConsoleW) ReadConsoleW;
    decltype(&::WriteConsoleW) WriteConsoleW;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::GetLastError) GetLastError;
};
ConsoleApi& Api();

// Standard input's bytes from a pipe or a file as text: after a byte-order mark, UTF-8 or
// UTF-16 as it says; without one, UTF-8 where the bytes are valid UTF-8 (what PowerShell 7
// sends), else codePage (the console's, as cmd's commands write, or this computer's OEM one).
std::wstring DecodeInput(std::string_view bytes, UINT codePage);

// The program's text (UTF-8) as a console shows it, each line ending in CR LF; a pipe or a
// file gets these lines in the console's code page.
std::wstring Lines(std::string_view text);

} // namespace console
