// The language files that ship with the program hold every key the window asks for, and the layout values
// refuse what their readers cannot use.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/CommandTable.h"
#include "shell/IniReader.h"
#include "shell/LayoutValues.h"

namespace {

const std::filesystem::path kLanguageDir = TESSARIN_SOURCE_DIR "/resources/Language";

std::vector<std::pair<std::string, std::string>> AllKeys() {
    std::vector<std::pair<std::string, std::string>> keys;
    keys.emplace_back("MENU", cmdtable::kMenuBarKey);
    for (const auto& menu : cmdtable::MainMenu()) {
        keys.emplace_back("MENU", menu.szKey);
        for (const auto& item : menu.items)
            if (item.nId != 0 && item.szKey) keys.emplace_back("MENU", item.szKey);
    }
    keys.emplace_back("TOOLBAR", cmdtable::kToolbarKey);
    for (const auto& button : cmdtable::MainToolbar())
        if (button.nId != 0) {
            keys.emplace_back("TOOLBAR", button.szPromptKey);
            keys.emplace_back("TOOLBAR", button.szTipKey);
        }
    for (const auto& t : cmdtable::kPaneCaptions) keys.emplace_back("PANE", t.szKey);
    for (const auto& t : cmdtable::kListColumns) keys.emplace_back("PANE", t.szKey);
    for (const char* key : cmdtable::kRowKeys) keys.emplace_back("PANE", key);
    for (const char* key : {"25", "26", "27", "28", "29", "210", "211", "212"}) keys.emplace_back("PANE", key);
    for (const auto& t : {cmdtable::kCopiesWord, cmdtable::kProgressWord, cmdtable::kDeleteListItem,
                          cmdtable::kDeleteSourceItem})
        keys.emplace_back("PANE", t.szKey);
    return keys;
}

}  // namespace

TEST(ShippedLanguageTest, EveryLanguageFileHoldsEveryKeyWithAText) {
    EXPECT_EQ(CIniReader(kLanguageDir / "Language.ini").ReadString("LAN", "Language", ""), "chinese");
    for (const char* language : {"chinese.ini", "english.ini"}) {
        const CIniReader file(kLanguageDir / language);
        for (const auto& [section, key] : AllKeys()) {
            const std::string text = file.ReadString(section, key, "<missing>");
            EXPECT_NE(text, "<missing>") << language << " [" << section << "] " << key;
            EXPECT_FALSE(text.empty()) << language << " [" << section << "] " << key;
        }
    }
}

TEST(ShippedLanguageTest, ChineseFileKeepsTheBuiltInTextsOfTheListAndStates) {
    const CIniReader file(kLanguageDir / "chinese.ini");
    for (const auto& t : {cmdtable::kCopiesWord, cmdtable::kProgressWord, cmdtable::kDeleteListItem,
                          cmdtable::kDeleteSourceItem})
        EXPECT_EQ(file.ReadString("PANE", t.szKey, ""), t.szInitialText);
    for (const auto& menu : cmdtable::MainMenu()) EXPECT_EQ(file.ReadString("MENU", menu.szKey, ""), menu.szText);
}

TEST(LayoutValuesTest, RefusesWhatTheReadersCannotUseAndKeepsThePreviousValue) {
    struct Case {
        CLayoutValues::Value value;
        int32_t n;
        bool accepted;
    } cases[] = {
        {CLayoutValues::X_COPIES, 0, false},  {CLayoutValues::X_COPIES, 1, true},
        {CLayoutValues::Y_COPIES, -3, false}, {CLayoutValues::Y_COPIES, 7, true},
        {CLayoutValues::Y_SPACING, -1, false}, {CLayoutValues::Y_SPACING, 0, true},
        {CLayoutValues::X_SPACING, -4, true}, {CLayoutValues::X_SPACING, 100, true},
    };
    for (const auto& c : cases) {
        CLayoutValues values(2, 3, 4, 5);
        const int32_t before = values.Get(c.value);
        const auto refusal = values.Set(c.value, c.n);
        EXPECT_EQ(!refusal, c.accepted) << c.value << " " << c.n;
        EXPECT_EQ(values.Get(c.value), c.accepted ? c.n : before);
    }
}
