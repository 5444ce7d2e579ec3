// tessarin-makejob: writes a raster job file for tests, benchmarks and demonstrations.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "JobPattern.h"
#include "engine/RipHead.h"
#include "platform/File.h"

namespace {

struct Options {
    RipHead head;
    uint32_t planes = 4;
    bool colorGiven = false;
    bool byteperlineGiven = false;
    bool bitGiven = false;
    PatternSpec pattern;
    uint64_t trailing = 0;
    std::string output;
};

void Usage(FILE* out) {
    std::fputs(
        "usage: tessarin-makejob [options] OUTPUT\n"
        "  --width N          pixels per line (default 800)\n"
        "  --height N         raster lines (default 600)\n"
        "  --byteperline N    bytes of one plane row (default: width, one byte per pixel)\n"
        "  --planes N         colour planes written (default 4)\n"
        "  --color N          colour count stored in the header (default: planes)\n"
        "  --bit N            bits per pixel stored in the header (default: derived)\n"
        "  --xdpi N --ydpi N  resolution (default 720 each)\n"
        "  --signature N      first header word (default 0x50524E31)\n"
        "  --reserved A,B,C   the three reserved words (default 0,0,0)\n"
        "  --pattern P        zero | ramp | bands | const:N (default bands); zero writes a sparse file\n"
        "  --trailing N       bytes of 0xEE after the raster data (fewer than one plane leave it a valid job)\n",
        out);
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseReserved(std::string_view text, RipHead& head) {
    for (size_t i = 0; i < head.reserved.size(); ++i) {
        size_t comma = text.find(',');
        std::string_view part = text.substr(0, comma);
        if (!ParseNumber(part, head.reserved[i])) return false;
        if (comma == std::string_view::npos) return i == head.reserved.size() - 1;
        text.remove_prefix(comma + 1);
    }
    return false;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    o.head.signature = 0x50524E31;
    o.head.xdpi = o.head.ydpi = 720;
    o.head.width = 800;
    o.head.height = 600;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            std::exit(0);
        }
        if (!arg.starts_with("--")) {
            if (!o.output.empty()) return false;
            o.output = arg;
            continue;
        }
        if (i + 1 >= argc) return false;
        std::string_view value = argv[++i];
        bool ok = true;
        if (arg == "--width") ok = ParseNumber(value, o.head.width);
        else if (arg == "--height") ok = ParseNumber(value, o.head.height);
        else if (arg == "--byteperline") ok = o.byteperlineGiven = ParseNumber(value, o.head.byteperline);
        else if (arg == "--planes") ok = ParseNumber(value, o.planes);
        else if (arg == "--color") ok = o.colorGiven = ParseNumber(value, o.head.color);
        else if (arg == "--bit") ok = o.bitGiven = ParseNumber(value, o.head.bit);
        else if (arg == "--xdpi") ok = ParseNumber(value, o.head.xdpi);
        else if (arg == "--ydpi") ok = ParseNumber(value, o.head.ydpi);
        else if (arg == "--signature") ok = ParseNumber(value, o.head.signature);
        else if (arg == "--reserved") ok = ParseReserved(value, o.head);
        else if (arg == "--trailing") ok = ParseNumber(value, o.trailing);
        else if (arg == "--pattern") {
            auto p = ParsePattern(value);
            ok = p.has_value();
            if (ok) o.pattern = *p;
        } else {
            std::fprintf(stderr, "tessarin-makejob: unknown option %s\n", argv[i - 1]);
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "tessarin-makejob: bad value for %s: %s\n", argv[i - 1], argv[i]);
            return false;
        }
    }
    if (!o.byteperlineGiven) o.head.byteperline = o.head.width;
    if (!o.colorGiven) o.head.color = o.planes;
    if (!o.bitGiven) o.head.bit = o.head.width ? static_cast<uint32_t>(uint64_t{o.head.byteperline} * 8 / o.head.width) : 0;
    return !o.output.empty();
}

bool WriteAll(int fd, const uint8_t* data, size_t count) {
    while (count > 0) {
        ssize_t n = ::write(fd, data, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

// Writes `height` lines as repeats of a block of up to 256 lines.
bool WriteRaster(int fd, const Options& o) {
    const uint64_t rowBytes = o.head.byteperline;
    const uint64_t lineBytes = rowBytes * o.planes;
    const uint64_t blockLines = std::min<uint64_t>(256, o.head.height);
    if (lineBytes == 0 || blockLines == 0) return true;
    std::vector<uint8_t> block(blockLines * lineBytes);
    for (uint64_t n = 0; n < blockLines; ++n)
        for (uint32_t p = 0; p < o.planes; ++p)
            for (uint64_t x = 0; x < rowBytes; ++x)
                block[n * lineBytes + p * rowBytes + x] = PatternByte(o.pattern, x, n, p, rowBytes);
    for (uint64_t done = 0; done < o.head.height; done += blockLines) {
        uint64_t lines = std::min<uint64_t>(blockLines, o.head.height - done);
        if (!WriteAll(fd, block.data(), lines * lineBytes)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        Usage(stderr);
        return 1;
    }
    platform::File out(::open(o.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!out) {
        std::fprintf(stderr, "tessarin-makejob: cannot create %s: %s\n", o.output.c_str(), std::strerror(errno));
        return 1;
    }
    auto header = o.head.ToBytes();
    bool ok = WriteAll(out.Fd(), header.data(), header.size());
    const uint64_t dataBytes = uint64_t{o.head.byteperline} * o.planes * o.head.height;
    if (ok && o.pattern.pattern == JobPattern::Zero) {
        ok = ::ftruncate(out.Fd(), static_cast<off_t>(RipHead::kSize + dataBytes)) == 0 &&
             ::lseek(out.Fd(), 0, SEEK_END) >= 0;
    } else if (ok) {
        ok = WriteRaster(out.Fd(), o);
    }
    if (ok && o.trailing > 0) {
        std::vector<uint8_t> tail(o.trailing, 0xEE);
        ok = WriteAll(out.Fd(), tail.data(), tail.size());
    }
    if (!ok || ::close(out.Release()) != 0) {
        std::fprintf(stderr, "tessarin-makejob: writing %s failed: %s\n", o.output.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
