#pragma once
// What both programs take from their command lines and their host.
#include "linux/Text.h"
#include "wire/NetBios.h"

#include <optional>
#include <string>

namespace pellamy {

// Takes the user's locale and returns its character set. The plain C locale, which knows
// ASCII only, is taken as C.UTF-8, as most tools now do: a user without a locale set would
// otherwise see every accented letter as '?'.
std::string UseLocale();

// A code page number, as --codepage takes it: digits only, 1 to 65535.
std::optional<int> ParseCodePage(const std::string& text);

// A computer or workgroup name given in the locale: upper-cased, in the OEM code page, with
// suffix 0x00. Nullopt unless it is 1 to 15 bytes there, without control characters.
std::optional<wire::Name> ComputerName(const Charsets& toOem, const std::string& text);

// This host's name as a NetBIOS name: its first label, cut to 15 bytes in the code page.
std::optional<wire::Name> HostComputerName(const Charsets& toOem);

// A name as the user gave it, ASCII letters upper-cased, for messages.
std::string UpperAscii(std::string text);

} // namespace pellamy
