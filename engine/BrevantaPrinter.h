#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/HotFolderMonitor.h"
#include "engine/PrintHost.h"
#include "engine/PrintJob.h"
#include "engine/PrinterLock.h"
#include "platform/WakeFd.h"

// The print engine: a queue of jobs and one worker thread that takes the waiting jobs in queue order and
// streams each copy into the printer driver library. When no job waits, the worker watches the hot folder.
class CBrevantaPrinter {
public:
    // Result codes of ProcessJob.
    enum Result : int32_t {
        RESULT_NOT_STARTED = -1,  // InitPrinter or StartPrint refused
        RESULT_FAILED = 0,        // file, library, header or layout refused, or WriteRipData returned 0
        RESULT_STOPPED = 1,       // cancelled, or WriteRipData < 0
        RESULT_PRINTED = 2,
    };

    CBrevantaPrinter(std::filesystem::path strPrinterDll, PrintHost& host, std::filesystem::path strHotFolder,
                     std::shared_ptr<PrinterLock> printerLock = std::make_shared<PrinterLock>());
    virtual ~CBrevantaPrinter();
    CBrevantaPrinter(const CBrevantaPrinter&) = delete;
    CBrevantaPrinter& operator=(const CBrevantaPrinter&) = delete;

    void SetPrinterSettingDll(std::filesystem::path path) { m_strPrinterSettingDll = std::move(path); }

    bool Start();
    // Cancels the job being printed (the library is told to abort) and waits for the worker.
    bool Stop();

    void AddPrintJob(std::shared_ptr<CPrintJob> job);
    std::shared_ptr<CPrintJob> GetNextWaitingJob() const;
    // True when no job waits and none is being printed.
    bool IsIdle() const;

    // Prints one copy (nCopy counts from 1) with the layout values given.
    virtual int32_t ProcessJob(const std::shared_ptr<CPrintJob>& job, int32_t cX, int32_t sX, int32_t nCopy,
                               int32_t sY);

    virtual int32_t RemoveJob(int index);
    virtual int32_t RemoveJob(const std::string& name);
    virtual int32_t RemoveAllJobs();
    // Removes the jobs whose printing is over (finished, cancelled or failed) and that no copy is printing
    // any more; returns how many. A service without a job list to clear calls it, so that months of jobs
    // do not pile up in the queue.
    int32_t RemoveEndedJobs();
    virtual int32_t GetJobNames(std::vector<std::string>& names) const;
    virtual int32_t ForEachJob(intptr_t value, const std::function<void(CPrintJob&, intptr_t)>& fn) const;
    virtual int32_t PauseJob(const std::shared_ptr<CPrintJob>& job);
    virtual int32_t PauseJob(int index);
    virtual int32_t PauseJob(const std::string& name);
    virtual int32_t ResumeJob(const std::shared_ptr<CPrintJob>& job);
    virtual int32_t ResumeJob(int index);
    virtual int32_t ResumeJob(const std::string& name);
    virtual int32_t CancelJob(const std::shared_ptr<CPrintJob>& job);
    virtual int32_t CancelJob(int index);
    virtual int32_t CancelJob(const std::string& name);
    virtual int32_t ShowSettingDialog(void* parentWindow);

    // One hot-folder watch cycle: prints the job files that are complete; when there are none, waits up to
    // 500 ms for a change in the folder (or for a job added to the queue).
    virtual void MonitorHotFolder(const std::filesystem::path& folder);
    // How long a hot-folder file must stay unchanged to count as complete where the file system cannot tell
    // whether it is still open for writing, and how long an empty or held file is waited for.
    void SetHotFolderTimes(std::chrono::milliseconds settle, std::chrono::milliseconds giveUp);

    const std::filesystem::path& PrinterDll() const { return m_strPrinterDll; }
    const std::shared_ptr<PrinterLock>& GetPrinterLock() const { return m_printerLock; }

protected:
    PrintHost& Host() { return m_host; }
    bool StopRequested() const { return m_bStop.load(); }
    // Prints every copy of a job the worker has taken, stopping at the first copy that does not finish or at
    // a cancel; `copies` and the layout reader differ between queue and hot-folder jobs.
    void PrintCopies(const std::shared_ptr<CPrintJob>& job, int32_t copies, bool useLayout);

private:
    class CopyRun;

    void JobMonitorThread();
    std::shared_ptr<CPrintJob> TakeNextWaitingJob();
    std::shared_ptr<CPrintJob> JobAt(int index) const;
    std::shared_ptr<CPrintJob> JobNamed(const std::string& name) const;
    void Post(const std::shared_ptr<CPrintJob>& job, int32_t nCopy);
    void FailJob(const std::shared_ptr<CPrintJob>& job, int32_t nCopy, const std::string& cause);
    void PrintHotFile(const std::filesystem::path& folder, const std::string& name);
    void DisposeHotFile(const std::filesystem::path& folder, const std::string& name);
    void SetCurrent(std::shared_ptr<CPrintJob> job);

    PrintHost& m_host;
    const std::filesystem::path m_strPrinterDll;
    std::filesystem::path m_strPrinterSettingDll;
    const std::filesystem::path m_strHotFolder;
    std::shared_ptr<PrinterLock> m_printerLock;

    mutable std::mutex m_jobsMutex;
    std::vector<std::shared_ptr<CPrintJob>> m_jobs;
    std::shared_ptr<CPrintJob> m_current;  // the job being printed, guarded by m_jobsMutex

    std::atomic<bool> m_bStop{false};
    platform::WakeFd m_wake;  // a job was added, or a stop requested
    std::thread m_thread;

    // Worker thread only.
    std::unique_ptr<CHotFolderMonitor> m_hotFolder;
    std::chrono::milliseconds m_hotSettle{1000};
    std::chrono::milliseconds m_hotGiveUp{60000};
};
