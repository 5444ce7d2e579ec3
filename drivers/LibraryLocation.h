#pragma once

#include <filesystem>

// The folder of the shared object this code was linked into, from the path it was loaded by. A symlink in a
// program directory is kept as it is, so the settings beside the link are the ones that count.
std::filesystem::path LibraryFolder();
