#include "engine/BrevantaPrinter.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/PrinterLibrary.h"
#include "platform/File.h"
#include "platform/ProgramDirectory.h"
#include "shell/IniReader.h"
#include "shell/Trace.h"

using namespace std::chrono_literals;

namespace {

// Raw job data read per system call: large enough that reading costs little next to the printer library,
// small enough that memory stays flat whatever the job's size.
constexpr uint64_t kReadChunkBytes = 4ull << 20;

// A failure inside one copy, caught once at the end of the copy. Codes as the engine has always used
// them: 0 file, library or header; 2 cancel or a library error; 3 the library's print failure.
struct CopyError {
    int code;
    std::string cause;  // empty for a cancel, which is no failure
};

}  // namespace

// The resources and the line loop of one copy. Everything it holds is released when it goes out of scope,
// which is the aftercare's "free the buffer, close the file, unload the library".
class CBrevantaPrinter::CopyRun {
public:
    CopyRun(CBrevantaPrinter& engine, const std::shared_ptr<CPrintJob>& job, int32_t nCopy)
        : m_engine(engine), m_job(job), m_nCopy(nCopy) {}

    void Open() {
        m_file = platform::File::OpenRead(m_job->GetName());
        if (!m_file) throw CopyError{0, "the job file cannot be opened"};
    }

    void Bind() {
        std::string error;
        m_library = CPrinterLibrary::BindPrinterLibrary(m_engine.m_strPrinterDll, error);
        if (!m_library) throw CopyError{0, error};
    }

    // Reads the header, derives its values and widens the line for the X copies: cX cells of L = B + sX - 8
    // bytes per plane row.
    void ReadHead(int32_t cX, int32_t sX) {
        auto length = m_file.Size();
        std::array<uint8_t, RipHead::kSize> bytes{};
        if (!length || *length < RipHead::kSize || !m_file.ReadAt(bytes.data(), bytes.size(), 0))
            throw CopyError{0, std::string(HeadErrorText(HeadError::TooShort))};
        m_head = RipHead::FromBytes(bytes);
        HeadError error = m_head.DeriveForFile(*length);
        if (error != HeadError::None) throw CopyError{0, std::string(HeadErrorText(error))};
        if (!m_file.Seek(RipHead::kSize)) throw CopyError{0, "the job file cannot be read"};

        const int64_t cell = int64_t{m_head.byteperline} + sX - 8;
        if (cX < 1) throw CopyError{0, "X copies must be at least 1"};
        if (cell <= 0) throw CopyError{0, "the X spacing leaves no bytes of the raster line"};
        const uint64_t widened = static_cast<uint64_t>(cX) * static_cast<uint64_t>(cell);
        const uint64_t width = uint64_t{m_head.width} * static_cast<uint64_t>(cX);
        if (widened * m_head.color > RipHead::kMaxLineBytes || width > std::numeric_limits<uint32_t>::max())
            throw CopyError{0, "the X copies make a raster line beyond 256 MiB"};

        m_B = m_head.byteperline;
        m_L = static_cast<uint64_t>(cell);
        m_cX = static_cast<uint64_t>(cX);
        m_planes = m_head.color;
        m_R = widened;
        m_head.byteperline = static_cast<uint32_t>(widened);
        m_head.width = static_cast<uint32_t>(width);
    }

    // InitPrinter and StartPrint, once the printer is ours. False when the library refused to start.
    bool Start() {
        const bool held = m_lock.Acquire(*m_engine.m_printerLock, [this] { return m_job->IsCancelRequested(); });
        if (!held) Cancel();
        if (m_library->InitPrinter(1) == 0) return false;
        auto header = m_head.ToBytes();
        return m_library->StartPrint(header.data()) != 0;
    }

    void BeginAdjustment() {
        m_engine.m_host.BeginAdjustment();
        m_begun = true;
    }
    bool AdjustmentBegun() const { return m_begun; }

