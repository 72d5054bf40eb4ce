// The outlet's queue: a reader that does not keep up loses the oldest waiting messages, never the
// newest, and one that fails says so through the descriptor the program's loop watches. The
// LAN test shows a reader that never reads.
#include "linux/Outlet.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <condition_variable>
#include <mutex>

namespace {

using pellamy::Message;
using pellamy::Outlet;

Message Text(const char* text) { return {"", "", text, 0, 0}; }

TEST(Outlet, DropsTheOldestWaitingMessagesWhenItsReaderIsSlow)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    std::string delivered, flushed;
    // The first delivery waits until the test opens the way.
    Outlet outlet(
        [&](const Message& message) {
            std::unique_lock<std::mutex> lock(mutex);
            delivered += message.text;
            changed.notify_all();
            changed.wait(lock, [&] { return open; });
            return true;
        },
        [&] {
            const std::lock_guard<std::mutex> lock(mutex);
            flushed = delivered;
            return true;
        },
        3);
    outlet.Put({Text("0")});
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return !delivered.empty(); }));
    }
    // Three have room; of what comes later, the oldest waiting make room.
    std::string room;
    for (const auto& together : {std::vector<Message>{Text("1"), Text("2")}, {Text("3")}, {Text("4"), Text("5")}, {Text("6")}})
        room += outlet.Put(together) ? "y" : "n";
    {
        const std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
    outlet.Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10));
    EXPECT_EQ("yynn", room);
    EXPECT_EQ(3u, outlet.Dropped());
    EXPECT_EQ("0456", flushed);
}

TEST(Outlet, SaysWhenItFailsAndTakesNothingMore)
{
    int deliveries = 0;
    Outlet outlet([&](const Message&) { return ++deliveries > 1; });
    outlet.Put({Text("closed")});
    pollfd failed = {outlet.FailedFd(), POLLIN, 0};
    ASSERT_EQ(1, poll(&failed, 1, 10000));
    EXPECT_TRUE(outlet.Put({Text("ignored")}));
    outlet.Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10));
    EXPECT_EQ(1, deliveries);
}

} // namespace
