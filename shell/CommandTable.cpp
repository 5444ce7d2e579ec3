#include "shell/CommandTable.h"

namespace {

using namespace cmd;

constexpr MenuItemInfo kFileMenu[] = {
    {ID_FILE_OPEN, "打开(&O)...\tCtrl+O", "01"},
    {ID_TESSARIN_PRINT, "打印(&P)...\tCtrl+P", "02"},
    {ID_TESSARIN_STOP, "取消(&S)...\tCtrl+S", "04"},
    {ID_PAUSE, "暂停(&P)", nullptr},
    {ID_RESUME, "继续(&R)", nullptr},
    {0, nullptr, nullptr},
    {ID_FILE_PRINT_SETUP, "打印设置(&R)...\tCtrl+R", "05"},
    {0, nullptr, nullptr},
    {ID_FILE_MRU_FILE1, "最近的文件", "06"},
    {0, nullptr, nullptr},
    {ID_APP_EXIT, "退出(&X)...\tCtrl+X", "07"},
};
constexpr MenuItemInfo kMaintenanceMenu[] = {
    {ID_HEAD_SETTINGS, "喷头设置", "11"},
    {ID_HEAD_VOLTAGE, "喷头电压", "12"},
};
constexpr MenuItemInfo kWindowMenu[] = {
    {ID_VIEW_TOOLBAR, "工具栏(&T)", "21"},
    {ID_VIEW_STATUS_BAR, "状态栏(&S)", "22"},
    {0, nullptr, nullptr},
    {ID_VIEW_FOLDER, "Folder", "23"},
    {ID_VIEW_FILE, "File List", "24"},
    {ID_VIEW_PROPERTY, "Property Window", "25"},
    {ID_VIEW_PRINT, "Print Window", "26"},
};
constexpr MenuItemInfo kHelpMenu[] = {
    {ID_APP_ABOUT, "关于 Tessarin(&A)...", "31"},
};
constexpr MenuItemInfo kLanguageMenu[] = {
    {ID_LANGUAGE_CHINESE, "简体中文", nullptr},
    {ID_LANGUAGE_ENGLISH, "English", nullptr},
};

constexpr TopMenuInfo kMainMenu[] = {
    {"文件(&F)", "0", kFileMenu},
    {"系统维护", "1", kMaintenanceMenu},
    {"窗口(&W)", "2", kWindowMenu},
    {"帮助(&H)", "3", kHelpMenu},
    {"语言切换", "4", kLanguageMenu},
};

constexpr ToolbarButtonInfo kToolbar[] = {
    {ID_FILE_OPEN, "打开", "0", "01"},
    {0, nullptr, nullptr, nullptr},
    {ID_TESSARIN_PRINT, "打印", "1", "11"},
    {0, nullptr, nullptr, nullptr},
    {ID_TESSARIN_STOP, "取消", "2", "21"},
    {0, nullptr, nullptr, nullptr},
    {ID_FILE_PRINT_SETUP, "打印设置", "3", "31"},
};

}  // namespace

namespace cmdtable {

std::span<const TopMenuInfo> MainMenu() { return kMainMenu; }
std::span<const ToolbarButtonInfo> MainToolbar() { return kToolbar; }

const MenuItemInfo* FindMenuItem(int32_t nId) {
    for (const auto& menu : kMainMenu)
        for (const auto& item : menu.items)
            if (item.nId == nId) return &item;
    return nullptr;
}

}  // namespace cmdtable
