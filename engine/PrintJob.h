#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Event.h"

// Job states; the values are shown to and stored by other programs, so they never change.
enum JobState : int32_t {
    JOB_HOLD = 0,
    JOB_WAIT = 1,
    JOB_OUTPUT = 2,
    JOB_PAUSE = 3,
    JOB_OUTPUT_END = 6,
    JOB_OUTPUT_CANCEL = 7,
    JOB_OUTPUT_FAIL = 8,
    JOB_PREPROCESS = 9,
};

// A state in which no more printing happens to the job (unless another copy of it starts).
constexpr bool IsJobOver(int32_t state) {
    return state == JOB_OUTPUT_END || state == JOB_OUTPUT_CANCEL || state == JOB_OUTPUT_FAIL;
}

// What the operator last asked of the job, as PollControl reports it.
enum ControlRequest : int32_t {
    CONTROL_NONE = 0,
    CONTROL_PAUSE = 1,
    CONTROL_RESUME = 2,
    CONTROL_CANCEL = 3,
};

// The fixed name of a job received over TCP.
inline constexpr const char* kNetworkJobName = "网络接口打印任务";

// One print job. The GUI thread asks for pause, resume and cancel through three manual-reset events;
// the thread printing the job polls them between raster lines and changes the state itself.
// State and progress are atomics; the state text is rebuilt under a lock, so any thread may ask for it.
class CPrintJob {
public:
    CPrintJob(std::string strName, int32_t nCopies);
    CPrintJob(const CPrintJob&) = delete;
    CPrintJob& operator=(const CPrintJob&) = delete;

    int32_t GetStatus() const { return m_nStatus.load(); }
    void SetStatus(int32_t nStatus);
    // The printing thread's claim of a waiting job: moves 1 → 2 unless a cancel put it on hold first.
    bool Take();

    void UpdateStatusString();
    // Rebuilt first, so the text follows a change of interface language.
    std::string GetStatusString();

    int32_t GetProgress() const { return m_nProgress.load(); }
    // False, and nothing changes, when the value is the current one: callers post only on true.
    bool SetProgress(int32_t nProgress);

    int32_t GetCopies() const { return m_nCopies; }
    const std::string& GetName() const { return m_strName; }

    bool Pause();
    bool Resume();
    bool Cancel();
    bool IsCancelRequested() const { return m_cancelEvent.IsSet(); }

    // One non-blocking look at the events in the order pause, resume, cancel.
    int32_t PollControl() const;
    // While paused: waits until resume or cancel is asked for (or the time-out passes), then polls.
    int32_t WaitWhilePaused(std::chrono::milliseconds timeout) const;

private:
    std::atomic<int32_t> m_nStatus{JOB_WAIT};
    const int32_t m_nCopies;
    std::atomic<int32_t> m_nProgress{0};
    const std::string m_strName;

    std::mutex m_statusMutex;
    std::string m_strStatus;

    // A request sets its event and resets the other two as one step, so a poll never sees a half-made
    // change (a cancel of a paused job must not read as a pause, nor as no request at all).
    mutable std::mutex m_controlMutex;
    platform::Event m_cancelEvent;
    platform::Event m_pauseEvent;
    platform::Event m_resumeEvent;
};
