#pragma once
// What the command-line programs make of the text they are given, whatever system they run on:
// names and messages in the receivers' OEM code page.
#include "wire/NetBios.h"

#include <optional>
#include <string>
#include <string_view>

namespace cli {

// Text between what a program reads (its command line, its input) and the receivers' OEM code
// page, by way of wide characters, as the system converts it.
class Codec {
public:
    virtual ~Codec() = default;
    virtual std::wstring Decode(std::string_view bytes) const = 0;
    // A character the code page lacks becomes '?'.
    virtual std::string Encode(std::wstring_view text) const = 0;
    // Upper case by the system's rules, character by character.
    virtual std::wstring Upper(std::wstring text) const = 0;
};

// The text as the record carries it: in the OEM code page, every line break (CR LF, CR or
// LF) as CR LF, a NUL, which would end the record's text, as '?'; from standard input,
// without its final line breaks. Nullopt when it is above 255 bytes there.
std::optional<std::string> RecordText(const Codec& toOem, std::wstring_view text, bool standardInput);

// A computer or workgroup name: upper-cased, in the OEM code page, with suffix 0x00. Nullopt
// unless it is 1 to 15 bytes there, without control characters.
std::optional<wire::Name> ComputerName(const Codec& toOem, std::wstring_view text);
// The same for this computer's own name, cut to whole characters within 15 bytes.
std::optional<wire::Name> OwnComputerName(const Codec& toOem, std::wstring_view text);

// A code page number, as --codepage takes it: digits only, 1 to 65535.
std::optional<int> ParseCodePage(const std::string& text);

// A name as the user gave it, ASCII letters upper-cased, for messages.
std::string UpperAscii(std::string text);

} // namespace cli
