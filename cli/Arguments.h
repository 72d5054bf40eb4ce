#pragma once
// What the command-line programs say of a mistake on their command line.
#include <string>

namespace cli {

// The message for getopt_long's answer ':' (an option given without its value) or '?' (an
// option it does not know), naming the option as the user wrote it; "(see --help)" follows.
std::string OptionMistake(int answer, char** argv);

} // namespace cli
