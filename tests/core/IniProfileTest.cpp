#include <gtest/gtest.h>
#include <iconv.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shell/IniReader.h"
#include "shell/IniWriter.h"

namespace fs = std::filesystem;

namespace {

// Converts with the system's iconv rather than the code under test, so an encoding bug cannot cancel out.
std::string ConvertFromUtf8(const std::string& text, const char* encoding) {
    struct Closer {
        iconv_t cd;
        ~Closer() { iconv_close(cd); }
    } converter{iconv_open(encoding, "UTF-8")};
    EXPECT_NE(converter.cd, reinterpret_cast<iconv_t>(-1)) << encoding;
    std::string in = text;
    std::string out(text.size() * 4 + 16, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    EXPECT_NE(iconv(converter.cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1)) << encoding;
    out.resize(out.size() - outLeft);
    return out;
}

// A byte string from a literal that holds NULs.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

std::string ToCrlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// The forms an ini file of the original program comes in, each made from the same UTF-8 "\n" text.
struct FileForm {
    const char* name;
    std::function<std::string(const std::string&)> encode;
};

const std::vector<FileForm>& FileForms() {
    static const std::vector<FileForm> forms = {
        {"UTF-8", [](const std::string& t) { return t; }},
        {"UTF-8 BOM", [](const std::string& t) { return "\xEF\xBB\xBF" + t; }},
        {"UTF-8 CRLF", [](const std::string& t) { return ToCrlf(t); }},
        {"UTF-16LE CRLF",
         [](const std::string& t) { return "\xFF\xFE" + ConvertFromUtf8(ToCrlf(t), "UTF-16LE"); }},
        {"GBK", [](const std::string& t) { return ConvertFromUtf8(t, "GBK"); }},
        {"GBK CRLF", [](const std::string& t) { return ConvertFromUtf8(ToCrlf(t), "GBK"); }},
    };
    return forms;
}

std::string Repeat(std::string_view piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

class IniProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("tessarin-" + std::string(info->test_suite_name()) + "-" +
                                            info->name() + "-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path PathOf(const std::string& name) const { return dir_ / name; }

    void WriteBytes(const std::string& name, const std::string& bytes) const {
        std::ofstream(PathOf(name), std::ios::binary | std::ios::trunc) << bytes;
    }

    std::string ReadBytes(const std::string& name) const {
        std::ifstream in(PathOf(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

// ---- reading --------------------------------------------------------------------------------------------

const std::string kAwkwardFile =
    "; leading comment\n"
    "orphan=before any section\n"
    "[General]\n"
    "Name = Alpha \n"
    "name=Second\n"
    "  Speed\t=\t 12 \n"
    "Empty=\n"
    "Blank =   \n"
    "Quoted=\"  padded  \"\n"
    "Single='x'\n"
    "Pair=''\n"
    "Mismatch=\"x'\n"
    "OnlyQuote=\"\n"
    "Inner=a \"b\" c\n"
    "Inline=value ; kept\n"
    "Equals=a=b\n"
    "NoEquals line\n"
    "; Hidden=comment\n"
    "\t; Indented=comment\n"
    "\n"
    "  [ Spaced Section ] trailing text\n"
    "Key With Space = v\n"
    "[general]\n"
    "Name=from duplicate section\n"
    "Late=only in duplicate section\n"
    "[打印]\n"
    "状态 = 输出结束\n"
    "[Other]\n"
    "Name=other\n";

struct Lookup {
    const char* section;
    const char* key;
    const char* expected;  // with "<default>" as the default
};

const Lookup kAwkwardLookups[] = {
    {"General", "Name", "Alpha"},
    {"GENERAL", "NAME", "Alpha"},
    {"general", "name", "Alpha"},
    {" General\t", "  Name ", "Alpha"},
    {"General", "Speed", "12"},
    {"General", "Empty", ""},
    {"General", "Blank", ""},
    {"General", "Quoted", "  padded  "},
    {"General", "Single", "x"},
    {"General", "Pair", ""},
    {"General", "Mismatch", "\"x'"},
    {"General", "OnlyQuote", "\""},
    {"General", "Inner", "a \"b\" c"},
    {"General", "Inline", "value ; kept"},
    {"General", "Equals", "a=b"},
    {"General", "Late", "<default>"},
    {"General", "Hidden", "<default>"},
    {"General", "Indented", "<default>"},
    {"General", "NoEquals line", "<default>"},
    {"General", "orphan", "<default>"},
    {"Spaced Section", "key with space", "v"},
    {"spaced section", "KEY WITH SPACE", "v"},
    {"打印", "状态", "输出结束"},
    {"Other", "Name", "other"},
    {"Other", "Speed", "<default>"},
    {"Missing", "Name", "<default>"},
    {"General", "Missing", "<default>"},
    {"", "Name", "<default>"},
    {"General", "", "<default>"},
};

TEST_F(IniProfileTest, ReadsAwkwardFileInEveryEncodingAndLineEnd) {
    for (const FileForm& form : FileForms()) {
        WriteBytes("awkward.ini", form.encode(kAwkwardFile));
        CIniReader reader(PathOf("awkward.ini"));
        for (const Lookup& lookup : kAwkwardLookups) {
            SCOPED_TRACE(std::string(form.name) + " [" + lookup.section + "] " + lookup.key);
            EXPECT_EQ(reader.ReadString(lookup.section, lookup.key, "<default>"), lookup.expected);
        }
    }
}

TEST_F(IniProfileTest, GbkTestBytesAreWhatIconvProduces) {
    EXPECT_EQ(ConvertFromUtf8("输出结束", "GBK"), "\xCA\xE4\xB3\xF6\xBD\xE1\xCA\xF8");
}

TEST_F(IniProfileTest, DecodesUtf16SurrogatePairs) {
    // [S] / K=A😀 with U+1F600 as the surrogate pair D83D DE00.
    const std::string bytes = Bytes("\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0A\0\x3D\xD8\x00\xDE\r\0\n\0");
    WriteBytes("emoji.ini", bytes);
    EXPECT_EQ(CIniReader(PathOf("emoji.ini")).ReadString("S", "K"), "A\xF0\x9F\x98\x80");
}

TEST_F(IniProfileTest, StrayCarriageReturnsStayOutOfValues) {
    WriteBytes("cr.ini", "[S]\r\nA=1\r\r\nB= 2 \r\n[T]\r\nC=3\r");
    CIniReader reader(PathOf("cr.ini"));
    EXPECT_EQ(reader.ReadString("S", "A"), "1");
    EXPECT_EQ(reader.ReadString("S", "B"), "2");
    EXPECT_EQ(reader.ReadString("T", "C"), "3");
}

TEST_F(IniProfileTest, MissingFileGivesDefaults) {
    CIniReader reader(PathOf("absent.ini"));
    EXPECT_EQ(reader.ReadString("S", "K", "fallback"), "fallback");
    EXPECT_EQ(reader.ReadString("S", "K"), "");
    EXPECT_EQ(reader.ReadInt("S", "K", 7), 7);
    EXPECT_EQ(CIniReader(dir_).ReadString("S", "K", "folder"), "folder");
}

TEST_F(IniProfileTest, CutsValuesAndDefaultsTo254Characters) {
    const std::string chinese300 = Repeat("汉", 300);
    const std::string emoji = "\xF0\x9F\x98\x80";
    const struct {
        const char* name;
        std::string text;
        std::string expected;
    } cases[] = {
        {"short", "abc", "abc"},
        {"exactly 254", Repeat("a", 254), Repeat("a", 254)},
        {"ASCII 300", Repeat("a", 300), Repeat("a", 254)},
        {"Chinese 300", chinese300, Repeat("汉", 254)},
        {"multi-byte at the edge", Repeat("a", 253) + "汉字", Repeat("a", 253) + "汉"},
        {"four-byte at the edge", Repeat("a", 253) + emoji + emoji, Repeat("a", 253) + emoji},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes("long.ini", "[S]\nK=" + c.text + "\n");
        CIniReader reader(PathOf("long.ini"));
        EXPECT_EQ(reader.ReadString("S", "K", "unused"), c.expected);
        EXPECT_EQ(reader.ReadString("S", "Missing", c.text), c.expected);
    }
}

TEST_F(IniProfileTest, ReadIntParsesLikeTheOriginalApi) {
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"42", 42},
        {" 42 ", 42},
        {"-7", -7},
        {"+5", 5},
        {"007", 7},
        {"abc", 0},
        {"12abc", 12},
        {"3.9", 3},
        {"0x10", 0},
        {"- 3", 0},
        {"-", 0},
        {"\"15\"", 15},
        {"", 99},
        {"   ", 99},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("value '") + c.value + "'");
        WriteBytes("int.ini", std::string("[S]\nK=") + c.value + "\n");
        EXPECT_EQ(CIniReader(PathOf("int.ini")).ReadInt("S", "K", 99), c.expected);
    }
    EXPECT_EQ(CIniReader(PathOf("int.ini")).ReadInt("S", "Missing", -3), -3);
}

// ---- writing --------------------------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::optional<std::string> before;  // empty: no file
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

const WriteCase kWriteCases[] = {
    {"replace keeps every other line byte for byte",
     "; Tessarin settings\r\n[General]\r\n  Speed\t=\t 12 \r\nspeed=duplicate\n\r\n; tail ; comment\r\n"
     "[Other]\r\nSpeed=1\r\n",
     "GENERAL", "speed", "20",
     "; Tessarin settings\r\n[General]\r\nSpeed=20\r\nspeed=duplicate\n\r\n; tail ; comment\r\n"
     "[Other]\r\nSpeed=1\r\n"},
    {"replace in first of duplicate sections", "[S]\nK=1\n[s]\nK=2\n", "s", "k", "9", "[S]\nK=9\n[s]\nK=2\n"},
    {"new key after the section's last key", "[General]\nA=1\nB=2\n\n; about Other\n[Other]\nC=3\n",
     "General", "New", "x", "[General]\nA=1\nB=2\nNew=x\n\n; about Other\n[Other]\nC=3\n"},
    {"new key not taken from a later section", "[A]\nX=1\n[B]\nK=1\n", "A", "K", "2",
     "[A]\nX=1\nK=2\n[B]\nK=1\n"},
    {"new key below the header of a keyless section", "[Empty]\n\n[Other]\nC=3\n", "Empty", "K", "v",
     "[Empty]\nK=v\n\n[Other]\nC=3\n"},
    {"new key at end of file without final line end", "[General]\nA=1", "General", "B", "2",
     "[General]\nA=1\nB=2\n"},
    {"new key takes the file's CRLF", "[General]\r\nA=1\r\n", "General", "B", "2",
     "[General]\r\nA=1\r\nB=2\r\n"},
    {"new section after a blank line", "[General]\nA=1\n", "Other", "K", "v",
     "[General]\nA=1\n\n[Other]\nK=v\n"},
    {"new section without a second blank line", "[General]\nA=1\n\n", "Other", "K", "v",
     "[General]\nA=1\n\n[Other]\nK=v\n"},
    {"new section after a file without final line end", "[General]\r\nA=1", "Other", "K", "v",
     "[General]\r\nA=1\r\n\r\n[Other]\r\nK=v\r\n"},
    {"new section in an empty file", "", "Other", "K", "v", "[Other]\nK=v\n"},
    {"new file", std::nullopt, "Section", "Key", "Value", "[Section]\nKey=Value\n"},
    {"names trimmed, value kept as given", std::nullopt, " S\t", " K ", "a=b ; c", "[S]\nK=a=b ; c\n"},
    {"UTF-8 text", "[S]\nK=1\n", "打印", "状态", "输出结束", "[S]\nK=1\n\n[打印]\n状态=输出结束\n"},
};

TEST_F(IniProfileTest, WritesPlaceValuesAndKeepTheRest) {
    for (const WriteCase& c : kWriteCases) {
        SCOPED_TRACE(c.name);
        fs::remove(PathOf("w.ini"));
        if (c.before) WriteBytes("w.ini", *c.before);
        EXPECT_TRUE(CIniWriter(PathOf("w.ini")).WriteString(c.section, c.key, c.value));
        EXPECT_EQ(ReadBytes("w.ini"), c.after);
        EXPECT_EQ(CIniReader(PathOf("w.ini")).ReadString(c.section, c.key, "<default>"), c.value);
    }
}

TEST_F(IniProfileTest, WriteIntFormatsAsDecimal) {
    for (int value : {-1, 0, 1234, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(value);
        fs::remove(PathOf("int.ini"));
        ASSERT_TRUE(CIniWriter(PathOf("int.ini")).WriteInt("S", "K", value));
        EXPECT_EQ(ReadBytes("int.ini"), "[S]\nK=" + std::to_string(value) + "\n");
        EXPECT_EQ(CIniReader(PathOf("int.ini")).ReadInt("S", "K", 42), value);
    }
}

TEST_F(IniProfileTest, WritesKeepTheFileEncodingAndLineEnds) {
    const std::string before = "; 注释\n[打印]\n状态=输出结束\n\n[Other]\nA=1\n";
    const std::string after = "; 注释\n[打印]\n状态=暂停\n新键=值\n\n[Other]\nA=1\n";
    for (const FileForm& form : FileForms()) {
        SCOPED_TRACE(form.name);
        WriteBytes("enc.ini", form.encode(before));
        CIniWriter writer(PathOf("enc.ini"));
        EXPECT_TRUE(writer.WriteString("打印", "状态", "暂停"));
        EXPECT_TRUE(writer.WriteString("打印", "新键", "值"));
        EXPECT_EQ(ReadBytes("enc.ini"), form.encode(after));
    }
}

TEST_F(IniProfileTest, LongValueIsWrittenWholeAndReadCut) {
    const std::string value = Repeat("汉", 300);
    ASSERT_TRUE(CIniWriter(PathOf("long.ini")).WriteString("S", "K", value));
    EXPECT_EQ(ReadBytes("long.ini"), "[S]\nK=" + value + "\n");
    EXPECT_EQ(CIniReader(PathOf("long.ini")).ReadString("S", "K"), Repeat("汉", 254));
}

TEST_F(IniProfileTest, RefusedWritesLeaveFilesAlone) {
    const struct {
        const char* name;
        std::string section, key, value;
        const char* form;  // a file form the value cannot be written in, or null for all forms
    } cases[] = {
        {"empty section", "", "K", "v", nullptr},
        {"blank section", " \t", "K", "v", nullptr},
        {"empty key", "S", "", "v", nullptr},
        {"line feed in section", "S\nX", "K", "v", nullptr},
        {"carriage return in key", "S", "K\r", "v", nullptr},
        {"line feed in value", "S", "K", "a\nb", nullptr},
        {"carriage return in value", "S", "K", "a\rb", nullptr},
        {"value not UTF-8", "S", "K", "\xFF\xFE", nullptr},
        {"character not in GBK", "S", "K", "smile \xF0\x9F\x98\x80", "GBK"},
        {"character not in GBK, new key", "S", "New", "\xF0\x9F\x98\x80", "GBK CRLF"},
    };
    for (const FileForm& form : FileForms()) {
        const std::string original = form.encode("[S]\nK=原来\n");
        for (const auto& c : cases) {
            if (c.form && std::string_view(c.form) != form.name) continue;
            SCOPED_TRACE(std::string(form.name) + ": " + c.name);
            WriteBytes("keep.ini", original);
            EXPECT_FALSE(CIniWriter(PathOf("keep.ini")).WriteString(c.section, c.key, c.value));
            EXPECT_EQ(ReadBytes("keep.ini"), original);
            EXPECT_EQ(FolderEntries(), std::vector<std::string>{"keep.ini"});
        }
    }
    EXPECT_FALSE(CIniWriter(PathOf("new.ini")).WriteString("S", "K", "a\nb"));
    EXPECT_FALSE(fs::exists(PathOf("new.ini")));
}

TEST_F(IniProfileTest, FilesThatCannotBeDecodedFaithfullyAreReadButNotRewritten) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"neither UTF-8 nor GBK", "[S]\nK=1\n\xFF\xFF junk\n"},
        {"UTF-16LE lone surrogate", Bytes("\xFF\xFE[\0S\0]\0\n\0K\0=\0"
                                          "1\0\n\0\x00\xD8\n\0")},
        {"UTF-16LE odd length", Bytes("\xFF\xFE[\0S\0]\0\n\0K\0=\0"
                                      "1\0\n\0X")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes("odd.ini", c.bytes);
        EXPECT_EQ(CIniReader(PathOf("odd.ini")).ReadString("S", "K"), "1");
        EXPECT_FALSE(CIniWriter(PathOf("odd.ini")).WriteString("S", "K", "2"));
        EXPECT_EQ(ReadBytes("odd.ini"), c.bytes);
    }
}

// Lowers the file size limit for one scope; root ignores permissions, but not this.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    sighandler_t oldHandler_;
    rlimit old_{};
};

TEST_F(IniProfileTest, FailedWriteLeavesOldFileAndNoTemporaryFile) {
    const std::string original = "; keep me\n[S]\nK=old\n";
    WriteBytes("full.ini", original);
    bool written = true;
    {
        FileSizeLimit limit(1024);
        written = CIniWriter(PathOf("full.ini")).WriteString("S", "K", Repeat("x", 8192));
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes("full.ini"), original);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"full.ini"});
    EXPECT_EQ(CIniReader(PathOf("full.ini")).ReadString("S", "K"), "old");
}

