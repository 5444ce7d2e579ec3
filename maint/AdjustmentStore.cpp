#include "maint/AdjustmentStore.h"

#include <algorithm>
#include <array>
#include <climits>
#include <utility>

#include "shell/IniReader.h"
#include "shell/IniWriter.h"

namespace {

constexpr std::string_view kFeedSection = "MEDIAFEED";
constexpr std::string_view kBidSection = "HEAD_LAYOUT";
constexpr std::string_view kMaterialSection = "SETTING";

constexpr std::array<std::pair<int32_t, std::string_view>, 8> kPassKeys = {{
    {1, "nMediaFeedingPulse[0]"},
    {2, "nMediaFeedingPulse[1]"},
    {3, "nMediaFeedingPulse[2]"},
    {4, "nMediaFeedingPulse[3]"},
    {6, "nMediaFeedingPulse[4]"},
    {8, "nMediaFeedingPulse[5]"},
    {12, "nMediaFeedingPulse[6]"},
    {16, "nMediaFeedingPulse[7]"},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kModeKeys = {{
    {"000", "nBidComp[0][0][0]"},
    {"001", "nBidComp[0][0][1]"},
    {"002", "nBidComp[0][0][2]"},
    {"100", "nBidComp[1][0][0]"},
    {"101", "nBidComp[1][0][1]"},
    {"102", "nBidComp[1][0][2]"},
    {"200", "nBidComp[2][0][0]"},
    {"201", "nBidComp[2][0][1]"},
    {"202", "nBidComp[2][0][2]"},
}};

constexpr std::array<std::string_view, 3> kInkKeys = {"nBidComp[0]", "nBidComp[1]", "nBidComp[2]"};

// A mistyped huge value in an ini file must not overflow into a wrong sign.
int Sum(int value, int correction) {
    return static_cast<int>(std::clamp<int64_t>(int64_t{value} + correction, INT_MIN, INT_MAX));
}

std::optional<std::string> KnownPassKey(int32_t passCount, std::string& problem) {
    std::optional<std::string> key = CAdjustmentStore::PassKey(passCount);
    if (!key) problem = "a print mode of " + std::to_string(passCount) + " passes has no feed setting";
    return key;
}

std::optional<std::string> KnownInkKey(int32_t inkMode, std::string& problem) {
    std::optional<std::string> key = CAdjustmentStore::InkKey(inkMode);
    if (!key) problem = "ink mode " + std::to_string(inkMode) + " has no bidirectional setting";
    return key;
}

}  // namespace

CAdjustmentStore::CAdjustmentStore(std::filesystem::path programDirectory)
    : m_programDirectory(std::move(programDirectory)) {}

std::optional<std::string> CAdjustmentStore::PassKey(int32_t passCount) {
    for (const auto& [passes, key] : kPassKeys)
        if (passes == passCount) return std::string(key);
    return std::nullopt;
}

std::optional<std::string> CAdjustmentStore::InkKey(int32_t inkMode) {
    if (inkMode < 0 || inkMode >= static_cast<int32_t>(kInkKeys.size())) return std::nullopt;
    return std::string(kInkKeys[static_cast<size_t>(inkMode)]);
}

std::optional<std::string> CAdjustmentStore::ModeKey(std::string_view code) {
    for (const auto& [mode, key] : kModeKeys)
        if (mode == code) return std::string(key);
    return std::nullopt;
}

std::filesystem::path CAdjustmentStore::MachinePath() const {
    return m_programDirectory / "vkconfig.ini";
}

std::filesystem::path CAdjustmentStore::ConfigPath() const {
    return m_programDirectory / "Tessarin.ini";
}

std::filesystem::path CAdjustmentStore::MaterialPath() const {
    std::string material = CIniReader(ConfigPath()).ReadString("setting", "CurMaterial");
    return m_programDirectory / "Config" / (material + ".ini");
}

std::string CAdjustmentStore::ModeCode() const {
    CIniReader material(MaterialPath());
    return material.ReadString(kMaterialSection, "nBidComp[Speed]") +
           material.ReadString(kMaterialSection, "nBidComp[Resolution]") +
           material.ReadString(kMaterialSection, "nBidComp[Dot_Mode]");
}

std::optional<int> CAdjustmentStore::MachineValue(std::string_view section,
                                                  const std::optional<std::string>& key) const {
    if (!key) return std::nullopt;
    return CIniReader(MachinePath()).ReadInt(section, *key, 0);
}

std::optional<int> CAdjustmentStore::Write(const std::filesystem::path& file, std::string_view section,
                                           const std::string& key, int value, std::string& problem) {
    if (CIniWriter(file).WriteInt(section, key, value)) return value;
    problem = "cannot write " + key + " into " + file.string();
    return std::nullopt;
}

std::optional<int> CAdjustmentStore::WriteMaterialFeed(int32_t passCount, int correction,
                                                       std::string& problem) const {
    std::optional<std::string> key = KnownPassKey(passCount, problem);
    if (!key) return std::nullopt;
    return Write(MaterialPath(), kMaterialSection, *key, Sum(*MachineValue(kFeedSection, key), correction),
                 problem);
}

std::optional<int> CAdjustmentStore::WriteMaterialBid(int32_t inkMode, int correction,
                                                      std::string& problem) const {
    std::optional<std::string> inkKey = KnownInkKey(inkMode, problem);
    if (!inkKey) return std::nullopt;
    std::filesystem::path material = MaterialPath();
    std::string code = ModeCode();
    std::optional<std::string> modeKey = ModeKey(code);
    if (!modeKey) {
        problem = "the print mode \"" + code + "\" of " + material.filename().string() +
                  " has no bidirectional setting";
        return std::nullopt;
    }
    return Write(material, kMaterialSection, *modeKey, Sum(*MachineValue(kBidSection, inkKey), correction),
                 problem);
}

std::optional<int> CAdjustmentStore::StoreMachineFeed(int32_t passCount, int correction,
                                                      std::string& problem) const {
    std::optional<std::string> key = KnownPassKey(passCount, problem);
    if (!key) return std::nullopt;
    return Write(MachinePath(), kFeedSection, *key, Sum(*MachineValue(kFeedSection, key), correction),
                 problem);
}

std::optional<int> CAdjustmentStore::StoreMachineBid(int32_t inkMode, int correction,
                                                     std::string& problem) const {
    std::optional<std::string> key = KnownInkKey(inkMode, problem);
    if (!key) return std::nullopt;
    return Write(MachinePath(), kBidSection, *key, Sum(*MachineValue(kBidSection, key), correction), problem);
}
