#include <gtest/gtest.h>

#include <numeric>

#include "maint/HeadRecord.h"

using namespace headrecord;

namespace {

// Curve value n of the file is n / 100, so a field shows which value it came from: value 63 -> "063".
Curves NumberedCurves() {
    Curves curves{};
    for (int i = 0; i < kCurveValues; ++i) curves[static_cast<size_t>(i)] = static_cast<float>(i) / 100.0f;
    return curves;
}

std::string Fields(const Record& record) {
    return std::string(Text(record).substr(4, 21));
}

}  // namespace

TEST(HeadRecordTest, RecordAOfRowThreeCarriesTheSevenValues) {
    Row row = {22.5f, 21.0f, 0.5f, -1.2f, 45.0f, 44.8f, 30.0f};
    Record record = HeadValues(2, row);
    EXPECT_EQ(Text(record), "$P2A225210+05-12450448300\r");
}

TEST(HeadRecordTest, ValueFieldsAreTenthsCutToThreeCharacters) {
    struct Case {
        float value;
        const char* expected;
    } cases[] = {
        {22.5f, "225"}, {5.0f, "050"},    {0.0f, "000"},
        {-0.0f, "000"}, {99.9f, "999"},   {100.0f, "100"},  // the tenths no longer fit
        {0.04f, "000"}, {0.05f, "001"},                     // rounded to tenths first
        {-5.0f, "-50"}, {2000.0f, "200"},
    };
    for (const Case& c : cases) EXPECT_EQ(ValueField(c.value), c.expected) << c.value;
}

TEST(HeadRecordTest, AdjustFieldsAreASignAndTenths) {
    struct Case {
        float value;
        const char* expected;
    } cases[] = {
        {0.5f, "+05"}, {-1.2f, "-12"}, {0.0f, "+00"},  {-0.0f, "+00"},
        {9.9f, "+99"}, {-9.9f, "-99"}, {10.0f, "+10"}, {-0.04f, "-00"},
    };
    for (const Case& c : cases) EXPECT_EQ(AdjustField(c.value), c.expected) << c.value;
}

TEST(HeadRecordTest, CurveFieldsAreHundredths) {
    struct Case {
        float value;
        const char* expected;
    } cases[] = {
        {1.25f, "125"}, {0.5f, "050"}, {0.0f, "000"}, {9.99f, "999"}, {12.5f, "125"}, {0.63f, "063"},
    };
    for (const Case& c : cases) EXPECT_EQ(CurveField(c.value), c.expected) << c.value;
}

TEST(HeadRecordTest, EachColourTakesItsOwnBlockOfTheCurveFile) {
    Curves curves = NumberedCurves();
    struct Case {
        int colour;
        char letter;
        const char* expected;
    } cases[] = {
        {Cyan, 'B', "000001002003004005006"},    {Cyan, 'D', "014015016017018019020"},
        {Magenta, 'B', "021022023024025026027"}, {Yellow, 'C', "049050051052053054055"},
        {Black, 'B', "063064065066067068069"},   {Black, 'C', "070071072073074075076"},
        {Black, 'D', "077078079080081082083"},
    };
    for (const Case& c : cases) {
        Record record = CurveValues(5, c.letter, c.colour, curves);
        EXPECT_EQ(Text(record).substr(0, 4), std::string("$P5") + c.letter);
        EXPECT_EQ(Fields(record), c.expected) << c.colour << c.letter;
        EXPECT_EQ(record.back(), '\r');
    }
}

TEST(HeadRecordTest, CurveIndexStaysInsideTheFile) {
    EXPECT_EQ(CurveIndex(Black, 'D', 6), kCurveValues - 1);
    EXPECT_EQ(CurveIndex(NoColour, 'B', 0), -1);
    EXPECT_EQ(CurveIndex(4, 'B', 0), -1);
    EXPECT_EQ(CurveIndex(Cyan, 'A', 0), -1);
    EXPECT_EQ(CurveIndex(Cyan, 'B', 7), -1);
}

TEST(HeadRecordTest, ThirtyTwoRecordsHeadByHeadLettersAToD) {
    Rows rows{};
    for (int head = 0; head < kHeads; ++head) rows[static_cast<size_t>(head)][LeftVoltage] = 10.0f + head;
    Colours colours = {Cyan, Magenta, Yellow, Black, Cyan, Magenta, Yellow, Black};
    std::vector<Record> records;
    std::string problem;
    ASSERT_TRUE(BuildRecords(rows, colours, NumberedCurves(), records, problem)) << problem;
    ASSERT_EQ(records.size(), 32u);
    for (int i = 0; i < kRecords; ++i) {
        const Record& r = records[static_cast<size_t>(i)];
        EXPECT_EQ(r[2], '0' + i / 4) << i;
        EXPECT_EQ(r[3], 'A' + i % 4) << i;
    }
    EXPECT_EQ(Fields(records[12]).substr(0, 3), "130") << "head 4's own left voltage";
    EXPECT_EQ(Fields(records[13]), "063064065066067068069") << "head 4 is black";
}

TEST(HeadRecordTest, AHeadWithoutColourRefusesTheWholeSendNamingTheHead) {
    Colours colours = {Cyan, Magenta, NoColour, Black, Cyan, Magenta, Yellow, Black};
    std::vector<Record> records;
    std::string problem;
    EXPECT_FALSE(BuildRecords(Rows{}, colours, NumberedCurves(), records, problem));
    EXPECT_NE(problem.find("Head 3"), std::string::npos) << problem;
    EXPECT_TRUE(records.empty());

    colours[2] = 7;  // not one of the four colours either
    EXPECT_FALSE(BuildRecords(Rows{}, colours, NumberedCurves(), records, problem));
    EXPECT_NE(problem.find("Head 3"), std::string::npos) << problem;
}

TEST(HeadRecordTest, QueryIsDollarPCThenCarriageReturn) {
    EXPECT_EQ(std::string(kQuery.begin(), kQuery.end()), "$PC\r");
}
