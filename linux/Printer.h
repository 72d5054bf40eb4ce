#pragma once
// The messages as pellamy-inbox writes them to standard output: text for people, or one JSON
// object a line. Names and text go through Printable: nothing from the network reaches a
// terminal as a control sequence.
#include "linux/Outlet.h"
#include "linux/Text.h"

#include <string>

namespace pellamy {

class Printer {
public:
    // fromOem converts the senders' OEM code page to the locale's character set, or to UTF-8
    // for JSON.
    Printer(int fd, Charsets fromOem, bool json) : m_fd(fd), m_fromOem(std::move(fromOem)), m_json(json) {}

    // Adds the message to what Flush writes.
    void Add(const Message& message);
    // Writes what was added in one go; false when the descriptor does not take it.
    bool Flush();
    // Why the last Flush failed.
    int Error() const { return m_error; }

private:
    int m_fd;
    Charsets m_fromOem;
    bool m_json;
    std::int64_t m_second = -1; // when m_time was made
    std::wstring m_time;
    std::string m_pending;
    int m_error = 0;
};

} // namespace pellamy
