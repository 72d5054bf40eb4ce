#pragma once
// What pellamy-notify makes of the messages it is told of: which become notifications, and
// their text.
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>

namespace pellamy {

// Keeps a flood calm: at most kLimit notifications in any kWindow. A message that finds no
// room is counted, and the count is told in one notification as soon as there is room again;
// until then every message joins the count. Times are in microseconds of a steady clock.
class FloodGate {
public:
    static constexpr std::size_t kLimit = 3;
    static constexpr std::int64_t kWindow = 10'000'000;

    struct Count {
        unsigned long messages = 0;
        std::size_t computers = 0;
    };

    // Whether a message from a computer (its address) that comes now is to be shown now;
    // if not, it is counted.
    bool Admit(std::int64_t now, const std::string& computer);
    // When the count can be shown; nullopt when nothing is counted.
    std::optional<std::int64_t> CountDue() const;
    // The count, if there is one and room for it now; it is shown, and starts again from 0.
    std::optional<Count> TakeCount(std::int64_t now);

private:
    bool Room(std::int64_t now);

    std::deque<std::int64_t> m_shown; // the last notifications' times, oldest first
    unsigned long m_counted = 0;
    std::set<std::string> m_computers;
};

// "37 more messages from 5 computers", "1 more message from 1 computer".
std::string MoreMessages(const FloodGate::Count& count);

// The text as a notification server that reads markup shows it as it is: &, < and > escaped.
std::string MarkupEscaped(const std::string& text);

} // namespace pellamy
