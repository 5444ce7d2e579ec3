#pragma once

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

namespace platform {

// Change notification for one folder (inotify), without subfolders: names created, moved in, closed after
// writing, changed in attributes or removed.
class DirectoryWatch {
public:
    enum class WaitResult { Changed, Woken, TimedOut, Failed };

    DirectoryWatch() = default;
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    // False when the folder cannot be watched (missing, not a folder).
    bool Open(const std::filesystem::path& folder);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Waits up to the time-out for a change, or for `wakeFd` (-1: none) to become readable. On a change
    // the pending events are read; names closed after writing are added to ClosedNames().
    WaitResult Wait(std::chrono::milliseconds timeout, int wakeFd);
    // Names of files whose writer closed them since the last call, cleared by the call.
    std::set<std::string> TakeClosedNames();
    // True when the folder itself went away or events were lost: the caller re-opens and re-lists.
    bool NeedsReopen() const { return m_needsReopen; }

private:
    void ReadEvents();

    int m_fd = -1;
    bool m_needsReopen = false;
    std::set<std::string> m_closed;
};

}  // namespace platform
