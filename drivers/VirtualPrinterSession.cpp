#include "VirtualPrinterSession.h"

#include <charconv>
#include <cstdio>
#include <system_error>

#include "ProofImage.h"
#include "shell/Trace.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFolderPrefix = "session-";
// A folder that already exists when we try to take its number was made by a second process writing to
// the same output folder; the next numbers are tried before giving up.
constexpr int kCreateAttempts = 100;

// The number in the name of a session folder; 0 for any other entry.
int SessionNumberOf(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_directory(ec)) return 0;
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(kFolderPrefix)) return 0;
    const char* first = name.data() + kFolderPrefix.size();
    const char* last = name.data() + name.size();
    int number = 0;
    auto [end, result] = std::from_chars(first, last, number);
    bool allDigits = result == std::errc() && end == last && *first != '-' && *first != '+';
    return allDigits ? number : 0;
}

int HighestSessionNumber(const fs::path& outputFolder) {
    int highest = 0;
    std::error_code ec;
    for (fs::directory_iterator it(outputFolder, ec), end; !ec && it != end; it.increment(ec)) {
        highest = std::max(highest, SessionNumberOf(*it));
    }
    return highest;
}

std::string FolderName(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "session-%04d", number);
    return name;
}

}  // namespace

std::unique_ptr<VirtualPrinterSession> VirtualPrinterSession::Open(const VirtualPrinterConfig& config,
                                                                   std::string& error) {
    std::error_code ec;
    fs::create_directories(config.outputFolder, ec);
    if (ec) {
        error = "cannot create output folder " + config.outputFolder.string() + ": " + ec.message();
        return nullptr;
    }
    int number = HighestSessionNumber(config.outputFolder);
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        ++number;
        fs::path folder = config.outputFolder / FolderName(number);
        if (fs::create_directory(folder, ec)) {
            return std::make_unique<VirtualPrinterSession>(config, number, std::move(folder));
        }
        if (ec) {
            error = "cannot create session folder " + folder.string() + ": " + ec.message();
            return nullptr;
        }
    }
    error = "no free session number in " + config.outputFolder.string();
    return nullptr;
}

VirtualPrinterSession::VirtualPrinterSession(const VirtualPrinterConfig& config, int number, fs::path folder)
    : m_config(config),
      m_number(number),
      m_folder(std::move(folder)),
      m_log(m_folder / "calls.log"),
      m_pacer(config.linesPerSecond) {
    TraceLine("session %d opened in %s", m_number, m_folder.c_str());
}

VirtualPrinterSession::~VirtualPrinterSession() {
    if (!m_closed) m_log.Line("library unloaded with the session open");
}

bool VirtualPrinterSession::CountCall(DriverEntry entry) {
    const uint64_t call = ++m_calls[static_cast<size_t>(entry)];
    return m_config.FailsAt(entry, m_number, call);
}

bool VirtualPrinterSession::StartJob(std::span<const uint8_t, RipHead::kSize> header, std::string& error) {
    if (!OutputFile::WriteWhole(m_folder / "header.bin", header, error)) return false;
    if (m_config.keepData && !m_data.Create(m_folder / "data.bin")) {
        error = m_data.Error();
        return false;
    }
    m_head = RipHead::FromBytes(header);
    m_pacer.Start();
    return true;
}

bool VirtualPrinterSession::AcceptLineSet(std::span<const uint8_t> lineSet, std::string& error) {
    if (m_config.keepData && !m_data.Write(lineSet)) {
        error = m_data.Error();
        return false;
    }
    ++m_lines;
    m_bytes += lineSet.size();
    m_pacer.WaitForLine(m_lines);
    return true;
}

void VirtualPrinterSession::Close(std::string_view end) {
    m_closed = true;
    m_log.EndRun();
    const bool dataComplete = !m_data.IsOpen() || m_data.Close();
    if (!dataComplete) TraceLine("session %d: data.bin is incomplete: %s", m_number, m_data.Error().c_str());
    if (m_config.keepData && m_head && dataComplete) DrawProof();
    // Last, so that a watcher seeing summary.ini finds every other file of the session complete.
    WriteSummary(end);
    TraceLine("session %d ended by %.*s: %llu line sets, %llu bytes", m_number, static_cast<int>(end.size()),
              end.data(), static_cast<unsigned long long>(m_lines), static_cast<unsigned long long>(m_bytes));
}

void VirtualPrinterSession::WriteSummary(std::string_view end) {
    const RipHead head = m_head.value_or(RipHead{});
    std::string text = "[Session]\n";
    auto add = [&text](std::string_view key, const std::string& value) {
        text.append(key).append("=").append(value).append("\n");
    };
    add("Lines", std::to_string(m_lines));
    add("Bytes", std::to_string(m_bytes));
    add("End", std::string(end));
    add("Width", std::to_string(head.width));
    add("Height", std::to_string(head.height));
    add("Planes", std::to_string(head.color));
    add("BytePerLine", std::to_string(head.byteperline));
    std::string error;
    auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    if (!OutputFile::WriteWhole(m_folder / "summary.ini", bytes, error)) {
        TraceLine("session %d: %s", m_number, error.c_str());
    }
}

void VirtualPrinterSession::DrawProof() {
    std::string error;
    if (!ProofImage::Draw(m_folder / "data.bin", *m_head, m_folder / "proof.png", error)) {
        TraceLine("session %d: no proof image: %s", m_number, error.c_str());
    }
}
