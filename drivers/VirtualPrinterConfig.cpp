#include "VirtualPrinterConfig.h"

#include <algorithm>
#include <string>

#include "shell/IniReader.h"
#include "shell/Trace.h"

namespace {

std::filesystem::path ResolveOutputFolder(const CIniReader& ini, const std::filesystem::path& libraryFolder) {
    using Config = VirtualPrinterConfig;
    std::filesystem::path folder =
        ini.ReadString(Config::kSection, "OutputFolder", Config::kDefaultOutputFolder);
    // An empty value would spill sessions into the program directory itself.
    if (folder.empty()) folder = Config::kDefaultOutputFolder;
    return folder.is_absolute() ? folder : libraryFolder / folder;
}

std::optional<DriverEntry> ReadFailEntry(const CIniReader& ini) {
    std::string name = ini.ReadString(VirtualPrinterConfig::kSection, "FailEntry", "");
    if (name.empty()) return std::nullopt;
    std::optional<DriverEntry> entry = DriverEntryFromName(name);
    if (!entry) TraceLine("FailEntry=%s names no entry of the printer library; nothing fails", name.c_str());
    return entry;
}

}  // namespace

VirtualPrinterConfig VirtualPrinterConfig::Load(const std::filesystem::path& libraryFolder) {
    const CIniReader ini(libraryFolder / kFileName);
    auto readInt = [&ini](const char* key, int fallback) { return ini.ReadInt(kSection, key, fallback); };

    VirtualPrinterConfig config;
    config.outputFolder = ResolveOutputFolder(ini, libraryFolder);
    config.keepData = readInt("KeepData", 1) != 0;
    config.linesPerSecond = std::max(0, readInt("LinesPerSecond", 0));
    config.failEntry = ReadFailEntry(ini);
    config.failAtCall = readInt("FailAtCall", 1);
    config.failResult = readInt("FailResult", 0);
    config.failSession = readInt("FailSession", 0);
    config.passCount = readInt("PassCount", 4);
    config.inkMode = readInt("InkMode", 0);
    config.holdInitMs = std::max(0, readInt("HoldInitMs", 0));
    return config;
}

bool VirtualPrinterConfig::FailsAt(DriverEntry entry, int session, uint64_t call) const {
    if (failEntry != entry || failAtCall < 1 || call != static_cast<uint64_t>(failAtCall)) return false;
    return failSession == 0 || failSession == session;
}
