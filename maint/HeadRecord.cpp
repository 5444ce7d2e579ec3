#include "maint/HeadRecord.h"

#include <algorithm>
#include <cstdio>

namespace headrecord {

namespace {

constexpr size_t kFieldWidth = 3;
constexpr size_t kHeaderSize = 4;

// -0.0 prints as "-0.0"; the board shall see a plain zero.
float WithoutNegativeZero(float value) {
    return value == 0.0f ? 0.0f : value;
}

std::string Printed(const char* format, float value) {
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<double>(WithoutNegativeZero(value)));
    std::string digits(text);
    std::erase(digits, '.');
    return digits;
}

std::string PaddedField(std::string digits) {
    if (digits.size() < kFieldWidth) digits.insert(0, "0");
    return digits.substr(0, kFieldWidth);
}

Record Header(int head, char letter) {
    Record record{};
    record.fill('0');
    record[0] = '$';
    record[1] = 'P';
    record[2] = static_cast<char>('0' + head);
    record[3] = letter;
    record[kRecordSize - 1] = '\r';
    return record;
}

void PutField(Record& record, int field, const std::string& text) {
    std::copy_n(
        text.begin(), std::min(text.size(), kFieldWidth),
        record.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + kFieldWidth * static_cast<size_t>(field)));
}

}  // namespace

std::string ValueField(float value) {
    return PaddedField(Printed("%2.1f", value));
}

std::string AdjustField(float value) {
    std::string digits = Printed("%2.1f", value);
    if (WithoutNegativeZero(value) >= 0.0f) digits.insert(0, "+");
    return digits.substr(0, kFieldWidth);
}

std::string CurveField(float value) {
    return PaddedField(Printed("%1.2f", value));
}

int CurveIndex(int colour, char letter, int field) {
    if (colour < 0 || colour >= kColours || letter < 'B' || letter > 'D' || field < 0 ||
        field >= kCurveValuesPerRecord)
        return -1;
    return colour * kCurveRecords * kCurveValuesPerRecord + (letter - 'B') * kCurveValuesPerRecord + field;
}

Record HeadValues(int head, const Row& row) {
    Record record = Header(head, 'A');
    for (int field = 0; field < kRowValues; ++field) {
        bool isAdjust = field == LeftAdjust || field == RightAdjust;
        float value = row[static_cast<size_t>(field)];
        PutField(record, field, isAdjust ? AdjustField(value) : ValueField(value));
    }
    return record;
}

Record CurveValues(int head, char letter, int colour, const Curves& curves) {
    Record record = Header(head, letter);
    for (int field = 0; field < kCurveValuesPerRecord; ++field) {
        int index = CurveIndex(colour, letter, field);
        if (index >= 0) PutField(record, field, CurveField(curves[static_cast<size_t>(index)]));
    }
    return record;
}

bool BuildRecords(const Rows& rows, const Colours& colours, const Curves& curves,
                  std::vector<Record>& records, std::string& problem) {
    for (int head = 0; head < kHeads; ++head) {
        int colour = colours[static_cast<size_t>(head)];
        if (colour < 0 || colour >= kColours) {
            problem = "Head " + std::to_string(head + 1) + " has no colour selected; nothing was sent.";
            return false;
        }
    }
    records.clear();
    for (int head = 0; head < kHeads; ++head) {
        records.push_back(HeadValues(head, rows[static_cast<size_t>(head)]));
        for (char letter = 'B'; letter <= 'D'; ++letter)
            records.push_back(CurveValues(head, letter, colours[static_cast<size_t>(head)], curves));
    }
    return true;
}

std::string_view Text(const Record& record) {
    return {record.data(), record.size()};
}

}  // namespace headrecord
