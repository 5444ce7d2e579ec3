#include "maint/NozzleVoltageModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <locale>
#include <span>
#include <system_error>

#include "maint/USBDevice.h"
#include "shell/Trace.h"

namespace {

constexpr int kStoredNumbers = headrecord::kHeads * headrecord::kRowValues + headrecord::kHeads;

std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The whole text must be the number, in the program's own notation whatever the user's locale says.
std::optional<float> ParseNumber(std::string_view text) {
    text = Trimmed(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    float value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::shared_ptr<CUSBDevice> OpenConfiguredBoard(const std::filesystem::path& configPath) {
    return std::make_shared<CUSBDevice>(configPath);
}

// A stored number beyond float's range would become infinity, which the next save writes as "inf" and the
// next load cannot read, losing every value after it; such a number counts as unreadable.
bool FitsFloat(double number) {
    return std::isfinite(number) && std::fabs(number) <= double{std::numeric_limits<float>::max()};
}

int Wrapped(long position) {
    constexpr long kSpan = CNozzleVoltageModel::kSpinMax - CNozzleVoltageModel::kSpinMin + 1;
    long offset = (position - CNozzleVoltageModel::kSpinMin) % kSpan;
    if (offset < 0) offset += kSpan;
    return static_cast<int>(CNozzleVoltageModel::kSpinMin + offset);
}

}  // namespace

CNozzleVoltageModel::CNozzleVoltageModel(std::filesystem::path programDirectory, DeviceFactory openDevice)
    : m_programDirectory(std::move(programDirectory)),
      m_openDevice(openDevice ? std::move(openDevice) : DeviceFactory(OpenConfiguredBoard)) {
    m_colours.fill(headrecord::NoColour);
}

CNozzleVoltageModel::~CNozzleVoltageModel() {
    StopRead();
}

std::filesystem::path CNozzleVoltageModel::TempVolPath() const {
    return m_programDirectory / "Align" / "TempVol.txt";
}
std::filesystem::path CNozzleVoltageModel::CurvePath() const {
    return m_programDirectory / "Align" / "default.txt";
}
std::filesystem::path CNozzleVoltageModel::ConfigPath() const {
    return m_programDirectory / "Tessarin.ini";
}

bool CNozzleVoltageModel::IsEditable(Field field) {
    return field != headrecord::CurrentTemperature && field != headrecord::BasePlateTemperature;
}

float& CNozzleVoltageModel::At(int head, Field field) {
    return m_rows.at(static_cast<size_t>(head)).at(static_cast<size_t>(field));
}

float CNozzleVoltageModel::Value(int head, Field field) const {
    return m_rows.at(static_cast<size_t>(head)).at(static_cast<size_t>(field));
}

bool CNozzleVoltageModel::SetValue(int head, Field field, float value) {
    if (!IsEditable(field) || !std::isfinite(value)) return false;
    At(head, field) = value;
    return true;
}

bool CNozzleVoltageModel::SetValueText(int head, Field field, std::string_view text) {
    std::optional<float> value = ParseNumber(text);
    return value && SetValue(head, field, *value);
}

std::string CNozzleVoltageModel::FormatValue(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value));
    return text;
}

float CNozzleVoltageModel::Spin(int head, Field field, int steps) {
    if (!IsEditable(field)) return Value(head, field);
    long position = std::lround(std::clamp(std::trunc(Value(head, field)), float{kSpinMin}, float{kSpinMax}));
    float value = static_cast<float>(Wrapped(position + steps));
    At(head, field) = value;
    return value;
}

int CNozzleVoltageModel::Colour(int head) const {
    return m_colours.at(static_cast<size_t>(head));
}

void CNozzleVoltageModel::SetColour(int head, int colour) {
    bool known = colour >= headrecord::Cyan && colour <= headrecord::Black;
    m_colours.at(static_cast<size_t>(head)) = known ? colour : headrecord::NoColour;
}

bool CNozzleVoltageModel::LoadValues() {
    std::ifstream in(TempVolPath());
    in.imbue(std::locale::classic());
    int read = 0;
    for (auto& row : m_rows) {
        for (float& value : row) {
            double number = 0;
            if (!(in >> number) || !FitsFloat(number)) break;
            value = static_cast<float>(number);
            ++read;
        }
    }
    for (int head = 0; head < headrecord::kHeads && read >= kStoredNumbers - headrecord::kHeads; ++head) {
        int colour = 0;
        if (!(in >> colour)) break;
        SetColour(head, colour);
        ++read;
    }
    if (read < kStoredNumbers)
        TraceLine("%s holds %d of %d numbers", TempVolPath().c_str(), read, kStoredNumbers);
    return read == kStoredNumbers;
}

