#include "shell/ProfileFile.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <utility>

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// ---- text helpers -------------------------------------------------------------------------------------

std::string_view Trim(std::string_view s) {
    size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r") == std::string_view::npos;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// Windows keeps quotes only when they do not enclose the whole value; one pair comes off.
std::string_view Unquote(std::string_view value) {
    value = Trim(value);
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// ---- line classification ------------------------------------------------------------------------------

struct ParsedLine {
    enum class Kind { Other, Section, Key };
    Kind kind = Kind::Other;
    std::string_view name;   // trimmed section or key name
    std::string_view value;  // raw text after '=', for keys
};

ParsedLine Parse(std::string_view text) {
    // A "\r" before the line end (a stray one, or the last line of a CRLF file without its "\n") is not
    // part of the value.
    while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    std::string_view trimmed = Trim(text);
    if (trimmed.empty() || trimmed.front() == ';') return {};
    if (trimmed.front() == '[') {
        std::string_view inside = trimmed.substr(1);
        return {ParsedLine::Kind::Section, Trim(inside.substr(0, inside.find(']'))), {}};
    }
    size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return {};
    return {ParsedLine::Kind::Key, Trim(trimmed.substr(0, equals)), trimmed.substr(equals + 1)};
}

// ---- UTF-8 and UTF-16 ---------------------------------------------------------------------------------

// Takes one code point off the front of `s`; empty for an ill-formed sequence (overlong forms, surrogates
// and values beyond U+10FFFF included), leaving `s` as it was.
std::optional<char32_t> NextCodePoint(std::string_view& s) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    uint8_t lead = byte(0);
    if (lead < 0x80) {
        s.remove_prefix(1);
        return lead;
    }
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || s.size() < length) return std::nullopt;
    char32_t c = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    s.remove_prefix(length);
    return c;
}

