#include "linux/Notify.h"

namespace pellamy {

bool FloodGate::Room(std::int64_t now)
{
    while (!m_shown.empty() && m_shown.front() <= now - kWindow)
        m_shown.pop_front();
    return m_shown.size() < kLimit;
}

bool FloodGate::Admit(std::int64_t now, const std::string& computer)
{
    // While messages are counted, a new one waits its turn with them.
    if (m_counted == 0 && Room(now)) {
        m_shown.push_back(now);
        return true;
    }
    ++m_counted;
    m_computers.insert(computer);
    return false;
}

std::optional<std::int64_t> FloodGate::CountDue() const
{
    // Counting starts when the last kLimit are all in the window, and ends when one of them
    // leaves it.
    if (m_counted == 0)
        return std::nullopt;
    return m_shown.front() + kWindow;
}

std::optional<FloodGate::Count> FloodGate::TakeCount(std::int64_t now)
{
    if (m_counted == 0 || !Room(now))
        return std::nullopt;
    m_shown.push_back(now);
    const Count count = {m_counted, m_computers.size()};
    m_counted = 0;
    m_computers.clear();
    return count;
}

std::string MoreMessages(const FloodGate::Count& count)
{
    return std::to_string(count.messages) + (count.messages == 1 ? " more message" : " more messages") + " from " +
           std::to_string(count.computers) + (count.computers == 1 ? " computer" : " computers");
}

std::string MarkupEscaped(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

} // namespace pellamy
