#include "shell/ConsoleHost.h"

#include <algorithm>

CConsoleHost::CConsoleHost(std::FILE* out, std::FILE* err, bool bInteractive)
    : m_out(out), m_err(err), m_bInteractive(bInteractive) {}

void CConsoleHost::SetLayout(int32_t xCopies, int32_t xSpacing, int32_t yCopies, int32_t ySpacing) {
    m_xCopies = xCopies;
    m_xSpacing = xSpacing;
    m_yCopies = yCopies;
    m_ySpacing = ySpacing;
}

void CConsoleHost::WriteLine(const std::string& line) {
    if (m_barShown) std::fputs("\n", m_out);
    m_barShown = false;
    std::fputs(line.c_str(), m_out);
    std::fputs("\n", m_out);
    std::fflush(m_out);
}

void CConsoleHost::PostStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) {
    const int32_t state = job->GetStatus();
    const int32_t progress = job->GetProgress();
    const std::string text = job->GetStatusString();
    std::lock_guard lock(m_mutex);
    Seen& seen = m_jobs[job];
    const bool stateChanged = seen.state != state || seen.copy != nCopy;
    seen = {state, progress, nCopy};
    const std::string head = job->GetName() + "  copy " + std::to_string(nCopy) + "/" +
                             std::to_string(std::max(job->GetCopies(), nCopy)) + "  ";
    if (m_bInteractive && state == JOB_OUTPUT) {
        const int filled = std::clamp(progress, 0, 100) / 5;
        std::fprintf(m_out, "\r%s[%s%s] %3d%% ", head.c_str(), std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(20 - filled), ' ').c_str(), progress);
        std::fflush(m_out);
        m_barShown = true;
        return;
    }
    if (stateChanged) WriteLine(head + text + " (" + std::to_string(progress) + "%)");
}

void CConsoleHost::AddPrintJob(const std::shared_ptr<CPrintJob>& job) {
    std::lock_guard lock(m_mutex);
    m_jobs.try_emplace(job);
    WriteLine("received " + job->GetName());
}

void CConsoleHost::ShowHead(const RipHead& head) {
    std::lock_guard lock(m_mutex);
    WriteLine("  header: " + std::to_string(head.width) + " x " + std::to_string(head.height) + " pixels, " +
              std::to_string(head.color) + " planes of " + std::to_string(head.byteperline) + " bytes, " +
              std::to_string(head.xdpi) + " x " + std::to_string(head.ydpi) + " dpi");
}

void CConsoleHost::ReportMessage(const std::string& message) {
    std::lock_guard lock(m_mutex);
    if (m_barShown) std::fputs("\n", m_out);
    m_barShown = false;
    std::fflush(m_out);
    std::fprintf(m_err, "Tessarin: %s\n", message.c_str());
    std::fflush(m_err);
}

int CConsoleHost::JobCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_jobs.size()) + m_forgotten;
}

int CConsoleHost::UnfinishedCount() const {
    std::lock_guard lock(m_mutex);
    return m_forgottenUnfinished + static_cast<int>(std::count_if(m_jobs.begin(), m_jobs.end(), [](const auto& entry) {
        return entry.first->GetStatus() != JOB_OUTPUT_END;
    }));
}

void CConsoleHost::ForgetEndedJobs() {
    std::lock_guard lock(m_mutex);
    // Judged by what was posted, not by the job's state now: the last post of a job comes after its last
    // state change, so nothing is heard of a job once it is let go. A finished copy ends the job only
    // when it was the last one.
    std::erase_if(m_jobs, [this](const auto& entry) {
        const Seen& seen = entry.second;
        const bool over = seen.state == JOB_OUTPUT_END ? seen.copy >= entry.first->GetCopies() : IsJobOver(seen.state);
        if (!over) return false;
        ++m_forgotten;
        m_forgottenUnfinished += seen.state != JOB_OUTPUT_END;
        return true;
    });
}
