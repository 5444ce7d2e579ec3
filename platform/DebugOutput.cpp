#include "platform/DebugOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}

DebugSink& Sink() {
    static DebugSink sink;
    return sink;
}

// Standard error, or the file named by TESSARIN_TRACE_FILE, so a console service can keep its terminal for
// progress and messages.
int TraceFd() {
    static const int fd = [] {
        const char* path = std::getenv("TESSARIN_TRACE_FILE");
        if (!path || !*path) return STDERR_FILENO;
        int f = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        return f >= 0 ? f : STDERR_FILENO;
    }();
    return fd;
}

void WriteStderr(std::string_view piece) {
    // One write per piece; only a short write (rare, huge pieces) continues with the rest.
    while (!piece.empty()) {
        ssize_t n = ::write(TraceFd(), piece.data(), piece.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nobody listens: the trace never reports failure
        }
        piece.remove_prefix(static_cast<size_t>(n));
    }
}

}  // namespace

void DebugOutput(std::string_view piece) {
    std::lock_guard lock(SinkMutex());
    if (Sink()) {
        Sink()(piece);
    } else {
        WriteStderr(piece);
    }
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard lock(SinkMutex());
    DebugSink old = std::move(Sink());
    Sink() = std::move(sink);
    return old;
}

}  // namespace platform
