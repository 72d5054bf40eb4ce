#pragma once
// What both programs take from their locale.
#include <string>

namespace pellamy {

// Takes the user's locale and returns its character set. The plain C locale, which knows
// ASCII only, is taken as C.UTF-8, as most tools now do: a user without a locale set would
// otherwise see every accented letter as '?'.
std::string UseLocale();

} // namespace pellamy
