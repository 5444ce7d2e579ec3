#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A socket descriptor that closes itself. The calls retry on interruption; a failing call returns
// false (or an empty socket, or -1) and leaves errno telling why.
class Socket {
public:
    // What ended a wait for data.
    enum class Readiness {
        Readable,  // data, or the peer's close, is waiting
        Woken,     // the wake-up socket became readable first
        TimedOut,
        Failed,
    };

    Socket() = default;
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // An IPv4 stream socket; a non-blocking one never makes accept or connect wait.
    static Socket Tcp(bool nonBlocking);
    // Two connected non-blocking local sockets: writing to one wakes whoever polls the other.
    static bool Pair(Socket& first, Socket& second);

    explicit operator bool() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Close();

    bool SetIntOption(int level, int name, int value);
    // Addresses are in host byte order (INADDR_ANY, INADDR_LOOPBACK).
    bool Bind(uint32_t address, uint16_t port);
    bool Listen(int backlog);
    bool Connect(uint32_t address, uint16_t port);
    // The port the socket is bound to; 0 when it cannot be told.
    uint16_t LocalPort() const;

    // The next pending connection, as a blocking socket; empty when there is none or accept failed.
    Socket Accept();
    // Takes what is waiting, up to `count` bytes, without waiting: the byte count, 0 once the peer has
    // closed, -1 on an error (EAGAIN: nothing is waiting yet).
    ptrdiff_t Receive(void* buffer, size_t count);
    // Sends every byte unless the socket fails (a non-blocking socket also fails when it is full).
    bool SendAll(const void* data, size_t count);
    bool ShutdownWrite();

    // Waits until data is waiting, `wake` (if given) is readable, or the time-out passes; a negative
    // time-out waits for ever. The wake-up socket wins when both are ready.
    Readiness WaitReadable(std::chrono::milliseconds timeout, const Socket* wake = nullptr) const;

    static std::string ErrorText(int error);

private:
    int m_fd = -1;
};

}  // namespace platform
