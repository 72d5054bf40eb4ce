#pragma once
// Text between the user's locale and the receivers' OEM code page, by way of wide characters
// (UCS-4 in glibc), and what of it may reach a terminal or a JSON reader.
#include "cli/Text.h"

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace pellamy {

// One iconv conversion, closed when it goes.
class Converter {
public:
    // Nullopt when iconv knows one of the two character sets not.
    static std::optional<Converter> Open(const std::string& to, const std::string& from);
    Converter(Converter&& other) noexcept;
    Converter& operator=(Converter&&) = delete;
    ~Converter();

    // What the target lacks, and input that is not valid in the source, becomes replacement
    // (bytes in the target's character set), the offending input skipped by unit bytes.
    std::string Run(std::string_view input, std::string_view replacement, std::size_t unit) const;

private:
    explicit Converter(iconv_t cd) : m_cd(cd) {}
    iconv_t m_cd;
};

// The two ends of the way a text goes: bytes in one character set to wide characters, wide
// characters to bytes in another. A character the other side lacks becomes '?'.
class Charsets : public cli::Codec {
public:
    static std::optional<Charsets> Open(const std::string& from, const std::string& to);

    std::wstring Decode(std::string_view bytes) const override;
    std::string Encode(std::wstring_view text) const override;
    // By the locale's rules (towupper).
    std::wstring Upper(std::wstring text) const override;

private:
    Charsets(Converter decoder, Converter encoder) : m_decoder(std::move(decoder)), m_encoder(std::move(encoder)) {}
    std::wstring Widen(std::string_view bytes) const;
    std::string Narrow(std::wstring_view text) const;

    Converter m_decoder;
    Converter m_encoder;
    // Both sides keep ASCII as it is (all but EBCDIC code pages do): ASCII text then goes
    // without iconv, which costs more than the rest of a message's way through the inbox.
    bool m_ascii = false;
};

// "CP850" for 850.
std::string CodePageName(int number);

// Safe for a terminal: every control character (C0, DEL and C1) shows as '?'. With
// lineBreaks, CR LF, lone CR and LF become '\n' and tabs stay; without, they are '?' too.
std::wstring Printable(std::wstring_view text, bool lineBreaks);

// A JSON string, quotes included, of a text already Printable: quote, backslash, line break
// and tab escaped.
std::wstring JsonString(std::wstring_view printable);

} // namespace pellamy