    void PrintLines() {
        const uint64_t rawLine = m_B * m_planes;
        const uint64_t linesPerChunk = std::clamp<uint64_t>(kReadChunkBytes / rawLine, 1, m_head.height);
        m_raw.resize(linesPerChunk * rawLine);
        // When a line set is exactly a run of the file it is sent from where it was read.
        const bool direct = m_cX == 1 && m_L == m_B;
        if (!direct) m_lineSet.assign(LineSetBytes(), 0);
        for (uint64_t i = 0; i < m_head.height; ++i) {
            HandleControl();
            const uint64_t slot = i % linesPerChunk;
            if (slot == 0) ReadChunk(std::min(linesPerChunk, m_head.height - i) * rawLine);
            const uint8_t* line = m_raw.data() + slot * rawLine;
            Write(direct ? line : Widen(line));
            if (m_job->SetProgress(static_cast<int32_t>((i + 1) * 100 / m_head.height))) m_engine.Post(m_job, m_nCopy);
        }
    }

    // Blank line sets after the copy; their results are not looked at.
    void WriteBlankLines(int32_t sY) {
        if (sY <= 0) return;
        m_lineSet.assign(LineSetBytes(), 0);
        for (int32_t i = 0; i < sY; ++i) m_library->WriteRipData(m_lineSet.data(), LineSetBytes());
    }

    void EndRipData() { m_library->EndRipData(); }

private:
    int32_t LineSetBytes() const { return static_cast<int32_t>(m_planes * m_R); }

    void ReadChunk(uint64_t bytes) {
        if (m_file.Read(m_raw.data(), bytes) != static_cast<ptrdiff_t>(bytes))
            throw CopyError{0, "the job file ended or could not be read while printing"};
    }

    // Each widened plane row is cX cells of L bytes; a cell holds the first min(B, L) bytes of the row and
    // zeros after them (the zeros were put there once, when the buffer was made).
    const uint8_t* Widen(const uint8_t* line) {
        const uint64_t take = std::min(m_B, m_L);
        for (uint64_t p = 0; p < m_planes; ++p) {
            uint8_t* row = m_lineSet.data() + p * m_R;
            for (uint64_t k = 0; k < m_cX; ++k) std::memcpy(row + k * m_L, line + p * m_B, take);
        }
        return m_lineSet.data();
    }

    void Write(const uint8_t* data) {
        int32_t nSendResult = m_library->WriteRipData(data, LineSetBytes());
        if (nSendResult < 0) {
            TraceLine("lpfnDriver[INDEX_WriteRipData]) < 0");
            m_library->EndRipData();
            throw CopyError{2, "the printer library reported an error while printing"};
        }
        if (nSendResult == 0) {
            TraceLine("nSendResult==CBrevantaPrinter::PRINT_FAIL");
            throw CopyError{3, "the printer library failed to print"};
        }
    }

    // Honours the operator's requests between raster lines. A paused job waits on its events, so a resume
    // or a cancel (also the engine's stop) takes effect at once.
    void HandleControl() {
        for (;;) {
            switch (m_job->PollControl()) {
                case CONTROL_PAUSE:
                    if (m_job->GetStatus() != JOB_PAUSE) {
                        m_library->PausePrint();
                        m_job->SetStatus(JOB_PAUSE);
                        m_engine.Post(m_job, m_nCopy);
                    }
                    m_job->WaitWhilePaused(100ms);
                    continue;
                case CONTROL_RESUME:
                    if (m_job->GetStatus() != JOB_OUTPUT) {
                        BeginAdjustment();
                        m_library->ResumePrint();
                        m_job->SetStatus(JOB_OUTPUT);
                        m_engine.Post(m_job, m_nCopy);
                    }
                    return;
                case CONTROL_CANCEL:
                    m_engine.m_host.EndAdjustment(false);
                    m_library->AbortPrint();
                    Cancel();
                    return;
                default:
                    return;
            }
        }
    }

    [[noreturn]] void Cancel() {
        m_job->SetStatus(JOB_OUTPUT_CANCEL);
        throw CopyError{2, {}};
    }

    CBrevantaPrinter& m_engine;
    std::shared_ptr<CPrintJob> m_job;
    int32_t m_nCopy;

    platform::File m_file;
    std::unique_ptr<CPrinterLibrary> m_library;
    PrinterLockHolder m_lock;
    RipHead m_head;
    uint64_t m_B = 0, m_L = 0, m_cX = 1, m_R = 0, m_planes = 0;
    std::vector<uint8_t> m_raw;
    std::vector<uint8_t> m_lineSet;
    bool m_begun = false;
};

