// tessarin-inspect: prints a job file's header, its derived values and whether it would be printed.

#include <cstdio>
#include <string>

#include "engine/RipFile.h"

namespace {

int Inspect(const char* path) {
    HeadReadResult r = CRipFile::ReadHead(path);
    std::printf("%s\n", path);
    if (r.error == HeadError::CannotOpen) {
        std::printf("  refused: %s\n", std::string(HeadErrorText(r.error)).c_str());
        return 2;
    }
    const RipHead& h = r.head;
    std::printf("  file length      %llu bytes\n", static_cast<unsigned long long>(r.fileLength));
    if (r.error != HeadError::TooShort) {
        std::printf("  signature        0x%08X\n", h.signature);
        std::printf("  X-DPI            %u\n", h.xdpi);
        std::printf("  Y-DPI            %u\n", h.ydpi);
        std::printf("  bytes per line   %u\n", h.byteperline);
        std::printf("  height           %u\n", h.height);
        std::printf("  width            %u\n", h.width);
        std::printf("  reserved         0x%08X 0x%08X 0x%08X\n", h.reserved[0], h.reserved[1], h.reserved[2]);
    }
    if (!r) {
        std::printf("  refused: %s\n", std::string(HeadErrorText(r.error)).c_str());
        return 2;
    }
    const unsigned long long data = h.DataBytes();
    std::printf("  colour planes    %u (derived from the file length)\n", h.color);
    std::printf("  bits per pixel   %u (derived)\n", h.bit);
    std::printf("  line set         %llu bytes\n", static_cast<unsigned long long>(h.LineBytes()));
    std::printf("  raster data      %llu bytes\n", data);
    std::printf("  trailing bytes   %llu (never read)\n", static_cast<unsigned long long>(r.fileLength - 48 - data));
    std::printf("  accepted\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: tessarin-inspect JOBFILE...\n", stderr);
        return 1;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        int s = Inspect(argv[i]);
        if (s > status) status = s;
    }
    return status;
}
