#pragma once

#include <filesystem>

#include "engine/RipHead.h"

// What reading a job file's header gave: the header with its derived values, or why it is refused.
struct HeadReadResult {
    RipHead head;
    HeadError error = HeadError::CannotOpen;
    uint64_t fileLength = 0;

    explicit operator bool() const { return error == HeadError::None; }
};

// A raster job file (.prn / .prt) on disk.
class CRipFile {
public:
    // Reads the first 48 bytes and derives the values a job file's reader uses.
    static HeadReadResult ReadHead(const std::filesystem::path& path);
};
