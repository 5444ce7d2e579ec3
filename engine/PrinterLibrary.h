#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "PrinterDriver.h"
#include "platform/DynamicLibrary.h"

// One binding of the printer driver library: loaded for as long as the object lives.
//
// Three users bind it, each on its own terms: the engine for every job (all nine print entries, the first
// missing one fails the binding), the TCP server once for its whole life (seven entries; AbortPrint may be
// missing), and the adjustment tool while a job prints (the four correction entries).
class CPrinterLibrary {
public:
    enum Index {
        INDEX_InitPrinter = 0,
        INDEX_StartPrint = 1,
        INDEX_WriteRipData = 2,
        INDEX_EndRipData = 3,
        INDEX_AbortPrint = 4,
        INDEX_SkipLines = 5,
        INDEX_EndPrint = 6,
        INDEX_PausePrint = 7,
        INDEX_ResumePrint = 8,
        INDEX_Count = 9,
    };

    // The engine's binding; null with `error` set when the library cannot be loaded or lacks an entry.
    static std::unique_ptr<CPrinterLibrary> BindPrinterLibrary(const std::filesystem::path& path, std::string& error);
    // The TCP server's binding.
    static std::unique_ptr<CPrinterLibrary> LoadDll(const std::filesystem::path& path, std::string& error);
    // The adjustment tool's binding of the four correction entries.
    static std::unique_ptr<CPrinterLibrary> BindAdjustment(const std::filesystem::path& path, std::string& error);

    int32_t InitPrinter(int32_t mode) const;
    int32_t StartPrint(const void* ripHead48) const;
    int32_t WriteRipData(const void* data, int32_t count) const;
    int32_t EndRipData() const;
    // Does nothing when the library lacks the entry (the server's binding allows that).
    int32_t AbortPrint() const;
    int32_t PausePrint() const;
    int32_t ResumePrint() const;

    int32_t ChangeFeedingData(int32_t value) const;
    int32_t GetCurrentPass() const;
    int32_t ChangeBidData(int32_t value) const;
    int32_t GetCurrentInkmode() const;

    bool Has(Index index) const { return lpfnDriver[index] != nullptr; }

private:
    // Slots of the correction entries, kept apart from the nine print entries.
    enum AdjustIndex { ADJUST_ChangeFeedingData, ADJUST_GetCurrentPass, ADJUST_ChangeBidData,
                       ADJUST_GetCurrentInkmode, ADJUST_Count };
    struct EntrySpec {
        int slot;
        bool adjustment;
        const char* name;
        bool required;
    };
    static const EntrySpec kEngineEntries[];
    static const EntrySpec kServerEntries[];
    static const EntrySpec kAdjustEntries[];

    static std::unique_ptr<CPrinterLibrary> Bind(const std::filesystem::path& path, const EntrySpec* entries,
                                                 size_t count, std::string& error);

    template <typename Fn>
    Fn Entry(Index index) const {
        return reinterpret_cast<Fn>(lpfnDriver[index]);
    }
    template <typename Fn>
    Fn Adjust(AdjustIndex index) const {
        return reinterpret_cast<Fn>(m_adjust[index]);
    }

    platform::DynamicLibrary m_library;
    std::array<void*, INDEX_Count> lpfnDriver{};
    std::array<void*, ADJUST_Count> m_adjust{};
};

// Loads the printer settings library, calls its SettingDialog with the parent window and unloads it again.
// 0 when the library or the entry is missing.
int32_t CallSettingDialog(const std::filesystem::path& path, void* parentWindow);
