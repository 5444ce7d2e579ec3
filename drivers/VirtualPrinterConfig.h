#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "DriverEntry.h"

// The settings of VirtualPrinter.ini (section [VirtualPrinter]) beside the loaded library. A session takes a
// copy at InitPrinter, so editing the file while a job prints changes only the next job.
struct VirtualPrinterConfig {
    static constexpr const char* kFileName = "VirtualPrinter.ini";
    static constexpr const char* kSection = "VirtualPrinter";
    static constexpr const char* kDefaultOutputFolder = "VirtualPrinterOutput";

    std::filesystem::path outputFolder;  // already resolved against the library's folder
    bool keepData = true;
    int linesPerSecond = 0;  // 0: no pacing
    std::optional<DriverEntry> failEntry;
    int failAtCall = 1;
    int32_t failResult = 0;
    int failSession = 0;  // 0: every session
    int32_t passCount = 4;
    int32_t inkMode = 0;
    int holdInitMs = 0;

    static VirtualPrinterConfig Load(const std::filesystem::path& libraryFolder);

    // Whether the call-th call (1-based) of the entry within the given session is the one to fail.
    bool FailsAt(DriverEntry entry, int session, uint64_t call) const;
};