TEST_F(IniProfileTest, UnwritableTargetsFail) {
    fs::create_directories(PathOf("folder.ini"));
    for (const fs::path& target : {PathOf("no-such-folder") / "x.ini", PathOf("folder.ini")}) {
        SCOPED_TRACE(target.string());
        EXPECT_FALSE(CIniWriter(target).WriteString("S", "K", "v"));
    }
    EXPECT_FALSE(fs::exists(PathOf("no-such-folder")));
    EXPECT_TRUE(fs::is_empty(PathOf("folder.ini")));
}

TEST_F(IniProfileTest, WriteKeepsPermissionBitsAndSymbolicLinks) {
    WriteBytes("real.ini", "[S]\nK=1\n");
    fs::permissions(PathOf("real.ini"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.ini", PathOf("link.ini"));
    ASSERT_TRUE(CIniWriter(PathOf("link.ini")).WriteString("S", "K", "2"));
    EXPECT_TRUE(fs::is_symlink(PathOf("link.ini")));
    EXPECT_EQ(ReadBytes("real.ini"), "[S]\nK=2\n");
    EXPECT_EQ(fs::status(PathOf("real.ini")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IniProfileTest, ReadersNeverSeeAHalfWrittenFile) {
    const std::string shortValue = Repeat("a", 100);
    const std::string longValue = Repeat("b", 200);
    ASSERT_TRUE(CIniWriter(PathOf("busy.ini")).WriteString("S", "K", shortValue));
    std::atomic<bool> done{false};
    std::atomic<int> writeFailures{0};
    std::thread writer([&] {
        CIniWriter w(PathOf("busy.ini"));
        for (int i = 0; i < 200; ++i) {
            if (!w.WriteString("S", "K", i % 2 ? longValue : shortValue)) ++writeFailures;
        }
        done = true;
    });
    int reads = 0;
    int tornReads = 0;
    CIniReader reader(PathOf("busy.ini"));
    while (!done || reads == 0) {
        std::string value = reader.ReadString("S", "K", "<default>");
        if (value != shortValue && value != longValue) ++tornReads;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(writeFailures, 0);
    EXPECT_EQ(tornReads, 0) << "of " << reads << " reads";
}

TEST_F(IniProfileTest, ConcurrentWritersDoNotLoseEachOthersKeys) {
    constexpr int kThreads = 6;
    constexpr int kKeysPerThread = 10;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CIniWriter writer(PathOf("shared.ini"));
            for (int k = 0; k < kKeysPerThread; ++k) {
                std::string key = "K" + std::to_string(t) + "_" + std::to_string(k);
                if (!writer.WriteInt("Section" + std::to_string(t % 2), key, t * 100 + k)) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
    CIniReader reader(PathOf("shared.ini"));
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeysPerThread; ++k) {
            std::string key = "K" + std::to_string(t) + "_" + std::to_string(k);
            EXPECT_EQ(reader.ReadInt("Section" + std::to_string(t % 2), key, -1), t * 100 + k) << key;
        }
    }
}

}  // namespace
