#include "shell/TessarinConfig.h"

#include <algorithm>

#include "shell/IniReader.h"

namespace {

// An empty name names no library: loading it then fails and says so.
std::filesystem::path LibraryPath(const std::filesystem::path& dir, const std::string& name) {
    return name.empty() ? std::filesystem::path() : dir / (name + ".so");
}

}  // namespace

CTessarinConfig CTessarinConfig::Load(const std::filesystem::path& programDirectory) {
    CTessarinConfig c;
    c.programDirectory = programDirectory;
    c.configPath = programDirectory / "Tessarin.ini";
    CIniReader ini(c.configPath);
    c.printerDllName = ini.ReadString("setting", "PrinterDll", "");
    c.printerDllPath = LibraryPath(programDirectory, c.printerDllName);
    c.printerSettingPath = LibraryPath(programDirectory, ini.ReadString("setting", "PrinterSettingDll", ""));
    std::string hot = ini.ReadString("setting", "HotFolder", "");
    if (!hot.empty()) c.hotFolder = programDirectory / hot;  // an absolute value replaces the directory
    c.nReceiveTimeoutMs = std::max(1, ini.ReadInt("setting", "ReceiveTimeoutMs", c.nReceiveTimeoutMs));
    c.nHotFolderSettleMs = std::max(0, ini.ReadInt("setting", "HotFolderSettleMs", c.nHotFolderSettleMs));
    c.nHotFolderWaitMs = std::max(0, ini.ReadInt("setting", "HotFolderWaitMs", c.nHotFolderWaitMs));
    return c;
}
