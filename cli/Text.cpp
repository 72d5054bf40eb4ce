#include "cli/Text.h"

#include "messenger/Record.h"

namespace cli {

namespace {

std::wstring WithCrLf(std::wstring_view text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
            out += L"\r\n";
        } else {
            out += c == L'\0' ? L'?' : c;
        }
    }
    return out;
}

} // namespace

std::optional<std::string> RecordText(const Codec& toOem, std::wstring_view text, bool standardInput)
{
    if (standardInput)
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
            text.remove_suffix(1);
    std::string oem = toOem.Encode(WithCrLf(text));
    if (oem.size() > kMaxTextLength)
        return std::nullopt;
    return oem;
}

std::optional<wire::Name> ComputerName(const Codec& toOem, std::wstring_view text)
{
    return wire::MakeName(toOem.Encode(toOem.Upper(std::wstring(text))));
}

std::optional<wire::Name> OwnComputerName(const Codec& toOem, std::wstring_view text)
{
    std::wstring upper = toOem.Upper(std::wstring(text));
    std::string oem = toOem.Encode(upper);
    // A character of a double-byte code page is not cut in two.
    while (oem.size() > 15) {
        upper.pop_back();
        oem = toOem.Encode(upper);
    }
    return wire::MakeName(oem);
}

std::optional<int> ParseCodePage(const std::string& text)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    int number = 0;
    for (const char digit : text)
        number = number * 10 + (digit - '0');
    if (number < 1 || number > 65535)
        return std::nullopt;
    return number;
}

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace cli
