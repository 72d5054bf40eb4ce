#include "net/Sockets.h"

namespace net {

std::string FormatIp(std::uint32_t ip)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += std::to_string(ip >> shift & 0xFF) + (shift ? "." : "");
    return text;
}

std::optional<std::uint32_t> ParseIp(std::string_view text)
{
    std::uint32_t ip = 0;
    int parts = 0;
    for (std::size_t at = 0; parts < 4; ++parts) {
        std::size_t end = at;
        unsigned part = 0;
        while (end < text.size() && end - at < 3 && text[end] >= '0' && text[end] <= '9')
            part = part * 10 + (text[end++] - '0');
        // One to three digits, no leading zero, at most 255; dots between, nothing after.
        if (end == at || (text[at] == '0' && end - at > 1) || part > 255)
            return std::nullopt;
        ip = ip << 8 | part;
        if (end == text.size())
            return parts == 3 ? std::optional<std::uint32_t>(ip) : std::nullopt;
        if (text[end] != '.')
            return std::nullopt;
        at = end + 1;
    }
    return std::nullopt;
}

bool Unicast(std::uint32_t ip)
{
    const std::uint32_t first = ip >> 24;
    return first != 0 && first != 127 && first < 224;
}

} // namespace net
