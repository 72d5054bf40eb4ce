#include "linux/Printer.h"

#include "net/Sockets.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace pellamy {

namespace {

// Every line of a message's text begins with it, so that no line of a text can pass for the
// heading of another message.
constexpr wchar_t kIndent[] = L"    ";

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The local time, as text or in ISO 8601 with the offset from UTC.
std::string Timestamp(const std::tm& local, bool iso)
{
    char text[40];
    std::strftime(text, sizeof text, iso ? "%Y-%m-%dT%H:%M:%S" : "%Y-%m-%d %H:%M:%S", &local);
    std::string stamp = text;
    if (iso) {
        const long minutes = local.tm_gmtoff / 60;
        const long away = minutes < 0 ? -minutes : minutes;
        std::snprintf(text, sizeof text, "%c%02ld:%02ld", minutes < 0 ? '-' : '+', away / 60, away % 60);
        stamp += text;
    }
    return stamp;
}

} // namespace

void Printer::Add(const Message& message)
{
    // The time's text changes once a second, and a burst of messages comes within one.
    const std::int64_t second = message.time / 1000000;
    if (second != m_second) {
        const std::time_t when = static_cast<std::time_t>(second);
        std::tm local = {};
        localtime_r(&when, &local);
        m_second = second;
        m_time = Widen(Timestamp(local, m_json));
    }
    const std::wstring sender = Printable(m_fromOem.Decode(message.sender), false);
    const std::wstring recipient = Printable(m_fromOem.Decode(message.recipient), false);
    const std::wstring text = Printable(m_fromOem.Decode(message.text), true);
    const std::wstring address = Widen(net::FormatIp(message.from));
    std::wstring out;
    out.reserve(text.size() + 160);
    if (m_json) {
        out.append(L"{\"from\":").append(JsonString(sender)).append(L",\"to\":").append(JsonString(recipient));
        out.append(L",\"text\":").append(JsonString(text)).append(L",\"time\":\"").append(m_time);
        out.append(L"\",\"address\":\"").append(address).append(L"\"}\n");
    } else {
        out.append(L"From ").append(sender).append(L" to ").append(recipient).append(L", ").append(m_time);
        out.append(L" (").append(address).append(L")\n");
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find(L'\n', start), text.size());
            out.append(kIndent).append(text, start, end - start).append(L"\n");
            start = end + 1;
        }
        out.append(L"\n");
    }
    m_pending += m_fromOem.Encode(out);
}

bool Printer::Flush()
{
    std::size_t written = 0;
    while (written < m_pending.size()) {
        const ssize_t count = write(m_fd, m_pending.data() + written, m_pending.size() - written);
        if (count >= 0) {
            written += static_cast<std::size_t>(count);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // Standard output may be non-blocking, as whoever opened it left it.
            pollfd ready = {m_fd, POLLOUT, 0};
            poll(&ready, 1, -1);
        } else if (errno != EINTR) {
            m_error = errno;
            return false;
        }
    }
    m_pending.clear();
    return true;
}

} // namespace pellamy
