#include "engine/HotFolderMonitor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <set>
#include <utility>

#include "platform/File.h"
#include "shell/Trace.h"

namespace {

bool EndsWithNoCase(const std::string& name, std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<ptrdiff_t>(suffix.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace

std::optional<CHotFolderMonitor::Signature> CHotFolderMonitor::SignatureOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return Signature{st.st_ino, static_cast<uint64_t>(st.st_size), st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec};
}

CHotFolderMonitor::CHotFolderMonitor(std::filesystem::path folder) : m_folder(std::move(folder)) {}

bool CHotFolderMonitor::IsJobFileName(const std::string& name) {
    return name != " " && (EndsWithNoCase(name, ".prn") || EndsWithNoCase(name, ".prt"));
}

bool CHotFolderMonitor::EnsureWatch() {
    if (m_watch.IsOpen() && !m_watch.NeedsReopen()) return true;
    return m_watch.Open(m_folder);
}

std::vector<std::string> CHotFolderMonitor::ReadyFiles() {
    std::vector<std::string> ready;
    if (!EnsureWatch()) return ready;
    for (const auto& name : m_watch.TakeClosedNames()) {
        if (auto sig = SignatureOf(m_folder / name)) m_closedAt[name] = *sig;
    }
    std::set<std::string> names;  // ordered by name, byte by byte
    std::error_code ec;
    for (std::filesystem::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (IsJobFileName(name)) names.insert(name);
    }
    const auto now = Clock::now();
    std::map<std::string, Pending> stillPending;
    std::swap(stillPending, m_pending);
    for (const auto& name : names) {
        auto signature = SignatureOf(m_folder / name);
        if (!signature) continue;  // gone meanwhile, or not a plain file
        const Signature& sig = *signature;
        auto previous = stillPending.find(name);
        if (previous != stillPending.end() && previous->second.signature == sig) m_pending[name] = previous->second;
        if (Classify(name, sig, now)) ready.push_back(name);
    }
    // Forget what has left the folder.
    std::erase_if(m_skipped, [&](const auto& entry) { return !names.count(entry.first); });
    std::erase_if(m_closedAt, [&](const auto& entry) { return !names.count(entry.first); });
    return ready;
}

// True when the file is ready to print; otherwise it is pending, skipped or given up.
bool CHotFolderMonitor::Classify(const std::string& name, const Signature& sig, Clock::time_point now) {
    auto skipped = m_skipped.find(name);
    if (skipped != m_skipped.end()) {
        if (skipped->second == sig) return false;
        m_skipped.erase(skipped);  // it changed: try again
    }
    if (sig.size == 0) {
        KeepWaiting(name, sig, now, "stays empty");
        return false;
    }
    switch (CheckWriters(m_folder / name)) {
        case Completeness::Complete:
            break;
        case Completeness::Writing:
            KeepWaiting(name, sig, now, "is held open for writing and does not change");
            return false;
        case Completeness::Unreadable:
            KeepWaiting(name, sig, now, "cannot be opened for reading");
            return false;
        case Completeness::Unknown: {
            auto closed = m_closedAt.find(name);
            const bool closedSince = closed != m_closedAt.end() && closed->second == sig;
            auto pending = m_pending.find(name);
            const bool settled = pending != m_pending.end() && now - pending->second.since >= m_settle;
            if (!closedSince && !settled) {
                KeepWaiting(name, sig, now, "does not settle");
                return false;
            }
            break;
        }
    }
    m_pending.erase(name);
    return true;
}

CHotFolderMonitor::Completeness CHotFolderMonitor::CheckWriters(const std::filesystem::path& path) const {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Completeness::Unreadable;
    platform::File file(fd);
    // A read lease is granted only while no process has the file open for writing.
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return Completeness::Complete;
    }
    return errno == EAGAIN ? Completeness::Writing : Completeness::Unknown;
}

void CHotFolderMonitor::KeepWaiting(const std::string& name, const Signature& sig, Clock::time_point now,
                                    std::string reason) {
    auto [it, inserted] = m_pending.try_emplace(name, Pending{sig, now, reason});
    if (!inserted && !(it->second.signature == sig)) it->second = Pending{sig, now, reason};
    it->second.reason = std::move(reason);
    if (now - it->second.since < m_giveUp) return;
    TraceLine("热文件夹：放弃文件 %s", name.c_str());
    m_reports.push_back("The hot-folder file " + (m_folder / name).string() + " " + it->second.reason +
                        "; it is left in place and tried again when it changes.");
    m_skipped[name] = sig;
    m_pending.erase(it);
}

void CHotFolderMonitor::Wait(std::chrono::milliseconds timeout, int wakeFd) {
    if (!EnsureWatch()) {
        // Nothing to watch (yet): still wake for the caller's signal.
        pollfd pfd{wakeFd, POLLIN, 0};
        ::poll(&pfd, wakeFd >= 0 ? 1 : 0, static_cast<int>(timeout.count()));
        return;
    }
    m_watch.Wait(timeout, wakeFd);
}

void CHotFolderMonitor::MarkDone(const std::string& name) {
    if (auto sig = SignatureOf(m_folder / name)) m_skipped[name] = *sig;
}

std::vector<std::string> CHotFolderMonitor::TakeReports() { return std::exchange(m_reports, {}); }
