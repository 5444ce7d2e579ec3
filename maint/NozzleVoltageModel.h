#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <stop_token>
#include <string_view>

#include "maint/BoardReceiver.h"
#include "maint/HeadRecord.h"

class CUSBDevice;

// What the head voltage dialog (CNozzleVoltage) shows and does, without the dialog: per print head the left
// and right voltages, their adjustments, the set temperature, the current and base-plate temperatures (shown
// only) and the ink colour; sending them to the controller board as 32 records; asking the board to report
// its records back on a receive thread; and keeping the values in Align/TempVol.txt between sessions.
//
// The dialog calls everything from its own thread, except Send, which blocks for as long as the board takes
// (each record may wait up to a minute) and may run on a thread of its own while the dialog leaves the
// model alone. The receive thread runs beside either and is stopped when the model is destroyed.
class CNozzleVoltageModel {
public:
    using Field = headrecord::Field;

    // The arrows beside each editable value, as the dialog's up-down controls: integer steps that wrap.
    static constexpr int kSpinMin = -2000;
    static constexpr int kSpinMax = 2000;
    static constexpr std::chrono::milliseconds kRecordTimeout{60000};

    // Opens the controller board as Tessarin.ini says; tests give boards of their own.
    using DeviceFactory = std::function<std::shared_ptr<CUSBDevice>(const std::filesystem::path& configPath)>;

    struct Outcome {
        bool ok = true;
        std::string message;  // for a message box; empty when there is nothing to say
    };

    explicit CNozzleVoltageModel(std::filesystem::path programDirectory, DeviceFactory openDevice = {});
    ~CNozzleVoltageModel();
    CNozzleVoltageModel(const CNozzleVoltageModel&) = delete;
    CNozzleVoltageModel& operator=(const CNozzleVoltageModel&) = delete;

    static bool IsEditable(Field field);

    float Value(int head, Field field) const;
    // Refused (false) for the fields the dialog only shows, and for a value that is not a finite number.
    bool SetValue(int head, Field field, float value);
    // An edit's text: false, and the value unchanged, when the text is not a number; the dialog then asks
    // for one ("请输入一个数字。").
    bool SetValueText(int head, Field field, std::string_view text);
    // The text an edit shows: one decimal.
    static std::string FormatValue(float value);

    // An arrow click: the value's whole part moved by `steps` within kSpinMin..kSpinMax, wrapping at the
    // ends, becomes the value (the up-down control writes its integer position into the edit).
    float Spin(int head, Field field, int steps);

    int Colour(int head) const;  // headrecord::Colour; NoColour when none is selected
    void SetColour(int head, int colour);

    // Align/TempVol.txt. Load takes as many numbers as the file holds, in order; false when it is missing
    // or short (the values it lacks keep theirs). Save writes every value, as the dialog closes.
    bool LoadValues();
    bool SaveValues() const;

    // Builds the 32 records and writes them to the board, opening it first when needed. Refused, with
    // nothing sent, when the board cannot be opened, a head has no colour, or the curve file does not hold
    // all its values. A stop request cancels the record being written and sends no more.
    Outcome Send(std::stop_token stop = {});

    // Starts the receive thread; refused while one still runs or when the board cannot be opened.
    // `onDone` runs on the receive thread when it finishes or fails, `onGroup` for every group received.
    Outcome StartRead(CBoardReceiver::DoneCallback onDone = {}, CBoardReceiver::GroupCallback onGroup = {});
    bool IsReading() const;
    int GroupsReceived() const;
    // The last receive thread, or null before the first read.
    const CBoardReceiver* Receiver() const { return m_receiver.get(); }
    // Stops a running receive thread and waits for it.
    void StopRead();

    std::filesystem::path TempVolPath() const;
    std::filesystem::path CurvePath() const;
    std::filesystem::path ConfigPath() const;

private:
    float& At(int head, Field field);
    bool EnsureDeviceOpen(std::string& problem);
    bool LoadCurves(headrecord::Curves& curves, std::string& problem) const;
    int WriteRecords(const std::vector<headrecord::Record>& records, const std::stop_token& stop);

    const std::filesystem::path m_programDirectory;
    const DeviceFactory m_openDevice;
    headrecord::Rows m_rows{};
    headrecord::Colours m_colours;
    std::shared_ptr<CUSBDevice> m_device;
    // Last, so that the receive thread is stopped before the device pointer goes.
    std::unique_ptr<CBoardReceiver> m_receiver;
};
