#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

// One line per driver call, flushed at once so that the log of a process that dies mid-job still tells
// where it stopped. Runs of identical WriteRipData calls fold into one line ("... x N"), written when the
// run ends, so that a job of millions of lines gives a log a person can read.
class CallLog {
public:
    // Appends to the file; a log that cannot be opened swallows its lines.
    explicit CallLog(const std::filesystem::path& file);
    ~CallLog() { EndRun(); }
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    bool IsOpen() const { return m_out.is_open(); }

    void Line(std::string_view text);
    // One accepted line set; kept back while the next one has the same count and result.
    void LineSet(int32_t count, int32_t result);
    // Writes the run kept back, if any.
    void EndRun();

private:
    void Put(std::string_view text);

    std::ofstream m_out;
    int32_t m_runCount = 0;
    int32_t m_runResult = 0;
    uint64_t m_runLength = 0;
};
