#pragma once

// The diagnostic trace: always on, one line per operation, written to the debugger channel.
//
//   TraceLine("Open USB success!\nVendorID = 0x%x", vid);
//   TraceErrorExit("listen() failed");
//
// A line is three separate pieces (prefix, message, line end) so that nothing is assembled or allocated.

#include <string_view>

// Format into a 4096-character stack buffer (longer messages are cut) and write as one piece.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The wide-text sink of the original system; texts are UTF-8 here, so it behaves as Trace.
void TraceW(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace trace_detail {

// "Class::Method" (or the bare function name) taken from a compiler function signature.
std::string_view QualifiedName(std::string_view prettyFunction);

void LinePrefix(const char* file, int line, const char* prettyFunction);
void ErrorExitPrefix(const char* file, int line, const char* prettyFunction);
[[noreturn]] void ErrorExitEnd();

}  // namespace trace_detail

#define TraceLine(...)                                                                    \
    do {                                                                                  \
        ::trace_detail::LinePrefix(__FILE_NAME__, __LINE__, __PRETTY_FUNCTION__);         \
        ::Trace(__VA_ARGS__);                                                             \
        ::Trace("\n");                                                                    \
    } while (0)

#define TraceErrorExit(...)                                                               \
    do {                                                                                  \
        ::trace_detail::ErrorExitPrefix(__FILE_NAME__, __LINE__, __PRETTY_FUNCTION__);    \
        ::Trace(__VA_ARGS__);                                                             \
        ::trace_detail::ErrorExitEnd();                                                   \
    } while (0)
