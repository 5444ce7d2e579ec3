#pragma once

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace platform {

class EventWaiter;

// A manual-reset event: once set it stays set, and wakes every waiter, until someone resets it.
class Event {
public:
    explicit Event(bool initiallySet = false) : m_set(initiallySet) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // True when the event was (or became) set within the time-out.
    bool Wait(std::chrono::milliseconds timeout) const;
    void Wait() const;

private:
    friend class EventWaiter;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cond;
    bool m_set;
    // Waiters of WaitForFirst; guarded by m_mutex so Set never touches a waiter that has left.
    mutable std::vector<EventWaiter*> m_waiters;
};

// Index (in the order given) of the first event that is set, waiting up to the time-out for one to be set;
// -1 when none was set in time. The order decides when several are set at once.
int WaitForFirst(std::initializer_list<const Event*> events, std::chrono::milliseconds timeout);

// Non-blocking form of WaitForFirst.
int PollFirst(std::initializer_list<const Event*> events);

}  // namespace platform
