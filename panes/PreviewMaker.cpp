#include "panes/PreviewMaker.h"

#include <algorithm>
#include <vector>

#include "engine/RipFile.h"
#include "shell/Trace.h"

namespace {

QString ToQString(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

}  // namespace

CPreviewMaker::CPreviewMaker(QObject* parent) : QObject(parent), m_thread([this] { Run(); }) {}

CPreviewMaker::~CPreviewMaker() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    // What the thread posted and the GUI thread has not run yet goes with this object.
}

void CPreviewMaker::MakeMissing(const std::filesystem::path& folder, const std::filesystem::path& firstJob,
                                int viewWidth, int ripColor) {
    {
        std::lock_guard lock(m_mutex);
        // A folder being made now is looked at again: jobs may have come since it was listed.
        const auto notStarted = m_requests.begin() + (m_working ? 1 : 0);
        const bool waiting = std::any_of(notStarted, m_requests.end(),
                                         [&](const Request& r) { return r.folder == folder; });
        if (waiting) return;
        m_requests.push_back({folder, firstJob, viewWidth, ripColor});
    }
    m_busy = true;
    m_wake.notify_one();
}

template <typename Step>
void CPreviewMaker::Post(Step step) {
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

bool CPreviewMaker::Stopping() {
    std::lock_guard lock(m_mutex);
    return m_stop;
}

bool CPreviewMaker::NextRequest(Request& request) {
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_stop || !m_requests.empty(); });
    if (m_stop) return false;
    request = m_requests.front();
    m_working = true;
    return true;
}

void CPreviewMaker::Run() {
    Request request;
    while (NextRequest(request)) {
        MakeFolder(request);
        bool last = false;
        {
            std::lock_guard lock(m_mutex);
            m_requests.pop_front();
            m_working = false;
            last = m_requests.empty();
        }
        if (last) {
            Post([this] {
                // A folder may have been queued after the thread found the queue empty. The lock is given
                // up before the signal: a slot may queue the next folder.
                {
                    std::lock_guard lock(m_mutex);
                    if (!m_requests.empty()) return;
                }
                m_busy = false;
                m_done = m_total = 0;
                emit idle();
            });
        }
    }
}

void CPreviewMaker::MakeFolder(const Request& request) {
    std::vector<std::filesystem::path> jobs = CRipFile::JobsWithoutPreview(request.folder);
    auto first = std::find(jobs.begin(), jobs.end(), request.firstJob);
    if (first != jobs.end()) std::rotate(jobs.begin(), first, first + 1);
    const int found = static_cast<int>(jobs.size());
    Post([this, found] {
        m_total += found;
        emit progress(m_done, m_total);
    });
    for (const auto& job : jobs) {
        if (Stopping()) return;
        const PreviewResult result = CRipFile::MakePreview(job, request.viewWidth, request.ripColor);
        if (!result) TraceLine("%s: %.*s", job.c_str(), static_cast<int>(result.Reason().size()),
                               result.Reason().data());
        Post([this, job, ok = bool(result), reason = QString::fromUtf8(result.Reason().data(),
                                                                        qsizetype(result.Reason().size()))] {
            ++m_done;
            if (ok)
                emit previewReady(ToQString(CRipFile::PreviewPath(job)));
            else
                emit previewFailed(ToQString(job), reason);
            emit progress(m_done, m_total);
        });
    }
}
