#include "platform/WakeFd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace platform {

WakeFd::WakeFd() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_fd < 0) throw std::runtime_error("eventfd failed");
}

WakeFd::~WakeFd() { ::close(m_fd); }

void WakeFd::Signal() {
    uint64_t one = 1;
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool WakeFd::Clear() {
    uint64_t value = 0;
    return ::read(m_fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

bool WakeFd::Wait(std::chrono::milliseconds timeout) {
    pollfd pfd{m_fd, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && Clear();
}

}  // namespace platform
