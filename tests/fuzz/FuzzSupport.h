#pragma once

// Helpers shared by the fuzz programs: a quiet trace, a scratch folder, a reader that cuts the fuzzer's
// bytes into fields, and a check that aborts (libFuzzer then keeps the input).

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/DebugOutput.h"

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzzsupport {

// Every operation traces; at thousands of runs a second that is noise and most of the time spent.
inline void SilenceTrace() {
    static const bool done = [] {
        platform::SetDebugSink([](std::string_view) {});
        return true;
    }();
    (void)done;
}

// A folder of this process, removed at exit.
inline const std::filesystem::path& ScratchDir() {
    static const std::filesystem::path dir = [] {
        auto path = std::filesystem::temp_directory_path() / ("tessarin-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchDir(), ignored);
        });
        return path;
    }();
    return dir;
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Takes fields off the front of the input; past its end every field reads as zero or empty.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_rest(reinterpret_cast<const char*>(data), size) {}

    uint8_t Byte() { return static_cast<uint8_t>(Number(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Number(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Number(4)); }
    uint64_t U64() { return Number(8); }
    // A piece of at most `limit` bytes, its length given by the byte before it.
    std::string_view Short(size_t limit = 255) { return Take(std::min<size_t>(Byte(), limit)); }
    // A piece whose length is given by the two bytes before it.
    std::string_view Long() { return Take(U16()); }
    std::string_view Rest() { return Take(m_rest.size()); }
    bool Empty() const { return m_rest.empty(); }

private:
    std::string_view Take(size_t count) {
        std::string_view piece = m_rest.substr(0, count);
        m_rest.remove_prefix(piece.size());
        return piece;
    }
    uint64_t Number(size_t bytes) {
        std::string_view piece = Take(bytes);
        uint64_t value = 0;
        for (size_t i = 0; i < piece.size(); ++i) value |= uint64_t{static_cast<uint8_t>(piece[i])} << (8 * i);
        return value;
    }

    std::string_view m_rest;
};

}  // namespace fuzzsupport
