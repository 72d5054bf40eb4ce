#include "linux/Options.h"

#include "linux/Net.h"

#include <langinfo.h>

#include <clocale>
#include <cwctype>

namespace pellamy {

namespace {

std::string UpperOem(const Charsets& toOem, const std::string& text)
{
    std::wstring wide = toOem.Decode(text);
    for (wchar_t& c : wide)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return toOem.Encode(wide);
}

} // namespace

std::string UseLocale()
{
    std::setlocale(LC_ALL, "");
    const std::string charset = nl_langinfo(CODESET);
    if (charset == "ANSI_X3.4-1968" && std::setlocale(LC_CTYPE, "C.UTF-8"))
        return nl_langinfo(CODESET);
    return charset;
}

std::optional<int> ParseCodePage(const std::string& text)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int number = std::stoi(text);
    if (number < 1 || number > 65535)
        return std::nullopt;
    return number;
}

std::optional<wire::Name> ComputerName(const Charsets& toOem, const std::string& text)
{
    return wire::MakeName(UpperOem(toOem, text));
}

std::optional<wire::Name> HostComputerName(const Charsets& toOem)
{
    return wire::MakeName(UpperOem(toOem, HostName()).substr(0, 15));
}

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace pellamy
