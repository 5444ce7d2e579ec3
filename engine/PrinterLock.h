#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// Keeps an engine copy and a network job from driving the printer library at the same moment: whoever
// comes second waits for the first to finish its job.
class PrinterLock {
public:
    // Waits for the printer, asking `abandon` every 100 ms whether the wait should end (a cancel, a stop).
    // True when the printer is now held; release it with Unlock.
    bool Acquire(const std::function<bool()>& abandon) {
        std::unique_lock lock(m_mutex);
        while (m_held) {
            m_released.wait_for(lock, std::chrono::milliseconds(100));
            if (m_held && abandon && abandon()) return false;
        }
        m_held = true;
        return true;
    }
    void Unlock() {
        {
            std::lock_guard lock(m_mutex);
            m_held = false;
        }
        m_released.notify_one();
    }

private:
    // A flag under a plain mutex rather than a timed mutex: the waits stay visible to ThreadSanitizer.
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
};

// Holds the printer for one job, released on every path.
class PrinterLockHolder {
public:
    PrinterLockHolder() = default;
    ~PrinterLockHolder() { Release(); }
    PrinterLockHolder(const PrinterLockHolder&) = delete;
    PrinterLockHolder& operator=(const PrinterLockHolder&) = delete;

    bool Acquire(PrinterLock& lock, const std::function<bool()>& abandon) {
        Release();
        if (lock.Acquire(abandon)) m_lock = &lock;
        return m_lock != nullptr;
    }
    void Release() {
        if (m_lock) m_lock->Unlock();
        m_lock = nullptr;
    }

private:
    PrinterLock* m_lock = nullptr;
};
