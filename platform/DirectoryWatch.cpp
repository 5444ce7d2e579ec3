#include "platform/DirectoryWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

DirectoryWatch::~DirectoryWatch() { Close(); }

bool DirectoryWatch::Open(const std::filesystem::path& folder) {
    Close();
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) return false;
    // No IN_MODIFY: a large file being written would wake the watcher at every write.
    const uint32_t mask = IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM |
                          IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (::inotify_add_watch(m_fd, folder.c_str(), mask) < 0) {
        Close();
        return false;
    }
    m_needsReopen = false;
    return true;
}

void DirectoryWatch::Close() {
    if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
    m_closed.clear();
}

DirectoryWatch::WaitResult DirectoryWatch::Wait(std::chrono::milliseconds timeout, int wakeFd) {
    if (m_fd < 0) return WaitResult::Failed;
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const nfds_t count = wakeFd >= 0 ? 2 : 1;
    int rc;
    do {
        rc = ::poll(fds, count, static_cast<int>(timeout.count()));
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) return WaitResult::Failed;
    if (rc == 0) return WaitResult::TimedOut;
    if (fds[0].revents & POLLIN) {
        ReadEvents();
        return WaitResult::Changed;
    }
    return WaitResult::Woken;
}

std::set<std::string> DirectoryWatch::TakeClosedNames() { return std::exchange(m_closed, {}); }

void DirectoryWatch::ReadEvents() {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0) return;
        for (char* p = buffer; p < buffer + n;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_Q_OVERFLOW)) m_needsReopen = true;
            if ((event->mask & IN_CLOSE_WRITE) && event->len > 0) m_closed.insert(event->name);
            p += sizeof(inotify_event) + event->len;
        }
    }
}

}  // namespace platform
