#pragma once

// A printer driver library for tests: it records every call with its bytes in memory and answers as the
// test tells it. The test reaches the state through the extra entry RecordingPrinter_State.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct RecordedCall {
    std::string entry;
    int32_t arg = 0;
    std::vector<uint8_t> data;  // the header of StartPrint, the line set of WriteRipData
};

struct RecordingState {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<RecordedCall> calls;

    // Answers; WriteRipData fails with writeResult at its writeFailAt-th call (1-based, 0 = never).
    int32_t initResult = 1;
    int32_t startResult = 1;
    int32_t writeFailAt = 0;
    int32_t writeResult = 0;
    // Called (without the mutex held) after each WriteRipData is recorded, with its 1-based number.
    std::function<void(int32_t)> onWrite;

    void Reset() {
        std::lock_guard lock(mutex);
        calls.clear();
        initResult = startResult = 1;
        writeFailAt = writeResult = 0;
        onWrite = nullptr;
    }
    std::vector<RecordedCall> Calls() {
        std::lock_guard lock(mutex);
        return calls;
    }
    std::vector<std::string> Entries() {
        std::lock_guard lock(mutex);
        std::vector<std::string> names;
        for (const auto& c : calls) names.push_back(c.entry);
        return names;
    }
};

extern "C" RecordingState* RecordingPrinter_State();
using PFN_RecordingPrinter_State = RecordingState* (*)();
