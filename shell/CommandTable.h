#pragma once

// The commands of the main window and their texts: ids, compiled-in texts, and the keys under which the
// interface language files hold the texts (section MENU for menu items, TOOLBAR for the toolbar's prompts
// and tooltips, PANE for panes, columns and rows). The window builds its menus and toolbar from here; the
// language files that ship with the program must hold every key named here.

#include <array>
#include <cstdint>
#include <span>

namespace cmd {

inline constexpr int32_t ID_FILE_OPEN = 57601;
inline constexpr int32_t ID_TESSARIN_PRINT = 32788;
inline constexpr int32_t ID_TESSARIN_STOP = 32786;
inline constexpr int32_t ID_PAUSE = 32830;
inline constexpr int32_t ID_RESUME = 32831;
inline constexpr int32_t ID_FILE_PRINT_SETUP = 57606;
inline constexpr int32_t ID_FILE_MRU_FILE1 = 57616;
inline constexpr int32_t ID_APP_EXIT = 57665;
inline constexpr int32_t ID_HEAD_SETTINGS = 32824;
inline constexpr int32_t ID_HEAD_VOLTAGE = 32823;
inline constexpr int32_t ID_VIEW_TOOLBAR = 59392;
inline constexpr int32_t ID_VIEW_STATUS_BAR = 59393;
inline constexpr int32_t ID_VIEW_FOLDER = 32772;
inline constexpr int32_t ID_VIEW_FILE = 32776;
inline constexpr int32_t ID_VIEW_PROPERTY = 32774;
inline constexpr int32_t ID_VIEW_PRINT = 32775;
inline constexpr int32_t ID_APP_ABOUT = 57664;
inline constexpr int32_t ID_LANGUAGE_CHINESE = 32826;
inline constexpr int32_t ID_LANGUAGE_ENGLISH = 32827;

// The job list's context menu.
inline constexpr int32_t ID_PRINTPANESET_DELETELIST = 32811;
inline constexpr int32_t ID_PRINTPANESET_DELETESOURCE = 32812;
inline constexpr int32_t ID_PRINTPANESET_PAUSE = 32832;
inline constexpr int32_t ID_PRINTPANESET_RESUME = 32833;
inline constexpr int32_t ID_PRINTPANESET_DELETE = 32829;

// Control ids of the panes, also their saved-layout names.
inline constexpr int32_t ID_PANE_FOLDER = 310;
inline constexpr int32_t ID_PANE_FILE = 133;
inline constexpr int32_t ID_PANE_PROPERTY = 150;
inline constexpr int32_t ID_PANE_PRINT = 332;
inline constexpr int32_t ID_PANE_TOOL = 337;

}  // namespace cmd

// One menu item: id 0 is a separator; a null key keeps the compiled-in text in every language.
struct MenuItemInfo {
    int32_t nId;
    const char* szText;
    const char* szKey;
};

struct TopMenuInfo {
    const char* szText;
    const char* szKey;
    std::span<const MenuItemInfo> items;
};

// One toolbar button: id 0 is a separator. The label is the short text under the icon.
struct ToolbarButtonInfo {
    int32_t nId;
    const char* szLabel;
    const char* szPromptKey;
    const char* szTipKey;
};

// Where the language files name a pane, a column or a property row.
struct PaneTextInfo {
    const char* szKey;
    const char* szInitialText;
};

namespace cmdtable {

inline constexpr const char* kMenuBarKey = "00";
inline constexpr const char* kToolbarKey = "00";
inline constexpr const char* kToolbarInitialText = "标准";
inline constexpr const char* kNoText = " ";  // what a missing key gives on the main window

std::span<const TopMenuInfo> MainMenu();
std::span<const ToolbarButtonInfo> MainToolbar();
// The item of the main menu with this id, or null.
const MenuItemInfo* FindMenuItem(int32_t nId);

// Pane captions (folder, file, print, property), job list columns 0 to 3, and the six relabelled property
// rows (0, 1, 2, 5, 6, 7).
inline constexpr std::array<PaneTextInfo, 4> kPaneCaptions{
    {{"0", "Folder"}, {"1", "File View"}, {"2", "Print Job"}, {"3", "Property"}}};
inline constexpr std::array<PaneTextInfo, 4> kListColumns{
    {{"21", "File"}, {"22", "State"}, {"23", "Schedule"}, {"24", "Details"}}};
inline constexpr std::array<int, 6> kRelabelledRows{0, 1, 2, 5, 6, 7};
inline constexpr std::array<const char*, 6> kRowKeys{"31", "32", "33", "34", "35", "36"};

// Texts of the job list: the words before the copy number and the progress, and the two option items.
inline constexpr PaneTextInfo kCopiesWord{"213", "打印份数"};
inline constexpr PaneTextInfo kProgressWord{"214", "进度"};
inline constexpr PaneTextInfo kDeleteListItem{"215", "打印完删除列表"};
inline constexpr PaneTextInfo kDeleteSourceItem{"216", "热打印完删除源文件"};

}  // namespace cmdtable
