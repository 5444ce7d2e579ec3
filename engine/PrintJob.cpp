#include "engine/PrintJob.h"

#include "shell/LanguageText.h"
#include "shell/Trace.h"

namespace {

struct StateText {
    int32_t state;
    const char* key;
    const char* defaultText;
};

constexpr StateText kStateTexts[] = {
    {JOB_HOLD, "25", "保持"},
    {JOB_WAIT, "28", "等待"},
    {JOB_OUTPUT, "27", "输出"},
    {JOB_PAUSE, "26", "暂停"},
    {JOB_OUTPUT_END, "29", "输出结束"},
    {JOB_OUTPUT_CANCEL, "210", "输出取消"},
    {JOB_OUTPUT_FAIL, "211", "输出失败"},
    {JOB_PREPROCESS, "212", "预处理..."},
};

}  // namespace

CPrintJob::CPrintJob(std::string strName, int32_t nCopies) : m_nCopies(nCopies), m_strName(std::move(strName)) {}

void CPrintJob::SetStatus(int32_t nStatus) {
    TraceLine("打印作业：设置打印任务的属性");
    m_nStatus.store(nStatus);
    UpdateStatusString();
}

bool CPrintJob::Take() {
    int32_t expected = JOB_WAIT;
    if (!m_nStatus.compare_exchange_strong(expected, JOB_OUTPUT)) return false;
    UpdateStatusString();
    return true;
}

void CPrintJob::UpdateStatusString() {
    TraceLine("打印作业：更新打印作业属性");
    const int32_t state = m_nStatus.load();
    for (const StateText& entry : kStateTexts) {
        if (entry.state != state) continue;
        // Looked up outside the lock: it reads the language files.
        std::string text = GetLanguageText("PANE", entry.key, entry.defaultText);
        std::lock_guard lock(m_statusMutex);
        m_strStatus = std::move(text);
        return;
    }
}

std::string CPrintJob::GetStatusString() {
    TraceLine("打印作业：获取打印作业属性");
    UpdateStatusString();
    std::lock_guard lock(m_statusMutex);
    return m_strStatus;
}

bool CPrintJob::SetProgress(int32_t nProgress) {
    return m_nProgress.exchange(nProgress) != nProgress;
}

bool CPrintJob::Pause() {
    TraceLine("End: 暂停打印作业");
    const int32_t state = m_nStatus.load();
    if (state == JOB_OUTPUT || state == 4 || state == 5) {
        std::lock_guard lock(m_controlMutex);
        m_pauseEvent.Set();
        m_resumeEvent.Reset();
        m_cancelEvent.Reset();
    }
    return true;
}

bool CPrintJob::Resume() {
    TraceLine("End: 打印作业：继续打印任务");
    if (m_nStatus.load() == JOB_PAUSE) {
        std::lock_guard lock(m_controlMutex);
        m_resumeEvent.Set();
        m_pauseEvent.Reset();
        m_cancelEvent.Reset();
    }
    return true;
}

bool CPrintJob::Cancel() {
    TraceLine("End: 取消打印任务");
    for (;;) {
        int32_t state = m_nStatus.load();
        if (state == JOB_WAIT) {
            // Not taken yet: put on hold. If the printing thread takes it at this very moment, the
            // exchange fails and the loop asks the printing thread instead.
            if (m_nStatus.compare_exchange_strong(state, JOB_HOLD)) {
                UpdateStatusString();
                return true;
            }
            continue;
        }
        // State 6 counts as printing: a job with copies still to come rests there between copies, and a
        // cancel must stop those copies rather than relabel a printed job as held.
        if (state == JOB_OUTPUT || state == JOB_PAUSE || state == 4 || state == 5 || state == JOB_OUTPUT_END) {
            std::lock_guard lock(m_controlMutex);
            m_cancelEvent.Set();
            m_pauseEvent.Reset();
            m_resumeEvent.Reset();
        }
        return true;
    }
}

int32_t CPrintJob::PollControl() const {
    std::lock_guard lock(m_controlMutex);
    int index = platform::PollFirst({&m_pauseEvent, &m_resumeEvent, &m_cancelEvent});
    return index < 0 ? CONTROL_NONE : index + 1;
}

int32_t CPrintJob::WaitWhilePaused(std::chrono::milliseconds timeout) const {
    platform::WaitForFirst({&m_resumeEvent, &m_cancelEvent}, timeout);
    return PollControl();
}
