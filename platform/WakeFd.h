#pragma once

#include <chrono>

namespace platform {

// A wake-up signal that can be waited on together with other descriptors (an eventfd): a thread that
// waits in poll() for a folder or a socket also wakes when another thread signals it.
class WakeFd {
public:
    WakeFd();
    ~WakeFd();
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;

    int Fd() const { return m_fd; }
    void Signal();
    // Consumes pending signals; true when there were any.
    bool Clear();
    // Waits up to the time-out for a signal (and consumes it).
    bool Wait(std::chrono::milliseconds timeout);

private:
    int m_fd;
};

}  // namespace platform