bool IsValidUtf8(std::string_view s) {
    while (!s.empty()) {
        if (!NextCodePoint(s)) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16Le(std::string& out, char32_t c) {
    auto unit = [&](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    if (c < 0x10000) {
        unit(c);
    } else {
        unit(0xD800 + ((c - 0x10000) >> 10));
        unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

bool IsHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

std::string DecodeUtf16Le(std::string_view bytes, bool& faithful) {
    if (bytes.size() % 2 != 0) {
        faithful = false;
        bytes.remove_suffix(1);
    }
    auto unit = [&](size_t i) {
        return static_cast<char32_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    };
    std::string out;
    out.reserve(bytes.size());
    const size_t count = bytes.size() / 2;
    for (size_t i = 0; i < count; ++i) {
        char32_t c = unit(i);
        if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(unit(i + 1))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = 0xFFFD;
            faithful = false;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::optional<std::string> EncodeUtf16Le(std::string_view text) {
    std::string out(kUtf16LeBom);
    out.reserve(kUtf16LeBom.size() + 2 * text.size());
    while (!text.empty()) {
        auto c = NextCodePoint(text);
        if (!c) return std::nullopt;
        AppendUtf16Le(out, *c);
    }
    return out;
}

// ---- GBK through iconv --------------------------------------------------------------------------------

class IconvConverter {
public:
    IconvConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvConverter() {
        if (IsOpen()) iconv_close(cd_);
    }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of `input` as it can onto `output` and drops the converted part from `input`.
    // Returns 0 when all of it converted, otherwise the errno of the byte it stopped at.
    int Convert(std::string_view& input, std::string& output) {
        char buffer[4096];
        for (;;) {
            // iconv never writes through its input pointer; the signature is only historically non-const.
            char* in = const_cast<char*>(input.data());
            size_t inLeft = input.size();
            char* out = buffer;
            size_t outLeft = sizeof buffer;
            size_t result = iconv(cd_, &in, &inLeft, &out, &outLeft);
            int error = result == static_cast<size_t>(-1) ? errno : 0;
            output.append(buffer, static_cast<size_t>(out - buffer));
            input.remove_prefix(input.size() - inLeft);
            if (error != E2BIG) return error;
        }
    }

private:
    iconv_t cd_;
};

std::string GbkToUtf8(std::string_view bytes, bool& faithful) {
    IconvConverter converter("UTF-8", "GBK");
    if (!converter.IsOpen()) {
        faithful = false;
        return {};
    }
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    while (converter.Convert(bytes, out) != 0 && !bytes.empty()) {
        // A byte that is not GBK either: show it as U+FFFD and go on, so the rest of the file stays usable.
        faithful = false;
        out += kReplacementCharacter;
        bytes.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> Utf8ToGbk(std::string_view text) {
    IconvConverter converter("GBK", "UTF-8");
    if (!converter.IsOpen()) return std::nullopt;
    std::string out;
    out.reserve(text.size());
    if (converter.Convert(text, out) != 0) return std::nullopt;
    return out;
}

// ---- files --------------------------------------------------------------------------------------------

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // A close error after writing can mean the data never reached the disk, so the caller must see it.
    bool Close() {
        if (fd_ < 0) return true;
        return ::close(std::exchange(fd_, -1)) == 0;
    }

private:
    int fd_;
};

// A freshly made temporary file that disappears again unless it was renamed into place.
class TemporaryFile {
public:
    TemporaryFile(std::string path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
    ~TemporaryFile() {
        fd_.Close();
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_.get(); }
    bool CloseFd() { return fd_.Close(); }
    bool RenameTo(const std::filesystem::path& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) return false;
        path_.clear();
        return true;
    }

private:
    std::string path_;
    UniqueFd fd_;
};

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return bytes;
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The umask can only be read race-free from /proc: umask() itself would change it for a moment, under the
// feet of other threads creating files.
mode_t ProcessUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:"))
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

// The permission bits the new file gets: the old file's, or for a new file those open() would give it.
std::optional<mode_t> TargetMode(const std::filesystem::path& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) return info.st_mode & 07777;
    if (errno != ENOENT) return std::nullopt;
    return 0666 & ~ProcessUmask();
}

// Replacing a symbolic link by a regular file would detach the setting from the file the link points to.
std::filesystem::path ResolveLink(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(file, ec)) return file;
    auto resolved = std::filesystem::canonical(file, ec);
    return ec ? file : resolved;
}

void SyncDirectory(const std::filesystem::path& dir) {
    // Only makes the rename itself durable; the file is complete either way, so failure is not an error.
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.get());
}

bool ReplaceFileContent(const std::filesystem::path& file, std::string_view bytes) {
    const std::filesystem::path target = ResolveLink(file);
    const auto mode = TargetMode(target);
    if (!mode) return false;
    std::filesystem::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::string name = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd) return false;
    TemporaryFile temp(name, std::move(fd));
    if (!WriteAll(temp.fd(), bytes) || ::fchmod(temp.fd(), *mode) != 0 || ::fsync(temp.fd()) != 0 ||
        !temp.CloseFd() || !temp.RenameTo(target)) {
        return false;
    }
    SyncDirectory(dir);
    return true;
}

std::vector<std::string_view> SplitKeepingEndings(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t newline = text.find('\n');
        size_t length = newline == std::string_view::npos ? text.size() : newline + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

}  // namespace

std::optional<ProfileFile> ProfileFile::Load(const std::filesystem::path& file) {
    auto bytes = ReadWholeFile(file);
    if (!bytes) return std::nullopt;
    return Decode(*bytes);
}

ProfileFile ProfileFile::Decode(std::string_view bytes) {
    ProfileFile profile;
    std::string text;
    if (bytes.starts_with(kUtf8Bom)) {
        profile.encoding_ = Encoding::Utf8Bom;
        text = bytes.substr(kUtf8Bom.size());
    } else if (bytes.starts_with(kUtf16LeBom)) {
        profile.encoding_ = Encoding::Utf16Le;
        text = DecodeUtf16Le(bytes.substr(kUtf16LeBom.size()), profile.faithful_);
    } else if (IsValidUtf8(bytes)) {
        profile.encoding_ = Encoding::Utf8;
        text = bytes;
    } else {
        // Files written by the Chinese versions of the original program carry no BOM and are in code page
        // 936.
        profile.encoding_ = Encoding::Gbk;
        text = GbkToUtf8(bytes, profile.faithful_);
    }
    for (std::string_view line : SplitKeepingEndings(text)) {
        size_t endingLength = !line.ends_with('\n') ? 0 : line.ends_with("\r\n") ? 2 : 1;
        profile.lines_.push_back({std::string(line.substr(0, line.size() - endingLength)),
                                  std::string(line.substr(line.size() - endingLength))});
    }
    for (const Line& line : profile.lines_) {
        if (!line.ending.empty()) {
            profile.newline_ = line.ending;
            break;
        }
    }
    return profile;
}

std::optional<std::string> ProfileFile::Find(std::string_view section, std::string_view key) const {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty()) return std::nullopt;
    auto header = FindSection(section);
    if (!header) return std::nullopt;
    auto line = FindKey(*header, key);
    if (!line) return std::nullopt;
    return std::string(Unquote(Parse(lines_[*line].text).value));
}

bool ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    auto writable = [](std::string_view text) { return !HasLineBreak(text) && IsValidUtf8(text); };
    if (section.empty() || key.empty() || !writable(section) || !writable(key) || !writable(value)) {
        return false;
    }
    auto header = FindSection(section);
    if (!header) {
        AppendSection(section, key, value);
        return true;
    }
    if (auto line = FindKey(*header, key)) {
        std::string& text = lines_[*line].text;
        text = std::string(Parse(text).name) + "=" + std::string(value);
        return true;
    }
    InsertKey(*header, key, value);
    return true;
}

std::optional<std::string> ProfileFile::Encode() const {
    if (!faithful_) return std::nullopt;
    std::string text;
    for (const Line& line : lines_) {
        text += line.text;
        text += line.ending;
    }
    switch (encoding_) {
        case Encoding::Utf8:
            return text;
        case Encoding::Utf8Bom:
            return std::string(kUtf8Bom) + text;
        case Encoding::Utf16Le:
            return EncodeUtf16Le(text);
        case Encoding::Gbk:
            return Utf8ToGbk(text);
    }
    return std::nullopt;
}

bool ProfileFile::Save(const std::filesystem::path& file) const {
    auto bytes = Encode();
    return bytes && ReplaceFileContent(file, *bytes);
}

std::optional<size_t> ProfileFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        ParsedLine parsed = Parse(lines_[i].text);
        if (parsed.kind == ParsedLine::Kind::Section && EqualsNoCase(parsed.name, section)) return i;
    }
    return std::nullopt;
}

