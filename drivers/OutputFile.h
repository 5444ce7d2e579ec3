#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/File.h"

// A file written front to back through a large buffer: benchmarks stream gigabytes of line sets through the
// virtual printer, and one system call per raster line would make the driver the bottleneck.
// The first error sticks; every later write fails, so a caller checks once and reports Error().
class OutputFile {
public:
    static constexpr size_t kBufferSize = size_t{1} << 20;

    OutputFile() = default;
    ~OutputFile() { Close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates or truncates the file. A buffer of 0 writes every piece straight through.
    bool Create(const std::filesystem::path& path, size_t bufferSize = kBufferSize);
    bool Write(std::span<const uint8_t> bytes);
    // Writes what is buffered and closes; false when any write of the file failed.
    bool Close();

    bool IsOpen() const { return static_cast<bool>(m_file); }
    const std::string& Error() const { return m_error; }

    // The whole file in one go (headers, summaries, images).
    static bool WriteWhole(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                           std::string& error);

private:
    bool FlushBuffer();
    bool WriteDirect(const uint8_t* data, size_t size);
    bool Fail(std::string what);

    std::filesystem::path m_path;
    platform::File m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    bool m_failed = false;
    std::string m_error;
};
