// A driver library that lacks one of the entries the engine requires (EndPrint).
#include <cstdint>

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int32_t InitPrinter(int32_t) { return 1; }
EXPORT int32_t StartPrint(const void*, int32_t) { return 1; }
EXPORT int32_t WriteRipData(const void*, int32_t count) { return count; }
EXPORT int32_t EndRipData() { return 1; }
EXPORT int32_t AbortPrint() { return 1; }
EXPORT int32_t PausePrint() { return 1; }
EXPORT int32_t ResumePrint() { return 1; }
EXPORT int32_t SkipLines() { return 1; }
