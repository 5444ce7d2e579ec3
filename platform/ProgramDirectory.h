#pragma once

#include <filesystem>

namespace platform {

// The folder that holds Tessarin.ini, the printer libraries, Language/, Align/ and Config/:
// the executable's folder unless `--home DIR` (or a test) chose another.
std::filesystem::path ProgramDirectory();

// Overrides the program directory for the rest of the process; an empty path restores the default.
void SetProgramDirectory(const std::filesystem::path& dir);

}  // namespace platform
