#include "linux/Options.h"

#include <langinfo.h>

#include <clocale>

namespace pellamy {

std::string UseLocale()
{
    std::setlocale(LC_ALL, "");
    const std::string charset = nl_langinfo(CODESET);
    if (charset == "ANSI_X3.4-1968" && std::setlocale(LC_CTYPE, "C.UTF-8"))
        return nl_langinfo(CODESET);
    return charset;
}

} // namespace pellamy
