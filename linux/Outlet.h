#pragma once
// Where pellamy-inbox's messages go out (standard output, the system bus): each outlet a
// bounded queue drained by a thread of its own that does the blocking work, so that a reader
// that is slow or stops reading never holds up the network side.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pellamy {

// One message as it arrived: the three fields in the senders' OEM code page, as the record has them.
struct Message {
    std::string sender, recipient, text;
    std::uint32_t from = 0; // the datagram's source IPv4 address, host order
    std::int64_t time = 0;  // arrival, microseconds since the Unix epoch
};

class Outlet {
public:
    // Delivers one message; false when the outlet failed (standard output closed, say), after
    // which it delivers nothing more.
    using Deliver = std::function<bool(const Message&)>;
    // Called once the messages taken from the queue together are delivered, to send them on
    // in one go; false as for Deliver.
    using Flush = std::function<bool()>;

    // The messages that wait at most; the Windows Inbox keeps as many.
    static constexpr std::size_t kCapacity = 1000;

    // Deliver and Flush run on the outlet's thread, which starts here: the signals the program
    // takes itself must be blocked before.
    explicit Outlet(Deliver deliver, Flush flush = nullptr, std::size_t capacity = kCapacity);
    Outlet(const Outlet&) = delete;
    Outlet& operator=(const Outlet&) = delete;
    ~Outlet(); // Finish, with no time for what waits

    // Queues the messages (what arrived together), waiting for nothing but the queue's lock.
    // False when the queue was full and its oldest messages were dropped to make room.
    bool Put(std::vector<Message> messages);
    unsigned long Dropped() const { return m_dropped; }
    // A descriptor that becomes readable once the outlet has failed, for a poll loop.
    int FailedFd() const;
    // Lets the thread deliver what waits until deadline at most, and ends it. A thread stuck
    // in a delivery (a reader that never reads) is left to the end of the process, holding
    // what it needs.
    void Finish(std::chrono::steady_clock::time_point deadline);

private:
    struct State;
    static void Run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
    unsigned long m_dropped = 0;
};

} // namespace pellamy
