#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform {

// An open file descriptor that closes itself. Reads retry on interruption and short reads, so a
// caller sees either the bytes it asked for or the end of the file.
class File {
public:
    File() = default;
    explicit File(int fd) : m_fd(fd) {}
    ~File() { Close(); }
    File(File&& other) noexcept : m_fd(other.Release()) {}
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    static File OpenRead(const std::filesystem::path& path);

    explicit operator bool() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    int Release();
    void Close();

    std::optional<uint64_t> Size() const;

    // Reads up to `count` bytes from the current position; fewer only at the end of the file.
    // -1 on an error.
    ptrdiff_t Read(void* buffer, size_t count);
    // Reads exactly `count` bytes at `offset`; false on an error or the end of the file.
    bool ReadAt(void* buffer, size_t count, uint64_t offset) const;
    bool Seek(uint64_t offset);

private:
    int m_fd = -1;
};

}  // namespace platform
