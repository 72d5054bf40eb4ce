#include "console/Console.h"

#include "platform/WideText.h"

namespace console {

ConsoleApi& Api()
{
    static ConsoleApi api = {::GetOEMCP,     ::IsValidCodePage, ::GetComputerNameW, ::GetStdHandle,
                             ::GetConsoleMode, ::GetConsoleOutputCP, ::ReadConsoleW, ::WriteConsoleW,
                             ::ReadFile,      ::WriteFile,       ::GetLastError};
    return api;
}

std::wstring DecodeInput(std::string_view bytes, UINT codePage)
{
    const auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF"))
        return ToWide(bytes.substr(3), CP_UTF8).value_or(std::wstring());
    if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
        const int high = bytes[0] == '\xFE' ? 0 : 1; // the byte of a pair that holds the high half
        std::wstring text;
        for (std::size_t at = 2; at + 1 < bytes.size(); at += 2)
            text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[at + high]) << 8 |
                                         static_cast<unsigned char>(bytes[at + 1 - high]));
        return text;
    }
    if (std::optional<std::wstring> utf8 = ToWide(bytes, CP_UTF8, true))
        return *utf8;
    return ToWide(bytes, codePage).value_or(std::wstring());
}

std::wstring Lines(std::string_view text)
{
    std::wstring lines;
    for (const wchar_t c : ToWide(text, CP_UTF8).value_or(std::wstring())) {
        if (c == L'\n' && (lines.empty() || lines.back() != L'\r'))
            lines += L'\r';
        lines += c;
    }
    return lines;
}

} // namespace console
