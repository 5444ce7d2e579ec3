#include "platform/DebugOutput.h"

#include <unistd.h>

#include <cerrno>
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

void WriteStderr(std::string_view piece) {
    // One write per piece; only a short write (rare, huge pieces) continues with the rest.
    while (!piece.empty()) {
        ssize_t n = ::write(STDERR_FILENO, piece.data(), piece.size());
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
