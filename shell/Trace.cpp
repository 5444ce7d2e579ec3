#include "shell/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/DebugOutput.h"

namespace {

constexpr int kTraceBufferSize = 4096;

void VTrace(const char* format, va_list args) {
    char buffer[kTraceBufferSize];
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n < 0) return;
    size_t length = static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1;
    platform::DebugOutput(std::string_view(buffer, length));
}

// Cuts a signature before its parameter list: the last '(' outside template brackets, so that a
// method of a local class ("T::TestBody()::CLocal::Run()") or a lambda ("C::Run()::<lambda()>") keeps
// the name that matters.
std::string_view BeforeParameters(std::string_view s) {
    int depth = 0;
    size_t cut = s.size();
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '<') ++depth;
        else if (c == '>' && depth > 0) --depth;
        else if (c == '(' && depth == 0) cut = i;
    }
    return s.substr(0, cut);
}

// The last blank-separated word, where blanks inside template brackets ("A<B, C>::f") do not separate.
std::string_view LastSpaceSeparatedWord(std::string_view s) {
    int depth = 0;
    for (size_t i = s.size(); i-- > 0;) {
        char c = s[i];
        if (c == '>') ++depth;
        else if (c == '<' && depth > 0) --depth;
        else if (c == ' ' && depth == 0) return s.substr(i + 1);
    }
    return s;
}

}  // namespace

void Trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VTrace(format, args);
    va_end(args);
}

void TraceW(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VTrace(format, args);
    va_end(args);
}

namespace trace_detail {

std::string_view QualifiedName(std::string_view pretty) {
    std::string_view name = LastSpaceSeparatedWord(BeforeParameters(pretty));
    // Keep "Class::Method": namespaces in front of the class say nothing the file name does not.
    size_t last = name.rfind("::");
    if (last == std::string_view::npos || last == 0) return name;
    size_t previous = name.rfind("::", last - 1);
    return previous == std::string_view::npos ? name : name.substr(previous + 2);
}

void LinePrefix(const char* file, int line, const char* prettyFunction) {
    std::string_view name = QualifiedName(prettyFunction);
    Trace("%s[%4d]<%.*s>: ", file, line, static_cast<int>(name.size()), name.data());
}

void ErrorExitPrefix(const char* file, int line, const char* prettyFunction) {
    std::string_view name = QualifiedName(prettyFunction);
    Trace("\n%s[%4d]<%.*s>: ERROR_EXIT\n", file, line, static_cast<int>(name.size()), name.data());
}

void ErrorExitEnd() {
    Trace("\n\n");
    std::exit(1);
}

}  // namespace trace_detail
