// A reader that does not keep up loses the oldest waiting messages, never the newest. The LAN
// test shows a reader that never reads, and one that goes.
#include "linux/Outlet.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

using pellamy::Message;

TEST(Outlet, DropsTheOldestWaitingMessagesWhenItsReaderIsSlow)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    std::string delivered;
    // Each delivery waits until the test opens the way.
    pellamy::Outlet outlet(
        [&](const Message& message) {
            std::unique_lock<std::mutex> lock(mutex);
            delivered += message.text;
            changed.notify_all();
            return changed.wait_for(lock, std::chrono::seconds(10), [&] { return open; });
        },
        nullptr, 3);
    const auto text = [](const char* text) { return Message{"", "", text, 0, 0}; };
    outlet.Put({text("0")});
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return !delivered.empty(); }));
    // While "0" is delivered, three have room; of what comes later, the oldest waiting make room.
    std::string room;
    for (const auto& together : {std::vector<Message>{text("1"), text("2")}, {text("3")}, {text("4"), text("5")}, {text("6")}})
        room += outlet.Put(together) ? "y" : "n";
    open = true;
    changed.notify_all();
    lock.unlock();
    outlet.Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10));
    EXPECT_EQ("yynn", room);
    EXPECT_EQ(3u, outlet.Dropped());
    EXPECT_EQ("0456", delivered);
}

} // namespace
