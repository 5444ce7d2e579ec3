#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "engine/RipHead.h"

namespace testsupport {

// The byte at x of plane row p of line n in the test jobs: different in every row, plane and column.
inline uint8_t RowByte(uint64_t n, uint32_t p, uint64_t x) { return static_cast<uint8_t>(x * 3 + n * 7 + p * 31 + 1); }

inline RipHead TestHead(uint32_t byteperline, uint32_t height, uint32_t width, uint32_t signature = 0x4A4F4231) {
    RipHead h;
    h.signature = signature;
    h.xdpi = 720;
    h.ydpi = 1440;
    h.byteperline = byteperline;
    h.height = height;
    h.width = width;
    h.fpaperwidth = 55;
    h.color = 9;  // deliberately wrong: readers derive the plane count from the length
    h.bit = 3;
    h.reserved = {0x11111111, 0x22222222, 0x33333333};
    return h;
}

// A job file of the header and `planes` planes of RowByte data, plus `trailing` bytes.
inline std::string JobBytes(const RipHead& head, uint32_t planes, size_t trailing = 0) {
    auto bytes = head.ToBytes();
    std::string job(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    job.reserve(job.size() + uint64_t{head.byteperline} * planes * head.height + trailing);
    for (uint64_t n = 0; n < head.height; ++n)
        for (uint32_t p = 0; p < planes; ++p)
            for (uint64_t x = 0; x < head.byteperline; ++x) job.push_back(static_cast<char>(RowByte(n, p, x)));
    job.append(trailing, '\x5A');
    return job;
}

inline void WriteJob(const std::filesystem::path& path, const RipHead& head, uint32_t planes, size_t trailing = 0) {
    WriteFile(path, JobBytes(head, planes, trailing));
}

}  // namespace testsupport
