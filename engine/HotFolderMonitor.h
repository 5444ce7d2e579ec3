#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/DirectoryWatch.h"

// Watches the hot folder and decides which job files in it are ready to print.
//
// A RIP may still be writing a file when it appears, so a file is ready only once it is complete: nobody
// has it open for writing (a read lease can be had), or, where the file system cannot tell, its writer
// closed it or its size stayed the same, non-zero, for the settle time. A file that stays empty, unreadable
// or held open without change for the give-up time is reported once and left alone until it changes; a file
// that was printed but could not be moved away is not printed again until it changes.
class CHotFolderMonitor {
public:
    using Clock = std::chrono::steady_clock;

    explicit CHotFolderMonitor(std::filesystem::path folder);

    const std::filesystem::path& Folder() const { return m_folder; }
    void SetTimes(std::chrono::milliseconds settle, std::chrono::milliseconds giveUp) {
        m_settle = settle;
        m_giveUp = giveUp;
    }

    // Job files (*.prn, *.prt in any letter case) complete and not yet handled, in name order.
    std::vector<std::string> ReadyFiles();
    // True when some file is still being waited for, so the caller looks again soon.
    bool HasPending() const { return !m_pending.empty(); }
    // Waits for a change in the folder or a signal on `wakeFd`, at most the time-out.
    void Wait(std::chrono::milliseconds timeout, int wakeFd);
    // A printed file that could not be moved or deleted: not to be printed again unless it changes.
    void MarkDone(const std::string& name);
    // Reports of files given up since the last call.
    std::vector<std::string> TakeReports();

    static bool IsJobFileName(const std::string& name);

private:
    struct Signature {
        uint64_t inode = 0, size = 0;
        int64_t mtimeNs = 0;
        bool operator==(const Signature&) const = default;
    };
    struct Pending {
        Signature signature;
        Clock::time_point since;  // when the file last changed
        std::string reason;
    };
    enum class Completeness { Complete, Writing, Unknown, Unreadable };

    static std::optional<Signature> SignatureOf(const std::filesystem::path& path);

    bool EnsureWatch();
    bool Classify(const std::string& name, const Signature& signature, Clock::time_point now);
    Completeness CheckWriters(const std::filesystem::path& path) const;
    void KeepWaiting(const std::string& name, const Signature& signature, Clock::time_point now, std::string reason);

    std::filesystem::path m_folder;
    platform::DirectoryWatch m_watch;
    std::chrono::milliseconds m_settle{1000};
    std::chrono::milliseconds m_giveUp{60000};
    std::map<std::string, Pending> m_pending;
    std::map<std::string, Signature> m_closedAt;  // signature when the writer was seen closing the file
    std::map<std::string, Signature> m_skipped;   // given up, or printed but not removable
    std::vector<std::string> m_reports;
};
