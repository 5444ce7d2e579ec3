#pragma once

#include <QEvent>
#include <functional>
#include <memory>

#include "engine/PrintJob.h"

class CMainFrame;

// The job-status message: posted by the printing threads to the main window, carrying the job (kept alive
// by the event until it is handled) and the copy number counted from 1.
class CStatusChangedEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(1227);  // WM_STATUS_CHANGED

    CStatusChangedEvent(std::shared_ptr<CPrintJob> job, int32_t nCopy)
        : QEvent(kType), m_job(std::move(job)), m_nCopy(nCopy) {}

    const std::shared_ptr<CPrintJob>& Job() const { return m_job; }
    int32_t Copy() const { return m_nCopy; }

private:
    std::shared_ptr<CPrintJob> m_job;
    int32_t m_nCopy;
};

// Anything else a printing thread asks of the main window, posted behind the status events so that the
// window sees everything in the order it was asked.
class CPostedCallEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(1228);

    explicit CPostedCallEvent(std::function<void(CMainFrame&)> call) : QEvent(kType), m_call(std::move(call)) {}
    void Run(CMainFrame& frame) const { m_call(frame); }

private:
    std::function<void(CMainFrame&)> m_call;
};
