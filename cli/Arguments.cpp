#include "cli/Arguments.h"

#include <getopt.h>

namespace cli {

std::string OptionMistake(int answer, char** argv)
{
    if (answer == ':')
        return std::string(argv[optind - 1]) + " needs a value (see --help)";
    // A short option is named by its letter: it may stand among others in one word, which
    // getopt has not left yet.
    return "unknown option " + (optopt ? std::string("-") + static_cast<char>(optopt) : std::string(argv[optind - 1])) +
           " (see --help)";
}

} // namespace cli
