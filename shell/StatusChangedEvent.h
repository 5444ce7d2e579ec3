#pragma once

#include <QEvent>
#include <memory>

#include "engine/PrintJob.h"

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
