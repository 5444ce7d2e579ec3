#pragma once

#include <functional>
#include <string_view>

namespace platform {

// The debugger channel: each call is one piece, written whole, so pieces from different threads may
// interleave but never tear. Standard error (or the file the environment variable TESSARIN_TRACE_FILE
// names) unless a sink was installed.
void DebugOutput(std::string_view piece);

using DebugSink = std::function<void(std::string_view)>;

// Replaces the output (tests capture the trace this way); an empty sink restores standard error.
// Returns the sink that was installed before.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace platform
