#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

// Simulates a printer's speed: line N of a job is done no earlier than N / linesPerSecond seconds after the
// job started. Measured from the start rather than per line, so sleep overshoot does not add up.
class LinePacer {
public:
    explicit LinePacer(int linesPerSecond = 0) : m_linesPerSecond(linesPerSecond) {}

    void Start() { m_start = std::chrono::steady_clock::now(); }

    void WaitForLine(uint64_t line) const {
        if (m_linesPerSecond <= 0) return;
        const std::chrono::duration<double> due(static_cast<double>(line) / m_linesPerSecond);
        std::this_thread::sleep_until(m_start +
                                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(due));
    }

private:
    int m_linesPerSecond;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};
