#include "platform/Event.h"

#include <algorithm>

namespace platform {

// One waiter of WaitForFirst, registered with every event it waits on for the duration of the wait.
class EventWaiter {
public:
    explicit EventWaiter(std::initializer_list<const Event*> events) : m_events(events) {
        for (const Event* e : m_events) {
            std::lock_guard lock(e->m_mutex);
            e->m_waiters.push_back(this);
        }
    }
    ~EventWaiter() {
        for (const Event* e : m_events) {
            std::lock_guard lock(e->m_mutex);
            std::erase(e->m_waiters, this);
        }
    }
    EventWaiter(const EventWaiter&) = delete;
    EventWaiter& operator=(const EventWaiter&) = delete;

    void Notify() {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
        m_cond.notify_all();
    }

    int FirstSet() const {
        int index = 0;
        for (const Event* e : m_events) {
            if (e->IsSet()) return index;
            ++index;
        }
        return -1;
    }

    int Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            int index = FirstSet();
            if (index >= 0) return index;
            bool signalled = false;
            {
                // Event mutexes are taken before the waiter's (Set notifies under its own), so the events
                // are only looked at once this lock is given up again.
                std::unique_lock lock(m_mutex);
                signalled = m_cond.wait_until(lock, deadline, [this] { return m_signalled; });
                m_signalled = false;
            }
            if (!signalled) return FirstSet();
        }
    }

private:
    std::vector<const Event*> m_events;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_signalled = false;
};

void Event::Set() {
    std::lock_guard lock(m_mutex);
    m_set = true;
    m_cond.notify_all();
    for (EventWaiter* w : m_waiters) w->Notify();
}

void Event::Reset() {
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool Event::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_set;
}

bool Event::Wait(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_cond.wait_for(lock, timeout, [this] { return m_set; });
}

void Event::Wait() const {
    std::unique_lock lock(m_mutex);
    m_cond.wait(lock, [this] { return m_set; });
}

int WaitForFirst(std::initializer_list<const Event*> events, std::chrono::milliseconds timeout) {
    if (timeout <= std::chrono::milliseconds::zero()) return PollFirst(events);
    EventWaiter waiter(events);
    return waiter.Wait(timeout);
}

int PollFirst(std::initializer_list<const Event*> events) {
    int index = 0;
    for (const Event* e : events) {
        if (e->IsSet()) return index;
        ++index;
    }
    return -1;
}

}  // namespace platform
