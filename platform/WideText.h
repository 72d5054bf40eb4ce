#pragma once
// Text between Windows code pages by way of UTF-16, and the system's messages.
#include "platform/Win32.h"

#include <optional>
#include <string>
#include <string_view>

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
