#include "platform/WideText.h"
#include "platform/KernelApi.h"

#include <climits>

std::optional<std::wstring> ToWide(std::string_view bytes, UINT codePage, bool strict)
{
    std::wstring text;
    if (bytes.empty())
        return text;
    if (bytes.size() > INT_MAX)
        return std::nullopt;
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(bytes.size());
    const int length = Kernel().MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length == 0)
        return std::nullopt;
    text.resize(length);
    Kernel().MultiByteToWideChar(codePage, flags, bytes.data(), size, text.data(), length);
    return text;
}

std::string FromWide(std::wstring_view text, UINT codePage)
{
    std::string bytes;
    if (text.empty() || text.size() > INT_MAX / 4)
        return bytes;
    const int size = static_cast<int>(text.size());
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char* replacement = "?";
    int length = Kernel().WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, replacement, nullptr);
    // UTF-8, UTF-7 and a few others take neither the flag nor a replacement: they lack nothing.
    if (length == 0) {
        flags = 0;
        replacement = nullptr;
        length = Kernel().WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
    }
    if (length == 0)
        return bytes;
    bytes.resize(length);
    Kernel().WideCharToMultiByte(codePage, flags, text.data(), size, bytes.data(), length, replacement, nullptr);
    return bytes;
}

std::wstring Upper(std::wstring text)
{
    if (!text.empty() && text.size() <= INT_MAX)
        Kernel().LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()), text.data(),
                     static_cast<int>(text.size()));
    return text;
}

std::string SystemMessage(unsigned long error)
{
    wchar_t text[512];
    DWORD length = Kernel().FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text / sizeof text[0], nullptr);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.'))
        --length;
    if (length == 0)
        return "error " + std::to_string(error);
    return FromWide({text, length}, CP_UTF8);
}
