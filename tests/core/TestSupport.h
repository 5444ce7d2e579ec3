#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DebugOutput.h"

namespace testsupport {

// A fresh folder per test, removed with everything in it when the test ends.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("tessarin-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Collects the trace pieces written while it lives.
class TraceCapture {
public:
    TraceCapture() {
        m_previous = platform::SetDebugSink([this](std::string_view piece) {
            std::lock_guard lock(m_mutex);
            m_pieces.emplace_back(piece);
        });
    }
    ~TraceCapture() { platform::SetDebugSink(std::move(m_previous)); }

    std::vector<std::string> Pieces() const {
        std::lock_guard lock(m_mutex);
        return m_pieces;
    }
    std::string Text() const {
        std::string all;
        for (const auto& p : Pieces()) all += p;
        return all;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_pieces;
    platform::DebugSink m_previous;
};

}  // namespace testsupport
