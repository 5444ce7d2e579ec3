#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Where the operator's live corrections end up. The machine's calibration is in vkconfig.ini: the media
// feed per pass count ([MEDIAFEED]) and the bidirectional compensation per ink mode ([HEAD_LAYOUT]). The
// current material (Tessarin.ini [setting] CurMaterial) has its own copy in Config/<material>.ini
// [SETTING], which the printer library reads while it prints: it always holds the machine value plus the
// correction in force. Every call reads the files afresh, since the printer's own setting tool changes
// them too.
//
// A pass count, ink mode or print-mode code without a key has no value to change: the call says why and
// writes nothing.
class CAdjustmentStore {
public:
    explicit CAdjustmentStore(std::filesystem::path programDirectory);

    static std::optional<std::string> PassKey(int32_t passCount);      // 4 -> "nMediaFeedingPulse[3]"
    static std::optional<std::string> InkKey(int32_t inkMode);         // 1 -> "nBidComp[1]"
    static std::optional<std::string> ModeKey(std::string_view code);  // "102" -> "nBidComp[1][0][2]"

    std::filesystem::path MachinePath() const;   // vkconfig.ini
    std::filesystem::path ConfigPath() const;    // Tessarin.ini
    std::filesystem::path MaterialPath() const;  // Config/<CurMaterial>.ini, ".ini" for no material
    // Speed, resolution and dot mode of the material's print mode, joined: the key of its compensation.
    std::string ModeCode() const;

    // The value written, or nullopt with `problem` set.
    // A correction made while printing: the material gets the machine value plus the correction.
    std::optional<int> WriteMaterialFeed(int32_t passCount, int correction, std::string& problem) const;
    std::optional<int> WriteMaterialBid(int32_t inkMode, int correction, std::string& problem) const;
    // The end of a job: the correction becomes part of the machine value.
    std::optional<int> StoreMachineFeed(int32_t passCount, int correction, std::string& problem) const;
    std::optional<int> StoreMachineBid(int32_t inkMode, int correction, std::string& problem) const;

private:
    std::optional<int> MachineValue(std::string_view section, const std::optional<std::string>& key) const;
    static std::optional<int> Write(const std::filesystem::path& file, std::string_view section,
                                    const std::string& key, int value, std::string& problem);

    std::filesystem::path m_programDirectory;
};