// Written beside the old file and renamed over it, so that a crash never leaves half the values.
bool CNozzleVoltageModel::SaveValues() const {
    std::filesystem::path target = TempVolPath();
    std::filesystem::path fresh = target;
    fresh += ".new";
    {
        std::ofstream out(fresh, std::ios::trunc);
        if (!out) return false;
        out.imbue(std::locale::classic());
        for (const auto& row : m_rows)
            for (float value : row) out << value << ' ';
        for (int colour : m_colours) out << colour << ' ';
        if (!out.flush()) return false;
    }
    std::error_code error;
    std::filesystem::rename(fresh, target, error);
    if (error) std::filesystem::remove(fresh, error);
    return !error;
}

bool CNozzleVoltageModel::LoadCurves(headrecord::Curves& curves, std::string& problem) const {
    std::ifstream in(CurvePath());
    in.imbue(std::locale::classic());
    int read = 0;
    for (float& value : curves) {
        if (!(in >> value)) break;
        ++read;
    }
    if (read == headrecord::kCurveValues) return true;
    problem = "The voltage curves in " + CurvePath().string() + " hold " + std::to_string(read) + " of " +
              std::to_string(headrecord::kCurveValues) + " values; nothing was sent.";
    return false;
}

bool CNozzleVoltageModel::EnsureDeviceOpen(std::string& problem) {
    if (!m_device || !m_device->IsOpen()) m_device = m_openDevice(ConfigPath());
    if (m_device && m_device->IsOpen()) return true;
    problem = m_device ? m_device->OpenError() : std::string("No controller board.");
    return false;
}

CNozzleVoltageModel::Outcome CNozzleVoltageModel::Send(std::stop_token stop) {
    std::string problem;
    headrecord::Curves curves{};
    std::vector<headrecord::Record> records;
    if (!LoadCurves(curves, problem) ||
        !headrecord::BuildRecords(m_rows, m_colours, curves, records, problem)) {
        TraceLine("%s", problem.c_str());
        return {false, problem};
    }
    if (!EnsureDeviceOpen(problem)) return {false, "发送失败，请检查是否联机！\n" + problem};

    TraceLine("Start send data!");
    for (size_t i = 0; i < records.size(); ++i) {
        TraceLine("%.*s", static_cast<int>(headrecord::kRecordSize), records[i].data());
        bool headDone = (i + 1) % headrecord::kRecordsPerHead == 0;
        if (headDone && i + 1 != records.size()) TraceLine("\n");
    }
    TraceLine("发送数据结束");

    int failed = WriteRecords(records, stop);
    if (stop.stop_requested())
        return {false, "Sending was stopped; " + std::to_string(records.size() - static_cast<size_t>(failed)) +
                           " of " + std::to_string(records.size()) + " records reached the controller board."};
    if (failed == 0) return {};
    return {false, std::to_string(failed) + " of " + std::to_string(records.size()) +
                       " records did not reach the controller board."};
}

// Every record is tried even after one failed: the board takes each on its own. After a stop request the
// records left count as failed.
int CNozzleVoltageModel::WriteRecords(const std::vector<headrecord::Record>& records, const std::stop_token& stop) {
    int failed = 0;
    for (const headrecord::Record& record : records) {
        if (stop.stop_requested()) {
            ++failed;
            continue;
        }
        std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(record.data()), record.size());
        TransferResult sent = m_device->Write(data, kRecordTimeout, stop);
        if (sent.Ok()) continue;
        ++failed;
        TraceLine("%.4s was not sent (%s)", record.data(), TransferStatusText(sent.status));
    }
    return failed;
}

CNozzleVoltageModel::Outcome CNozzleVoltageModel::StartRead(CBoardReceiver::DoneCallback onDone,
                                                            CBoardReceiver::GroupCallback onGroup) {
    if (IsReading()) return {false, "The board's records are still being received."};
    std::string problem;
    if (!EnsureDeviceOpen(problem)) return {false, "请检查是否联机！\n" + problem};
    m_receiver.reset();
    m_receiver = std::make_unique<CBoardReceiver>(m_device, std::move(onDone), std::move(onGroup));
    return {};
}

bool CNozzleVoltageModel::IsReading() const {
    return m_receiver && m_receiver->IsRunning();
}

int CNozzleVoltageModel::GroupsReceived() const {
    return m_receiver ? m_receiver->GroupsReceived() : 0;
}

void CNozzleVoltageModel::StopRead() {
    if (m_receiver) m_receiver->Stop();
}