size_t ProfileFile::SectionEnd(size_t header) const {
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (Parse(lines_[i].text).kind == ParsedLine::Kind::Section) return i;
    }
    return lines_.size();
}

std::optional<size_t> ProfileFile::FindKey(size_t header, std::string_view key) const {
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        ParsedLine parsed = Parse(lines_[i].text);
        if (parsed.kind == ParsedLine::Kind::Key && EqualsNoCase(parsed.name, key)) return i;
    }
    return std::nullopt;
}

void ProfileFile::AppendSection(std::string_view section, std::string_view key, std::string_view value) {
    EnsureLastLineEnded();
    if (!lines_.empty() && !IsBlank(lines_.back().text)) lines_.push_back({"", newline_});
    lines_.push_back({"[" + std::string(section) + "]", newline_});
    lines_.push_back({std::string(key) + "=" + std::string(value), newline_});
}

void ProfileFile::InsertKey(size_t header, std::string_view key, std::string_view value) {
    // After the section's last key, so that blank lines and comments leading into the next section stay
    // with that section.
    size_t position = header + 1;
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        if (Parse(lines_[i].text).kind == ParsedLine::Kind::Key) position = i + 1;
    }
    if (lines_[position - 1].ending.empty()) lines_[position - 1].ending = newline_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(position),
                  Line{std::string(key) + "=" + std::string(value), newline_});
}

void ProfileFile::EnsureLastLineEnded() {
    if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = newline_;
}
