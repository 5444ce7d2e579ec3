#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

// The entries of the printer driver library, for counting calls per session and naming the one to fail.
enum class DriverEntry {
    InitPrinter,
    StartPrint,
    WriteRipData,
    EndRipData,
    AbortPrint,
    PausePrint,
    ResumePrint,
    SkipLines,
    EndPrint,
    ChangeFeedingData,
    GetCurrentPass,
    ChangeBidData,
    GetCurrentInkmode,
};

inline constexpr std::array<std::string_view, 13> kDriverEntryNames = {
    "InitPrinter",    "StartPrint",    "WriteRipData",      "EndRipData", "AbortPrint",
    "PausePrint",     "ResumePrint",   "SkipLines",         "EndPrint",   "ChangeFeedingData",
    "GetCurrentPass", "ChangeBidData", "GetCurrentInkmode",
};

inline constexpr size_t kDriverEntryCount = kDriverEntryNames.size();

inline std::string_view DriverEntryName(DriverEntry entry) {
    return kDriverEntryNames[static_cast<size_t>(entry)];
}

// Ini values are typed by hand, so the name compares without regard to case.
inline std::optional<DriverEntry> DriverEntryFromName(std::string_view name) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < kDriverEntryCount; ++i) {
        std::string_view known = kDriverEntryNames[i];
        if (known.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < known.size() && same; ++k) same = lower(known[k]) == lower(name[k]);
        if (same) return static_cast<DriverEntry>(i);
    }
    return std::nullopt;
}
