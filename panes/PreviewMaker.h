#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

// Makes the missing job previews of folders on a thread of its own, so that opening a job in a folder of
// many large jobs never holds up the window. Folders are done in the order they were asked for; the job
// being opened goes first in its folder, so its own picture shows soonest. Every signal is emitted on the
// thread the maker lives on (the GUI thread), in order.
//
// Destroying the maker stops it between two previews and waits for the one being written; a picture is
// replaced in one step, so a stop never leaves a torn file.
class CPreviewMaker : public QObject {
    Q_OBJECT
public:
    explicit CPreviewMaker(QObject* parent = nullptr);
    ~CPreviewMaker() override;
    CPreviewMaker(const CPreviewMaker&) = delete;
    CPreviewMaker& operator=(const CPreviewMaker&) = delete;

    // Queues the previews missing in `folder`. The folder is looked at when its turn comes; a folder
    // already waiting is not queued twice. viewWidth and ripColor are the values of the moment of the open.
    void MakeMissing(const std::filesystem::path& folder, const std::filesystem::path& firstJob, int viewWidth,
                     int ripColor);

    // True from MakeMissing until the last queued folder is done (as seen on the GUI thread).
    bool IsBusy() const { return m_busy; }

signals:
    // A picture was written beside its job.
    void previewReady(const QString& picturePath);
    // A job got no picture, and why.
    void previewFailed(const QString& jobPath, const QString& reason);
    // Jobs handled out of those found since the maker was last idle; done == total when it goes idle.
    void progress(int done, int total);
    // Every queued folder is done.
    void idle();

private:
    struct Request {
        std::filesystem::path folder;
        std::filesystem::path firstJob;
        int viewWidth;
        int ripColor;
    };

    void Run();
    bool NextRequest(Request& request);
    void MakeFolder(const Request& request);
    bool Stopping();
    // Runs `step` on the maker's own thread; dropped if the maker is gone by then.
    template <typename Step>
    void Post(Step step);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_requests;  // the front one is being made while m_working
    bool m_working = false;
    bool m_stop = false;

    // GUI-thread state.
    bool m_busy = false;
    int m_done = 0;
    int m_total = 0;

    std::thread m_thread;  // last: started once everything it uses exists
};
