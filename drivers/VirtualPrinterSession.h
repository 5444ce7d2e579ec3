#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "CallLog.h"
#include "DriverEntry.h"
#include "LinePacer.h"
#include "OutputFile.h"
#include "VirtualPrinterConfig.h"
#include "engine/RipHead.h"

// One print session of the virtual printer, from InitPrinter to EndRipData / AbortPrint, and the folder
// it leaves behind: header.bin, data.bin, calls.log, summary.ini and proof.png.
class VirtualPrinterSession {
public:
    // Creates the next numbered folder, session-NNNN, under the configured output folder. nullptr, with
    // the reason, when the folder cannot be made.
    static std::unique_ptr<VirtualPrinterSession> Open(const VirtualPrinterConfig& config,
                                                       std::string& error);

    VirtualPrinterSession(const VirtualPrinterConfig& config, int number, std::filesystem::path folder);
    // A session still open here was cut off by the library being unloaded; its log says so.
    ~VirtualPrinterSession();
    VirtualPrinterSession(const VirtualPrinterSession&) = delete;
    VirtualPrinterSession& operator=(const VirtualPrinterSession&) = delete;

    int Number() const { return m_number; }
    const VirtualPrinterConfig& Config() const { return m_config; }
    CallLog& Log() { return m_log; }

    // Counts one call of the entry; true when the configuration makes this very call fail.
    bool CountCall(DriverEntry entry);

    bool JobStarted() const { return m_head.has_value(); }
    bool StartJob(std::span<const uint8_t, RipHead::kSize> header, std::string& error);
    // Stores (or, without KeepData, only counts) one line set, then waits as long as the simulated
    // printer would take to print it.
    bool AcceptLineSet(std::span<const uint8_t> lineSet, std::string& error);

    // Ends the session: summary.ini with how it ended, then the proof image.
    void Close(std::string_view end);

private:
    void WriteSummary(std::string_view end);
    void DrawProof();

    const VirtualPrinterConfig m_config;
    const int m_number;
    const std::filesystem::path m_folder;
    CallLog m_log;
    std::array<uint64_t, kDriverEntryCount> m_calls{};
    std::optional<RipHead> m_head;
    OutputFile m_data;
    LinePacer m_pacer;
    uint64_t m_lines = 0;
    uint64_t m_bytes = 0;
    bool m_closed = false;
};
