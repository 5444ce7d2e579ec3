#include "LibraryLocation.h"

#include <dlfcn.h>

std::filesystem::path LibraryFolder() {
    Dl_info info{};
    // Hidden visibility makes this the address of the copy inside the calling library, not another one's.
    if (::dladdr(reinterpret_cast<const void*>(&LibraryFolder), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return std::filesystem::path(info.dli_fname).parent_path();
}
