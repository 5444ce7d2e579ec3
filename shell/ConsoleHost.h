#pragma once

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "engine/PrintHost.h"

// The PrintHost of the headless service: progress and messages on the console, layout values from the
// command line. On a terminal the job being printed shows as a bar; otherwise a line per state change.
class CConsoleHost : public PrintHost {
public:
    CConsoleHost(std::FILE* out, std::FILE* err, bool bInteractive);

    void SetLayout(int32_t xCopies, int32_t xSpacing, int32_t yCopies, int32_t ySpacing);

    void PostStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) override;
    void AddPrintJob(const std::shared_ptr<CPrintJob>& job) override;
    int32_t GetXCopies() override { return m_xCopies; }
    int32_t GetXSpacing() override { return m_xSpacing; }
    int32_t GetYCopies() override { return m_yCopies; }
    int32_t GetYSpacing() override { return m_ySpacing; }
    void BeginAdjustment() override {}
    void EndAdjustment(bool) override {}
    void ShowHead(const RipHead& head) override;
    void BrowseToFolder(const std::filesystem::path&) override {}
    void ReportMessage(const std::string& message) override;

    // Jobs seen so far, and how many of them did not end with their output finished.
    int JobCount() const;
    int UnfinishedCount() const;
    // Lets go of the jobs whose printing is over (the last copy finished, or the job failed or was
    // cancelled), keeping them in both counts; a long-running service calls it so that what it remembers
    // does not grow with every job.
    void ForgetEndedJobs();

private:
    struct Seen {
        int32_t state = JOB_WAIT;
        int32_t progress = -1;
        int32_t copy = 0;
    };
    void WriteLine(const std::string& line);

    std::FILE* m_out;
    std::FILE* m_err;
    const bool m_bInteractive;
    std::atomic<int32_t> m_xCopies{1}, m_xSpacing{0}, m_yCopies{1}, m_ySpacing{0};

    mutable std::mutex m_mutex;
    std::map<std::shared_ptr<CPrintJob>, Seen> m_jobs;
    int m_forgotten = 0;
    int m_forgottenUnfinished = 0;
    bool m_barShown = false;
};
