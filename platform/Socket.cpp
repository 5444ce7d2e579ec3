#include "platform/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace platform {

namespace {

sockaddr_in Ipv4(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

// poll's time-out argument for what is left of a wait; -1 waits for ever.
int PollTimeout(std::chrono::steady_clock::time_point deadline, bool forever) {
    if (forever) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
}

}  // namespace

Socket::Socket(Socket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

Socket Socket::Tcp(bool nonBlocking) {
    return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
}

bool Socket::Pair(Socket& first, Socket& second) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) return false;
    first = Socket(fds[0]);
    second = Socket(fds[1]);
    return true;
}

void Socket::Close() {
    // Not retried on EINTR: on Linux the descriptor is gone whatever close reports.
    if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
}

bool Socket::SetIntOption(int level, int name, int value) {
    return ::setsockopt(m_fd, level, name, &value, sizeof value) == 0;
}

bool Socket::Bind(uint32_t address, uint16_t port) {
    sockaddr_in sa = Ipv4(address, port);
    return ::bind(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool Socket::Listen(int backlog) {
    return ::listen(m_fd, backlog) == 0;
}

bool Socket::Connect(uint32_t address, uint16_t port) {
    sockaddr_in sa = Ipv4(address, port);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return true;
    // An interrupted connect goes on in the background; waiting for writability tells how it ended.
    if (errno != EINTR) return false;
    pollfd pfd{m_fd, POLLOUT, 0};
    while (::poll(&pfd, 1, -1) < 0) {
        if (errno != EINTR) return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    errno = error;
    return error == 0;
}

uint16_t Socket::LocalPort() const {
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &length) != 0) return 0;
    return ntohs(sa.sin_port);
}

Socket Socket::Accept() {
    for (;;) {
        int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0 || errno != EINTR) return Socket(fd);
    }
}

ptrdiff_t Socket::Receive(void* buffer, size_t count) {
    for (;;) {
        ssize_t n = ::recv(m_fd, buffer, count, MSG_DONTWAIT);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool Socket::SendAll(const void* data, size_t count) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (count > 0) {
        ssize_t n = ::send(m_fd, p, count, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool Socket::ShutdownWrite() {
    return ::shutdown(m_fd, SHUT_WR) == 0;
}

Socket::Readiness Socket::WaitReadable(std::chrono::milliseconds timeout, const Socket* wake) const {
    const bool forever = timeout < std::chrono::milliseconds::zero();
    const auto deadline =
        std::chrono::steady_clock::now() + (forever ? std::chrono::milliseconds{} : timeout);
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {wake ? wake->m_fd : -1, POLLIN, 0}};
    const nfds_t count = wake ? 2 : 1;
    for (;;) {
        int n = ::poll(fds, count, PollTimeout(deadline, forever));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Readiness::Failed;
        }
        if (n == 0) return Readiness::TimedOut;
        if (wake && fds[1].revents != 0) return Readiness::Woken;
        // An error or hang-up is reported as readable: the next receive tells what happened.
        if (fds[0].revents & POLLNVAL) {
            errno = EBADF;
            return Readiness::Failed;
        }
        return Readiness::Readable;
    }
}

std::string Socket::ErrorText(int error) {
    return std::system_category().message(error);
}

}  // namespace platform
