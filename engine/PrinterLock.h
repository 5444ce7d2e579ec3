#pragma once

#include <chrono>
#include <functional>
#include <mutex>

// Keeps an engine copy and a network job from driving the printer library at the same moment: whoever
// comes second waits for the first to finish its job.
class PrinterLock {
public:
    // Waits for the printer, asking `abandon` every 100 ms whether the wait should end (a cancel, a stop).
    // True when the printer is now held; release it with Unlock.
    bool Acquire(const std::function<bool()>& abandon) {
        while (!m_mutex.try_lock_for(std::chrono::milliseconds(100))) {
            if (abandon && abandon()) return false;
        }
        return true;
    }
    void Unlock() { m_mutex.unlock(); }

private:
    std::timed_mutex m_mutex;
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
