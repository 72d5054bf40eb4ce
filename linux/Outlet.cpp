#include "linux/Outlet.h"

#include "linux/Net.h"

#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace pellamy {

struct Outlet::State {
    Deliver deliver;
    Flush flush;
    std::size_t capacity;
    Fd failure{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};

    std::mutex mutex;
    std::condition_variable work; // messages wait, or the end
    std::condition_variable idle; // all delivered, or failed
    std::deque<Message> waiting;
    bool busy = false;
    bool finishing = false;
    bool failed = false;
};

Outlet::Outlet(Deliver deliver, Flush flush, std::size_t capacity)
    : m_state(std::make_shared<State>())
{
    m_state->deliver = std::move(deliver);
    m_state->flush = std::move(flush);
    m_state->capacity = capacity;
    m_thread = std::thread(Run, m_state);
}

Outlet::~Outlet() { Finish(std::chrono::steady_clock::now()); }

void Outlet::Run(const std::shared_ptr<State>& state)
{
    // Woken, the thread does not take the processor from the network side: it writes when
    // the loop waits, or on another processor, and what arrived meanwhile goes with it.
    const sched_param priority = {};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &priority);
    State& s = *state;
    std::deque<Message> batch;
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        s.work.wait(lock, [&s] { return !s.waiting.empty() || s.finishing; });
        if (s.waiting.empty())
            return;
        // All that waits goes out together, without the lock: Put never waits for a delivery.
        batch.swap(s.waiting);
        s.busy = true;
        lock.unlock();
        bool delivered = true;
        for (const Message& message : batch)
            if (!(delivered = s.deliver(message)))
                break;
        delivered = delivered && (!s.flush || s.flush());
        batch.clear();
        lock.lock();
        s.busy = false;
        if (!delivered) {
            s.failed = true;
            s.waiting.clear();
            eventfd_write(s.failure.Get(), 1);
        }
        s.idle.notify_all();
        if (!delivered)
            return;
    }
}

bool Outlet::Put(std::vector<Message> messages)
{
    State& s = *m_state;
    const unsigned long dropped = m_dropped;
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.failed)
        return true;
    const bool idle = s.waiting.empty();
    for (Message& message : messages) {
        if (s.waiting.size() == s.capacity) {
            s.waiting.pop_front();
            ++m_dropped;
        }
        s.waiting.push_back(std::move(message));
    }
    lock.unlock();
    // One wake-up for what arrived together, which is written together; after the lock is
    // let go, so that the thread does not wake only to wait for it.
    if (idle)
        s.work.notify_one();
    return m_dropped == dropped;
}

int Outlet::FailedFd() const { return m_state->failure.Get(); }

void Outlet::Finish(std::chrono::steady_clock::time_point deadline)
{
    if (!m_thread.joinable())
        return;
    State& s = *m_state;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.finishing = true;
    s.work.notify_one();
    const bool done = s.idle.wait_until(lock, deadline, [&s] { return s.failed || (s.waiting.empty() && !s.busy); });
    lock.unlock();
    if (done)
        m_thread.join();
    else
        m_thread.detach();
}

} // namespace pellamy
