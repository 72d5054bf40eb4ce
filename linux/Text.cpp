#include "linux/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwctype>

namespace pellamy {

std::optional<Converter> Converter::Open(const std::string& to, const std::string& from)
{
    const iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    return Converter(cd);
}

Converter::Converter(Converter&& other) noexcept : m_cd(other.m_cd)
{
    other.m_cd = reinterpret_cast<iconv_t>(-1);
}

Converter::~Converter()
{
    if (m_cd != reinterpret_cast<iconv_t>(-1))
        iconv_close(m_cd);
}

std::string Converter::Run(std::string_view input, std::string_view replacement, std::size_t unit) const
{
    std::string output;
    char buffer[1024];
    char* in = const_cast<char*>(input.data()); // iconv's prototype; it only reads
    std::size_t inLeft = input.size();
    // Every round consumes input or writes output.
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const bool failed = iconv(m_cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1);
        output.append(buffer, out - buffer);
        if (failed && errno != E2BIG) { // EILSEQ, or EINVAL for a sequence cut off at the end
            output.append(replacement);
            const std::size_t skip = std::min(unit, inLeft);
            in += skip;
            inLeft -= skip;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(m_cd, nullptr, nullptr, &out, &outLeft); // back to the initial shift state for the next
    output.append(buffer, out - buffer);
    return output;
}

std::optional<Charsets> Charsets::Open(const std::string& from, const std::string& to)
{
    std::optional<Converter> decoder = Converter::Open("WCHAR_T", from);
    std::optional<Converter> encoder = Converter::Open(to, "WCHAR_T");
    if (!decoder || !encoder)
        return std::nullopt;
    Charsets charsets(std::move(*decoder), std::move(*encoder));
    std::string ascii(0x80, '\0');
    std::wstring wideAscii(0x80, L'\0');
    for (int c = 0; c < 0x80; ++c)
        ascii[c] = static_cast<char>(wideAscii[c] = static_cast<wchar_t>(c));
    charsets.m_ascii = charsets.Widen(ascii) == wideAscii && charsets.Narrow(wideAscii) == ascii;
    return charsets;
}

std::wstring Charsets::Decode(std::string_view bytes) const
{
    const auto isAscii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
    if (m_ascii && std::all_of(bytes.begin(), bytes.end(), isAscii))
        return std::wstring(bytes.begin(), bytes.end());
    return Widen(bytes);
}

std::string Charsets::Encode(std::wstring_view text) const
{
    if (m_ascii && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0 && c < 0x80; })) {
        std::string bytes(text.size(), '\0');
        std::transform(text.begin(), text.end(), bytes.begin(), [](wchar_t c) { return static_cast<char>(c); });
        return bytes;
    }
    return Narrow(text);
}

std::wstring Charsets::Upper(std::wstring text) const
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return text;
}

std::wstring Charsets::Widen(std::string_view bytes) const
{
    const wchar_t question = L'?';
    const std::string wide =
        m_decoder.Run(bytes, std::string_view(reinterpret_cast<const char*>(&question), sizeof question), 1);
    std::wstring text(wide.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), wide.data(), text.size() * sizeof(wchar_t));
    return text;
}

std::string Charsets::Narrow(std::wstring_view text) const
{
    return m_encoder.Run(std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)),
                         "?", sizeof(wchar_t));
}

std::string CodePageName(int number) { return "CP" + std::to_string(number); }

std::wstring Printable(std::wstring_view text, bool lineBreaks)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (lineBreaks && (c == L'\r' || c == L'\n')) {
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
            out += L'\n';
        } else if (lineBreaks && c == L'\t') {
            out += c;
        } else {
            const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
            out += control ? L'?' : c;
        }
    }
    return out;
}

std::wstring JsonString(std::wstring_view printable)
{
    std::wstring out = L"\"";
    for (const wchar_t c : printable) {
        switch (c) {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'\n': out += L"\\n"; break;
        case L'\t': out += L"\\t"; break;
        default: out += c;
        }
    }
    return out + L'"';
}

} // namespace pellamy
