#pragma once
// Text between Windows code pages by way of UTF-16, as the programs that send on the wire
// convert names and messages to the receivers' OEM code page, and the system's messages.
#include "cli/Text.h"
#include "platform/Win32.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

// The bytes in codePage as UTF-16; with strict, nullopt unless they are valid there (else
// what is not becomes U+FFFD).
std::optional<std::wstring> ToWide(std::string_view bytes, UINT codePage, bool strict = false);
// The text in codePage; a character it lacks becomes '?', not a look-alike.
std::string FromWide(std::wstring_view text, UINT codePage);

// Upper case by the invariant locale's rules, as names are compared whatever the user's
// language.
std::wstring Upper(std::wstring text);

// What the system says of error, as a clause of a longer message (in UTF-8, without the final
// full stop); "error N" where it has no text for it.
std::string SystemMessage(unsigned long error);

class CodePageCodec : public cli::Codec {
public:
    // Bytes read in one code page, written in another.
    CodePageCodec(UINT from, UINT to) : m_from(from), m_to(to) {}

    std::wstring Decode(std::string_view bytes) const override { return ToWide(bytes, m_from).value_or(std::wstring()); }
    std::string Encode(std::wstring_view text) const override { return FromWide(text, m_to); }
    std::wstring Upper(std::wstring text) const override { return ::Upper(std::move(text)); }

private:
    UINT m_from;
    UINT m_to;
};
