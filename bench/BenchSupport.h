#pragma once

// Shared pieces of the benchmarks: timing a reference command, CPU time and peak memory (of this or a child
// process), a printer-less host, a program directory with the virtual printer discarding its data.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/PrintHost.h"
#include "platform/DirectoryWatch.h"

extern char** environ;

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

// Current and peak resident memory of a process (0: this one), in MiB (from /proc: the peak can be reset).
inline std::filesystem::path ProcFile(pid_t pid, const char* name) {
    return std::filesystem::path("/proc") / (pid ? std::to_string(pid) : std::string("self")) / name;
}
inline double ResidentMiB(const char* field = "VmRSS:", pid_t pid = 0) {
    std::ifstream status(ProcFile(pid, "status"));
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
inline double PeakResidentMiB(pid_t pid = 0) {
    return ResidentMiB("VmHWM:", pid);
}
inline void ResetPeakResident(pid_t pid = 0) {
    std::ofstream(ProcFile(pid, "clear_refs")) << "5";
}

// User plus system CPU seconds of another process so far, every thread included.
inline double CpuSecondsOf(pid_t pid) {
    std::ifstream stat(ProcFile(pid, "stat"));
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');  // the command name may hold spaces
    if (close == std::string::npos) return 0;
    std::vector<std::string> fields;
    for (size_t at = close + 2; at < text.size();) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        fields.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    // After the name: state is field 3 of the line, utime 14 and stime 15.
    if (fields.size() < 13) return 0;
    return static_cast<double>(std::stoull(fields[11]) + std::stoull(fields[12])) /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A child process whose CPU time and peak memory the kernel accounts for when it is waited for.
class Process {
public:
    struct Usage {
        int status = -1;  // exit status, or 128 + signal
        double cpu = 0;   // user + system seconds
        double peakMiB = 0;
    };

    Process() = default;
    ~Process() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Runs a program with standard output and error going to `log`.
    bool Spawn(const std::vector<std::string>& args, const std::filesystem::path& log) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) m_pid = -1;
        return rc == 0;
    }
    // Runs `body` in a copy of this process (which must have no other threads); its result is the exit
    // status.
    bool Fork(const std::function<int()>& body) {
        m_pid = ::fork();
        if (m_pid == 0) ::_exit(body());
        return m_pid > 0;
    }

    pid_t Pid() const { return m_pid; }
    void Signal(int sig) const {
        if (m_pid > 0) ::kill(m_pid, sig);
    }
    bool Exited() {
        if (m_pid <= 0) return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
        m_pid = -1;
        return true;
    }
    Usage Wait() {
        Usage usage;
        int status = 0;
        rusage ru{};
        if (m_pid <= 0 || ::wait4(m_pid, &status, 0, &ru) != m_pid) return usage;
        m_pid = -1;
        usage.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usage.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                    static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
        usage.peakMiB = static_cast<double>(ru.ru_maxrss) / 1024.0;
        return usage;
    }

private:
    pid_t m_pid = -1;
};

// Waits, on the folder's change notifications, until `done` holds; false when it still does not after the
// time-out. The watch is opened before the first look, so no change between look and wait is missed.
inline bool WaitInFolder(const std::filesystem::path& folder, const std::function<bool()>& done,
                         std::chrono::milliseconds timeout) {
    platform::DirectoryWatch watch;
    if (!watch.Open(folder)) return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (watch.Wait(left, -1) == platform::DirectoryWatch::WaitResult::Failed) return false;
    }
    return true;
}

// A program directory whose virtual printer counts the data and keeps none of it.
// `settings`: further lines of Tessarin.ini's [setting] section.
inline void MakeDiscardingPrinterHome(const std::filesystem::path& home, const std::filesystem::path& drivers,
                                      const std::string& settings = {}) {
    std::filesystem::create_directories(home);
    for (const char* lib : {"VirtualPrinter.so", "VirtualPrinterSetting.so"}) {
        std::filesystem::remove(home / lib);
        std::filesystem::copy_file(drivers / lib, home / lib);
    }
    std::ofstream(home / "VirtualPrinter.ini") << "[VirtualPrinter]\nKeepData=0\n";
    std::ofstream(home / "Tessarin.ini") << "[setting]\nPrinterDll=VirtualPrinter\n" << settings;
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