CBrevantaPrinter::CBrevantaPrinter(std::filesystem::path strPrinterDll, PrintHost& host,
                                   std::filesystem::path strHotFolder, std::shared_ptr<PrinterLock> printerLock)
    : m_host(host),
      m_strPrinterDll(std::move(strPrinterDll)),
      m_strHotFolder(std::move(strHotFolder)),
      m_printerLock(std::move(printerLock)) {}

CBrevantaPrinter::~CBrevantaPrinter() {
    Stop();
    RemoveAllJobs();
}

bool CBrevantaPrinter::Start() {
    if (m_thread.joinable()) return false;
    m_bStop = false;
    m_wake.Clear();
    m_thread = std::thread([this] { JobMonitorThread(); });
    return true;
}

bool CBrevantaPrinter::Stop() {
    m_bStop = true;
    m_wake.Signal();
    {
        std::lock_guard lock(m_jobsMutex);
        if (m_current) m_current->Cancel();
    }
    if (m_thread.joinable()) m_thread.join();
    return true;
}

void CBrevantaPrinter::AddPrintJob(std::shared_ptr<CPrintJob> job) {
    TraceLine("核心打印：添加打印作业");
    if (!job) return;
    {
        std::lock_guard lock(m_jobsMutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.Signal();
}

std::shared_ptr<CPrintJob> CBrevantaPrinter::GetNextWaitingJob() const {
    std::lock_guard lock(m_jobsMutex);
    auto it = std::find_if(m_jobs.begin(), m_jobs.end(), [](const auto& j) { return j->GetStatus() == JOB_WAIT; });
    return it == m_jobs.end() ? nullptr : *it;
}

std::shared_ptr<CPrintJob> CBrevantaPrinter::TakeNextWaitingJob() {
    std::lock_guard lock(m_jobsMutex);
    for (const auto& job : m_jobs) {
        // A job cancelled between the look and the take is on hold and stays in the queue.
        if (job->GetStatus() == JOB_WAIT && job->Take()) {
            m_current = job;
            return job;
        }
    }
    return nullptr;
}

bool CBrevantaPrinter::IsIdle() const {
    std::lock_guard lock(m_jobsMutex);
    return !m_current && std::none_of(m_jobs.begin(), m_jobs.end(),
                                      [](const auto& j) { return j->GetStatus() == JOB_WAIT; });
}

void CBrevantaPrinter::JobMonitorThread() {
    while (!m_bStop) {
        std::shared_ptr<CPrintJob> job = TakeNextWaitingJob();
        if (!job) {
            MonitorHotFolder(m_strHotFolder);
            continue;
        }
        TraceLine("A job needs to print");
        PrintCopies(job, job->GetCopies(), true);
        SetCurrent(nullptr);
    }
}

void CBrevantaPrinter::PrintCopies(const std::shared_ptr<CPrintJob>& job, int32_t copies, bool useLayout) {
    if (copies < 1) {
        FailJob(job, 1, "the copy count is below 1");
        return;
    }
    for (int32_t i = 0; i < copies; ++i) {
        // A cancel between copies ends the job; it does not start and abort each copy left.
        if (i > 0 && (job->IsCancelRequested() || m_bStop)) {
            job->SetStatus(JOB_OUTPUT_CANCEL);
            Post(job, i + 1);
            return;
        }
        const int32_t cX = useLayout ? m_host.GetXCopies() : 1;
        const int32_t sX = useLayout ? m_host.GetXSpacing() : 0;
        const int32_t sY = useLayout ? m_host.GetYSpacing() : 0;
        if (ProcessJob(job, cX, sX, i + 1, sY) != RESULT_PRINTED) return;
    }
}

int32_t CBrevantaPrinter::ProcessJob(const std::shared_ptr<CPrintJob>& job, int32_t cX, int32_t sX, int32_t nCopy,
                                     int32_t sY) {
    int32_t result = RESULT_PRINTED;
    std::string failure;
    bool begun = false;
    {
        CopyRun run(*this, job, nCopy);
        try {
            run.Open();
            run.Bind();
            job->SetStatus(JOB_OUTPUT);
            job->SetProgress(0);
            Post(job, nCopy);
            run.ReadHead(cX, sX);
            if (!run.Start()) {
                result = RESULT_NOT_STARTED;
                failure = "the printer did not start the job";
            } else {
                run.BeginAdjustment();
                run.PrintLines();
                run.WriteBlankLines(sY);
                run.EndRipData();
                job->SetStatus(JOB_OUTPUT_END);
            }
        } catch (const CopyError& e) {
            result = e.code == 2 ? RESULT_STOPPED : RESULT_FAILED;
            failure = e.cause;
        }
        begun = run.AdjustmentBegun();
        TraceLine("打印善后处理");
    }  // the file, the library and the printer are released here
    if (!failure.empty()) {
        FailJob(job, nCopy, failure);
    } else {
        Post(job, nCopy);
    }
    if (begun) m_host.EndAdjustment(true);
    TraceLine("核心打印：End 一个作业打印");
    return result;
}

void CBrevantaPrinter::Post(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) {
    TraceLine("Post 消息WM_STATUS_CHANGED");
    m_host.PostStatusChanged(job, nCopy);
}

void CBrevantaPrinter::FailJob(const std::shared_ptr<CPrintJob>& job, int32_t nCopy, const std::string& cause) {
    TraceLine("打印失败: %s", cause.c_str());
    job->SetStatus(JOB_OUTPUT_FAIL);
    Post(job, nCopy);
    m_host.ReportMessage("Printing " + job->GetName() + " failed: " + cause + ".");
}

std::shared_ptr<CPrintJob> CBrevantaPrinter::JobAt(int index) const {
    std::lock_guard lock(m_jobsMutex);
    if (index < 0 || static_cast<size_t>(index) >= m_jobs.size()) return nullptr;
    return m_jobs[static_cast<size_t>(index)];
}

std::shared_ptr<CPrintJob> CBrevantaPrinter::JobNamed(const std::string& name) const {
    std::lock_guard lock(m_jobsMutex);
    auto it = std::find_if(m_jobs.begin(), m_jobs.end(), [&](const auto& j) { return j->GetName() == name; });
    return it == m_jobs.end() ? nullptr : *it;
}

int32_t CBrevantaPrinter::RemoveJob(int index) {
    std::lock_guard lock(m_jobsMutex);
    if (index >= 0 && static_cast<size_t>(index) < m_jobs.size()) m_jobs.erase(m_jobs.begin() + index);
    return 1;
}

int32_t CBrevantaPrinter::RemoveJob(const std::string& name) {
    std::lock_guard lock(m_jobsMutex);
    auto it = std::find_if(m_jobs.begin(), m_jobs.end(), [&](const auto& j) { return j->GetName() == name; });
    if (it != m_jobs.end()) m_jobs.erase(it);
    return 1;
}

int32_t CBrevantaPrinter::RemoveAllJobs() {
    std::lock_guard lock(m_jobsMutex);
    m_jobs.clear();
    return 1;
}

int32_t CBrevantaPrinter::RemoveEndedJobs() {
    std::lock_guard lock(m_jobsMutex);
    // Between two copies a job rests in the finished state while it is still the current one.
    return static_cast<int32_t>(std::erase_if(m_jobs, [this](const auto& job) {
        return job != m_current && IsJobOver(job->GetStatus());
    }));
}

int32_t CBrevantaPrinter::GetJobNames(std::vector<std::string>& names) const {
    std::lock_guard lock(m_jobsMutex);
    names.clear();
    for (const auto& job : m_jobs) names.push_back(job->GetName());
    return static_cast<int32_t>(names.size());
}

int32_t CBrevantaPrinter::ForEachJob(intptr_t value, const std::function<void(CPrintJob&, intptr_t)>& fn) const {
    std::vector<std::shared_ptr<CPrintJob>> jobs;
    {
        std::lock_guard lock(m_jobsMutex);
        jobs = m_jobs;
    }
    for (const auto& job : jobs) fn(*job, value);
    return static_cast<int32_t>(jobs.size());
}

int32_t CBrevantaPrinter::PauseJob(const std::shared_ptr<CPrintJob>& job) {
    TraceLine("核心打印：暂停打印作业");
    if (job) job->Pause();
    return 0;
}
int32_t CBrevantaPrinter::PauseJob(int index) { return PauseJob(JobAt(index)); }
int32_t CBrevantaPrinter::PauseJob(const std::string& name) { return PauseJob(JobNamed(name)); }

int32_t CBrevantaPrinter::ResumeJob(const std::shared_ptr<CPrintJob>& job) {
    TraceLine("核心打印：继续打印作业");
    if (job) job->Resume();
    return 0;
}
int32_t CBrevantaPrinter::ResumeJob(int index) { return ResumeJob(JobAt(index)); }
int32_t CBrevantaPrinter::ResumeJob(const std::string& name) { return ResumeJob(JobNamed(name)); }

int32_t CBrevantaPrinter::CancelJob(const std::shared_ptr<CPrintJob>& job) {
    TraceLine("核心打印：取消打印任务");
    if (job) job->Cancel();
    return 0;
}
int32_t CBrevantaPrinter::CancelJob(int index) { return CancelJob(JobAt(index)); }
int32_t CBrevantaPrinter::CancelJob(const std::string& name) { return CancelJob(JobNamed(name)); }

int32_t CBrevantaPrinter::ShowSettingDialog(void* parentWindow) {
    return CallSettingDialog(m_strPrinterSettingDll, parentWindow);
}

void CBrevantaPrinter::SetCurrent(std::shared_ptr<CPrintJob> job) {
    std::lock_guard lock(m_jobsMutex);
    m_current = std::move(job);
}

void CBrevantaPrinter::SetHotFolderTimes(std::chrono::milliseconds settle, std::chrono::milliseconds giveUp) {
    m_hotSettle = settle;
    m_hotGiveUp = giveUp;
}

void CBrevantaPrinter::MonitorHotFolder(const std::filesystem::path& folder) {
    if (folder.empty()) {
        m_wake.Wait(100ms);
        return;
    }
    if (!m_hotFolder || m_hotFolder->Folder() != folder) m_hotFolder = std::make_unique<CHotFolderMonitor>(folder);
    m_hotFolder->SetTimes(m_hotSettle, m_hotGiveUp);
    std::vector<std::string> ready = m_hotFolder->ReadyFiles();
    for (const auto& report : m_hotFolder->TakeReports()) m_host.ReportMessage(report);
    if (ready.empty()) {
        // Files still being written are looked at again soon; otherwise only a change wakes the cycle.
        m_hotFolder->Wait(m_hotFolder->HasPending() ? 100ms : 500ms, m_wake.Fd());
        m_wake.Clear();
        return;
    }
    m_host.BrowseToFolder(folder);
    for (const auto& name : ready) {
        if (m_bStop) return;
        PrintHotFile(folder, name);
    }
}

// Prints a hot-folder file at once: its copies with one X copy and no spacing, whatever the layout values.
void CBrevantaPrinter::PrintHotFile(const std::filesystem::path& folder, const std::string& name) {
    auto job = std::make_shared<CPrintJob>((folder / name).string(), m_host.GetYCopies());
    {
        std::lock_guard lock(m_jobsMutex);
        m_jobs.push_back(job);
    }
    m_host.AddPrintJob(job);
    TraceLine("有一个作业要打印");
    if (job->Take()) {
        SetCurrent(job);
        PrintCopies(job, job->GetCopies(), false);
        SetCurrent(nullptr);
    }
    DisposeHotFile(folder, name);
}

// Moves a printed (or failed, or cancelled) file to Finished, or deletes it, as DeleteListSource says.
// One that cannot be moved or deleted is reported and not printed again until it changes.
void CBrevantaPrinter::DisposeHotFile(const std::filesystem::path& folder, const std::string& name) {
    const std::filesystem::path path = folder / name;
    const bool remove = CIniReader(platform::ProgramDirectory() / "Tessarin.ini").ReadInt("setting", "DeleteListSource", 0) != 0;
    std::error_code ec;
    if (remove) {
        std::filesystem::remove(path, ec);
    } else {
        const std::filesystem::path finished = folder / "Finished";
        std::filesystem::create_directories(finished, ec);
        ec.clear();
        std::filesystem::rename(path, finished / name, ec);
    }
    if (!ec || ec == std::errc::no_such_file_or_directory) return;
    TraceLine("热文件夹：无法移走 %s", path.c_str());
    m_host.ReportMessage("The hot-folder file " + path.string() + " was printed but could not be " +
                         (remove ? "deleted" : "moved to Finished") + ": " + ec.message() +
                         ". It will not be printed again unless it changes.");
    m_hotFolder->MarkDone(name);
}
