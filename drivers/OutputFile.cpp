#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

bool OutputFile::Create(const std::filesystem::path& path, size_t bufferSize) {
    Close();
    m_path = path;
    m_failed = false;
    m_error.clear();
    m_used = 0;
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail("cannot create");
    m_file = platform::File(fd);
    m_buffer.assign(bufferSize, 0);
    return true;
}

bool OutputFile::Write(std::span<const uint8_t> bytes) {
    if (m_failed || !m_file) return false;
    if (bytes.size() > m_buffer.size() - m_used) {
        if (!FlushBuffer()) return false;
        // A piece as large as the buffer gains nothing from a copy.
        if (bytes.size() >= m_buffer.size()) return WriteDirect(bytes.data(), bytes.size());
    }
    if (!bytes.empty()) std::memcpy(m_buffer.data() + m_used, bytes.data(), bytes.size());
    m_used += bytes.size();
    return true;
}

bool OutputFile::Close() {
    if (!m_file) return !m_failed;
    bool flushed = FlushBuffer();
    bool closed = ::close(m_file.Release()) == 0 || Fail("cannot close");
    m_buffer = {};
    return flushed && closed && !m_failed;
}

bool OutputFile::WriteWhole(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                            std::string& error) {
    // Written aside and renamed into place: whoever watches the folder sees the whole file or none of it.
    std::filesystem::path part = path;
    part += ".part";
    OutputFile file;
    bool ok = file.Create(part, 0) && file.Write(bytes) && file.Close();
    if (!ok) {
        error = file.Error();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(part, path, ec);
    if (ec) {
        error = "cannot rename " + part.string() + ": " + ec.message();
        std::filesystem::remove(part, ec);
        return false;
    }
    return true;
}

bool OutputFile::FlushBuffer() {
    if (m_failed) return false;
    size_t used = m_used;
    m_used = 0;
    return WriteDirect(m_buffer.data(), used);
}

bool OutputFile::WriteDirect(const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(m_file.Fd(), data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail("cannot write");
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::Fail(std::string what) {
    int code = errno;
    m_failed = true;
    if (m_error.empty()) {
        m_error = std::move(what) + " " + m_path.string() + ": " + std::system_category().message(code);
    }
    return false;
}
