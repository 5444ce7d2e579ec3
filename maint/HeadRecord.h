#pragma once

// The records the head tool sends to the controller board: per print head a record "A" with the head's
// own values and three records "B", "C", "D" with the voltage-curve coefficients of its ink colour.
//
//   $ P <head 0..7> <letter A..D> <seven fields of 3 characters> CR      (26 bytes)
//
// A field is the value printed with one or two decimals, the decimal point taken out, cut to 3 characters:
// the board reads voltages and temperatures as tenths, adjustments as a sign and tenths, curve values as
// hundredths. Values that need more characters lose their last ones; the board expects exactly this.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace headrecord {

inline constexpr int kHeads = 8;
inline constexpr int kRowValues = 7;
inline constexpr int kColours = 4;
inline constexpr int kCurveValuesPerRecord = 7;
inline constexpr int kCurveRecords = 3;
inline constexpr int kCurveValues = kColours * kCurveRecords * kCurveValuesPerRecord;  // 84
inline constexpr int kRecordsPerHead = 1 + kCurveRecords;
inline constexpr int kRecords = kHeads * kRecordsPerHead;  // 32
inline constexpr size_t kRecordSize = 26;

// The query that makes the board report its 32 records.
inline constexpr std::array<uint8_t, 4> kQuery = {'$', 'P', 'C', '\r'};

// A head's values in the order of record "A".
enum Field {
    LeftVoltage,
    RightVoltage,
    LeftAdjust,
    RightAdjust,
    SetTemperature,
    CurrentTemperature,
    BasePlateTemperature,
};

// Ink colours in the order of the colour lists and of the blocks of the curve file.
enum Colour { NoColour = -1, Cyan = 0, Magenta = 1, Yellow = 2, Black = 3 };

using Row = std::array<float, kRowValues>;
using Rows = std::array<Row, kHeads>;
using Colours = std::array<int, kHeads>;
using Curves = std::array<float, kCurveValues>;
using Record = std::array<char, kRecordSize>;

std::string ValueField(float value);   // "%2.1f": 22.5 -> "225", 5 -> "050", 100 -> "100"
std::string AdjustField(float value);  // "%2.1f" with a sign: 0.5 -> "+05", -1.2 -> "-12", 0 -> "+00"
std::string CurveField(float value);   // "%1.2f": 1.25 -> "125", 0.5 -> "050"

// Where the value of a curve record's field lies in the curve file; -1 for a colour outside C, M, Y, K.
int CurveIndex(int colour, char letter, int field);

Record HeadValues(int head, const Row& row);  // record "A"
// Record "B", "C" or "D"; the colour must be one of C, M, Y, K.
Record CurveValues(int head, char letter, int colour, const Curves& curves);

// All 32 records, head by head, letters A to D. False with `problem` naming the head when a head has no
// colour, since its curve records would have no values to carry.
bool BuildRecords(const Rows& rows, const Colours& colours, const Curves& curves,
                  std::vector<Record>& records, std::string& problem);

std::string_view Text(const Record& record);

}  // namespace headrecord
