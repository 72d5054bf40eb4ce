// pellamy-notify's choices: which messages become notifications, and the text it gives the
// notification server. The desktop test shows them reach a real one.
#include "linux/Notify.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using pellamy::FloodGate;

constexpr std::int64_t kSecond = 1'000'000;

// Times in seconds, and what the gate makes of each: 'S' shown, 'c' counted; "C<n>/<m>" a
// count of n messages from m computers shown at that time by the timer.
TEST(FloodGate, ShowsAtMostThreeInTenSecondsAndCountsTheRest)
{
    const struct {
        const char* what;
        std::vector<std::pair<double, const char*>> events; // time, computer ("" = the timer)
        std::string expected;
    } cases[] = {
        {"a quiet day", {{0, "a"}, {20, "a"}, {40, "b"}}, "SSS"},
        {"three at once, the fourth counted until the first is 10 s old",
         {{0, "a"}, {0, "a"}, {1, "a"}, {2, "a"}, {9.9, ""}, {10, ""}},
         "SSSc-C1/1"},
        {"a flood from two computers: one count, and no message shown while it waits",
         {{0, "a"}, {0, "b"}, {0, "a"}, {0, "b"}, {3, "a"}, {5, "b"}, {10, "a"}, {10, ""}},
         "SSSccccC4/2"},
        {"the count takes a place in the window, so the next messages wait for theirs",
         {{0, "a"}, {0, "a"}, {0, "a"}, {1, "a"}, {10, ""}, {10, "a"}, {10, "a"}, {11, "a"}, {19.9, "a"}, {20, ""}},
         "SSScC1/1SSccC2/1"},
        {"a window is 10 s: a message 10 s after the first of three is shown",
         {{0, "a"}, {5, "a"}, {9, "a"}, {10, "a"}, {14.9, "a"}}, "SSSSc"},
    };
    for (const auto& c : cases) {
        FloodGate gate;
        std::string made;
        for (const auto& [seconds, computer] : c.events) {
            const std::int64_t now = static_cast<std::int64_t>(seconds * kSecond);
            if (*computer) {
                made += gate.Admit(now, computer) ? "S" : "c";
                continue;
            }
            const std::optional<std::int64_t> due = gate.CountDue();
            const std::optional<FloodGate::Count> count = gate.TakeCount(now);
            // The timer is set for CountDue: the count comes exactly then, not before.
            EXPECT_EQ(due && *due <= now, count.has_value()) << c.what << " at " << seconds;
            made += count ? "C" + std::to_string(count->messages) + "/" + std::to_string(count->computers) : "-";
        }
        EXPECT_EQ(c.expected, made) << c.what;
    }
}

TEST(NotificationText, CountsInWordsAndEscapesMarkup)
{
    EXPECT_EQ("1 more message from 1 computer", pellamy::MoreMessages({1, 1}));
    EXPECT_EQ("37 more messages from 5 computers", pellamy::MoreMessages({37, 5}));
    EXPECT_EQ("2 more messages from 1 computer", pellamy::MoreMessages({2, 1}));
    EXPECT_EQ("&lt;b&gt;Tom &amp; Jerry&lt;/b&gt; \"caf\xC3\xA9\"", pellamy::MarkupEscaped("<b>Tom & Jerry</b> \"caf\xC3\xA9\""));
}

} // namespace
