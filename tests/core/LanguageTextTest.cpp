#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ProgramDirectory.h"
#include "shell/IniWriter.h"
#include "shell/LanguageText.h"

namespace fs = std::filesystem;

namespace {

class LanguageTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        home_ = fs::temp_directory_path() / ("tessarin-" + std::string(info->test_suite_name()) + "-" +
                                             info->name() + "-" + std::to_string(::getpid()));
        fs::remove_all(home_);
        fs::create_directories(home_ / "Language");
        platform::SetProgramDirectory(home_);
    }
    void TearDown() override {
        platform::SetProgramDirectory({});
        fs::remove_all(home_);
    }

    void WriteFile(const fs::path& relative, const std::string& text) const {
        fs::create_directories((home_ / relative).parent_path());
        std::ofstream(home_ / relative, std::ios::binary | std::ios::trunc) << text;
    }

    // The way the language menu switches: it rewrites Language.ini.
    bool SwitchLanguage(const std::string& name) const {
        return CIniWriter(home_ / "Language" / "Language.ini").WriteString("LAN", "Language", name);
    }

    void WriteEnglishAndChinese() const {
        WriteFile("Language/english.ini", "[Main]\nPrint=Print\nStop = Stop \n");
        WriteFile("Language/chinese.ini", "[Main]\nPrint=打印\n");
    }

    fs::path home_;
};

TEST_F(LanguageTextTest, WithoutLanguageFilesDefaultsComeBack) {
    EXPECT_EQ(GetLanguageText("Main", "Print", "Print (default)"), "Print (default)");
    fs::remove_all(home_ / "Language");
    EXPECT_EQ(GetLanguageText("Main", "Print", "Print (default)"), "Print (default)");
}

TEST_F(LanguageTextTest, SwitchTakesEffectAtTheNextLookup) {
    WriteEnglishAndChinese();
    ASSERT_TRUE(SwitchLanguage("english"));
    EXPECT_EQ(GetLanguageText("Main", "Print", "default"), "Print");
    EXPECT_EQ(GetLanguageText("MAIN", "stop", "default"), "Stop");
    ASSERT_TRUE(SwitchLanguage("chinese"));
    EXPECT_EQ(GetLanguageText("Main", "Print", "default"), "打印");
}

TEST_F(LanguageTextTest, MissingTextsFallBackToTheDefault) {
    WriteEnglishAndChinese();
    ASSERT_TRUE(SwitchLanguage("chinese"));
    EXPECT_EQ(GetLanguageText("Main", "Stop", "停止"), "停止");
    EXPECT_EQ(GetLanguageText("Dialog", "Print", "default"), "default");
    ASSERT_TRUE(SwitchLanguage("klingon"));
    EXPECT_EQ(GetLanguageText("Main", "Print", "default"), "default");
}

TEST_F(LanguageTextTest, LanguageNameCannotLeaveTheLanguageFolder) {
    // Files a path in the name would reach, each holding the text a faulty lookup would return.
    WriteFile("x.ini", "[Main]\nPrint=escaped\n");
    WriteFile("Language/sub/x.ini", "[Main]\nPrint=escaped\n");
    WriteFile("Language/sub\\x.ini", "[Main]\nPrint=escaped\n");
    const std::string absolute = (home_ / "x").string();
    for (const std::string& name :
         {std::string("../x"), std::string("..\\x"), std::string("sub/x"), std::string("sub\\x"), absolute}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SwitchLanguage(name));
        EXPECT_EQ(GetLanguageText("Main", "Print", "default"), "default");
    }
}

TEST_F(LanguageTextTest, LookupsDuringALanguageSwitchSeeOneLanguageOrTheOther) {
    WriteEnglishAndChinese();
    ASSERT_TRUE(SwitchLanguage("english"));
    std::atomic<bool> done{false};
    std::thread switcher([&] {
        for (int i = 0; i < 100; ++i) SwitchLanguage(i % 2 ? "english" : "chinese");
        done = true;
    });
    std::vector<std::thread> readers;
    std::atomic<int> unexpected{0};
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!done) {
                std::string text = GetLanguageText("Main", "Print", "default");
                if (text != "Print" && text != "打印") ++unexpected;
            }
        });
    }
    switcher.join();
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(unexpected, 0);
}

}  // namespace
