#pragma once

// Shared pieces of the benchmarks: timing a reference command, peak memory, a printer-less host, a program
// directory with the virtual printer discarding its data.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/PrintHost.h"

namespace bench {

inline double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Wall-clock seconds of a shell command (its output discarded).
inline double TimeCommand(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        std::fprintf(stderr, "bench: '%s' failed\n", command.c_str());
        std::exit(1);
    }
    return Seconds(std::chrono::steady_clock::now() - start);
}

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Current and peak resident memory of this process, in MiB (from /proc: the peak can be reset).
inline double ResidentMiB(const char* field = "VmRSS:") {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kib = 0;
    while (status >> key) {
        if (key == field) {
            status >> kib;
            break;
        }
        std::getline(status, key);
    }
    return static_cast<double>(kib) / 1024.0;
}
inline double PeakResidentMiB() { return ResidentMiB("VmHWM:"); }
inline void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A program directory whose virtual printer counts the data and keeps none of it.
inline void MakeDiscardingPrinterHome(const std::filesystem::path& home, const std::filesystem::path& drivers) {
    std::filesystem::create_directories(home);
    for (const char* lib : {"VirtualPrinter.so", "VirtualPrinterSetting.so"}) {
        std::filesystem::remove(home / lib);
        std::filesystem::copy_file(drivers / lib, home / lib);
    }
    std::ofstream(home / "VirtualPrinter.ini") << "[VirtualPrinter]\nKeepData=0\n";
    std::ofstream(home / "Tessarin.ini") << "[setting]\nPrinterDll=VirtualPrinter\n";
}

// A host with nobody to tell: layout values fixed, everything else dropped.
class QuietHost : public PrintHost {
public:
    int32_t xCopies = 1, xSpacing = 8, yCopies = 1, ySpacing = 0;
    void PostStatusChanged(const std::shared_ptr<CPrintJob>&, int32_t) override {}
    void AddPrintJob(const std::shared_ptr<CPrintJob>&) override {}
    int32_t GetXCopies() override { return xCopies; }
    int32_t GetXSpacing() override { return xSpacing; }
    int32_t GetYCopies() override { return yCopies; }
    int32_t GetYSpacing() override { return ySpacing; }
    void BeginAdjustment() override {}
    void EndAdjustment(bool) override {}
    void ShowHead(const RipHead&) override {}
    void BrowseToFolder(const std::filesystem::path&) override {}
    void ReportMessage(const std::string& message) override { std::fprintf(stderr, "%s\n", message.c_str()); }
};

}  // namespace bench
