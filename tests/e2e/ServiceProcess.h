#pragma once

// Runs the real Tessarin executable headless against a program directory of its own, with the virtual
// printer, for end-to-end tests over real sockets and folders.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../core/TestSupport.h"
#include "shell/IniReader.h"

extern char** environ;

namespace e2e {

using namespace std::chrono_literals;

inline const std::filesystem::path kTessarin = TESSARIN_BINARY_DIR "/Tessarin";
inline const std::filesystem::path kDrivers = TESSARIN_BINARY_DIR "/drivers";

// A port nobody listens on right now.
inline uint16_t FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// A client connection to the service.
class Client {
public:
    explicit Client(uint16_t port) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, 1 /* TCP_NODELAY */, &one, sizeof one);
    }
    ~Client() { Close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return m_connected; }
    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }
    // Sends in pieces of the given sizes, pausing between them so they travel as separate segments.
    bool SendSplit(std::string_view bytes, const std::vector<size_t>& pieces) {
        for (size_t piece : pieces) {
            if (!Send(bytes.substr(0, piece))) return false;
            bytes.remove_prefix(std::min(piece, bytes.size()));
            std::this_thread::sleep_for(20ms);
        }
        return Send(bytes);
    }
    // True when the server closed the connection within the time-out.
    bool WaitClosedByServer(std::chrono::milliseconds timeout = 10s) {
        timeval tv{static_cast<time_t>(timeout.count() / 1000), static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char byte;
        ssize_t n = ::recv(m_fd, &byte, 1, 0);
        return n == 0 || (n < 0 && errno == ECONNRESET);
    }
    int Fd() const { return m_fd; }
    // Ends the sending side: the server sees the end of the job's bytes.
    void ShutdownWrite() { ::shutdown(m_fd, SHUT_WR); }
    void Close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
    bool m_connected = false;
};

// One Tessarin --headless process.
class ServiceProcess {
public:
    ServiceProcess() {
        std::filesystem::create_symlink(kDrivers / "VirtualPrinter.so", m_dir / "VirtualPrinter.so");
        std::filesystem::create_symlink(kDrivers / "VirtualPrinterSetting.so", m_dir / "VirtualPrinterSetting.so");
        std::filesystem::create_directories(m_dir / "hot");
        m_ini = "[setting]\nPrinterDll=VirtualPrinter\nPrinterSettingDll=VirtualPrinterSetting\nHotFolder=hot\n"
                "HotFolderSettleMs=200\nHotFolderWaitMs=1000\n";
    }
    ~ServiceProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    const std::filesystem::path& Dir() const { return m_dir.Path(); }
    pid_t Pid() const { return m_pid; }
    std::filesystem::path Hot() const { return m_dir / "hot"; }
    std::filesystem::path Output() const { return m_dir / "VirtualPrinterOutput"; }
    uint16_t Port() const { return m_port; }
    void AddIni(const std::string& lines) { m_ini += lines; }
    void SetPrinterIni(const std::string& text) { testsupport::WriteFile(m_dir / "VirtualPrinter.ini", text); }

    // Starts the service; with a port, waits until it accepts connections.
    bool Start(std::vector<std::string> extraArgs = {}, bool withServer = true) {
        testsupport::WriteFile(m_dir / "Tessarin.ini", m_ini);
        m_port = withServer ? FreePort() : 0;
        std::vector<std::string> args = {kTessarin.string(), "--headless", "--home", m_dir.Path().string(), "--port",
                                         std::to_string(m_port)};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        if (!Spawn(args)) return false;
        if (!withServer) return true;
        for (auto deadline = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < deadline;) {
            if (Client(m_port).Connected()) return true;  // an empty connection is no job
            if (Exited()) return false;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    bool Spawn(const std::vector<std::string>& args) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (m_dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (m_dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0;
    }
    bool Exited() {
        if (m_status) return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = status;
            m_pid = -1;
            return true;
        }
        return false;
    }
    // The exit status, or nothing when the process did not end within the time-out.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout = 20s) {
        for (auto deadline = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < deadline;) {
            if (Exited()) return WIFEXITED(*m_status) ? WEXITSTATUS(*m_status) : 128 + WTERMSIG(*m_status);
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }
    void Signal(int sig) {
        if (m_pid > 0) ::kill(m_pid, sig);
    }
    bool Alive() { return !Exited(); }

    std::string Stdout() const { return testsupport::ReadFile(m_dir / "stdout.txt"); }
    std::string Stderr() const { return testsupport::ReadFile(m_dir / "stderr.txt"); }

    // Virtual printer sessions.
    std::filesystem::path Session(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "session-%04d", n);
        return Output() / name;
    }
    int SessionCount() const {
        int n = 0;
        while (std::filesystem::exists(Session(n + 1))) ++n;
        return n;
    }
    // True once the session wrote its summary (it ended with EndRipData or AbortPrint).
    bool SessionEnded(int n) const { return std::filesystem::exists(Session(n) / "summary.ini"); }
    std::string SessionEnd(int n) const { return CIniReader(Session(n) / "summary.ini").ReadString("Session", "End"); }
    bool WaitSessionEnded(int n, std::chrono::milliseconds timeout = 10s) const {
        for (auto deadline = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < deadline;) {
            if (SessionEnded(n)) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

private:
    testsupport::TempDir m_dir;
    std::string m_ini;
    uint16_t m_port = 0;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

}  // namespace e2e
