#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "maint/NozzleVoltageModel.h"

using namespace headrecord;

namespace {

class TempVolModelTest : public ::testing::Test {
protected:
    std::filesystem::path TempVol() const { return m_dir / "Align" / "TempVol.txt"; }

    testsupport::TempDir m_dir;
    CNozzleVoltageModel m_model{m_dir.Path()};
};

// 56 values, row by row, then the 8 colours; laid out the way a person might have edited the file.
constexpr const char* kStoredValues =
    "22.5 21 0.5 -1.2 45 44.8 30\n"
    "1 2 3 4 5 6 7\n"
    "0 0 0 0 0 0 0\t0 0 0 0 0 0 0\n"
    "0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
    "0 0 0 0 0 0 0\n"
    "-2000 2000 0.25 -0.25 123.456 99.9 -7\n"
    "3 0 1 2 -1 3 3 0\n";

}  // namespace

TEST_F(TempVolModelTest, LoadPutsTheNumbersInRowOrderThenTheColours) {
    testsupport::WriteFile(TempVol(), kStoredValues);
    ASSERT_TRUE(m_model.LoadValues());
    EXPECT_FLOAT_EQ(m_model.Value(0, LeftVoltage), 22.5f);
    EXPECT_FLOAT_EQ(m_model.Value(0, RightAdjust), -1.2f);
    EXPECT_FLOAT_EQ(m_model.Value(0, CurrentTemperature), 44.8f);
    EXPECT_FLOAT_EQ(m_model.Value(0, BasePlateTemperature), 30.0f);
    EXPECT_FLOAT_EQ(m_model.Value(1, SetTemperature), 5.0f);
    EXPECT_FLOAT_EQ(m_model.Value(7, LeftVoltage), -2000.0f);
    EXPECT_FLOAT_EQ(m_model.Value(7, BasePlateTemperature), -7.0f);
    std::array<int, 8> colours{};
    for (int head = 0; head < 8; ++head) colours[static_cast<size_t>(head)] = m_model.Colour(head);
    EXPECT_EQ(colours, (std::array<int, 8>{Black, Cyan, Magenta, Yellow, NoColour, Black, Black, Cyan}));
}

TEST_F(TempVolModelTest, SaveWritesEveryNumberWithOneSpaceAndReadsBackTheSame) {
    testsupport::WriteFile(TempVol(), kStoredValues);
    ASSERT_TRUE(m_model.LoadValues());
    ASSERT_TRUE(m_model.SaveValues());
    std::string saved = testsupport::ReadFile(TempVol());
    EXPECT_EQ(saved.substr(0, 48), "22.5 21 0.5 -1.2 45 44.8 30 1 2 3 4 5 6 7 0 0 0 ");
    EXPECT_TRUE(saved.ends_with("-2000 2000 0.25 -0.25 123.456 99.9 -7 3 0 1 2 -1 3 3 0 ")) << saved;
    EXPECT_EQ(saved.find('\n'), std::string::npos);

    CNozzleVoltageModel again(m_dir.Path());
    ASSERT_TRUE(again.LoadValues());
    for (int head = 0; head < 8; ++head) {
        for (int field = 0; field < kRowValues; ++field)
            EXPECT_EQ(again.Value(head, Field(field)), m_model.Value(head, Field(field)))
                << head << "/" << field;
        EXPECT_EQ(again.Colour(head), m_model.Colour(head));
    }
    EXPECT_EQ(testsupport::ReadFile(TempVol()), saved) << "a second round gives the same file";
}

TEST_F(TempVolModelTest, AMissingOrShortFileLoadsWhatIsThere) {
    EXPECT_FALSE(m_model.LoadValues());
    EXPECT_EQ(m_model.Value(0, LeftVoltage), 0.0f);
    EXPECT_EQ(m_model.Colour(0), NoColour);

    testsupport::WriteFile(TempVol(), "22.5 21 0.5 x 45");
    EXPECT_FALSE(m_model.LoadValues());
    EXPECT_FLOAT_EQ(m_model.Value(0, LeftAdjust), 0.5f);
    EXPECT_EQ(m_model.Value(0, RightAdjust), 0.0f);
    EXPECT_EQ(m_model.Value(0, SetTemperature), 0.0f) << "nothing after the bad number is taken";

    std::string allValuesNoColours;
    for (int i = 0; i < 56; ++i) allValuesNoColours += "1 ";
    testsupport::WriteFile(TempVol(), allValuesNoColours + "2 9");
    EXPECT_FALSE(m_model.LoadValues());
    EXPECT_EQ(m_model.Colour(0), Yellow);
    EXPECT_EQ(m_model.Colour(1), NoColour) << "a colour outside the four is none";
    EXPECT_EQ(m_model.Colour(2), NoColour);
}

TEST_F(TempVolModelTest, ANumberBeyondFloatRangeIsUnreadableAndNeverSavedAsInfinity) {
    for (const char* huge : {"1e39", "-1e39", "1e999"}) {
        SCOPED_TRACE(huge);
        std::string text = std::string(kStoredValues);
        text.replace(0, 4, huge);  // the first value, 22.5
        testsupport::WriteFile(TempVol(), text);
        CNozzleVoltageModel model(m_dir.Path());
        EXPECT_FALSE(model.LoadValues());
        EXPECT_EQ(model.Value(0, LeftVoltage), 0.0f);
        ASSERT_TRUE(model.SaveValues());
        EXPECT_EQ(testsupport::ReadFile(TempVol()).find("inf"), std::string::npos);
        EXPECT_TRUE(CNozzleVoltageModel(m_dir.Path()).LoadValues()) << "what was saved loads back whole";
    }
}

TEST_F(TempVolModelTest, SaveWithoutTheAlignFolderWritesNothing) {
    EXPECT_FALSE(m_model.SaveValues());
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Align"));
}

TEST_F(TempVolModelTest, OnlyTheFiveEditableFieldsTakeValues) {
    for (int field = 0; field < kRowValues; ++field) {
        bool editable = field != CurrentTemperature && field != BasePlateTemperature;
        EXPECT_EQ(CNozzleVoltageModel::IsEditable(Field(field)), editable) << field;
        EXPECT_EQ(m_model.SetValue(3, Field(field), 12.5f), editable) << field;
        EXPECT_EQ(m_model.Value(3, Field(field)), editable ? 12.5f : 0.0f) << field;
    }
}

TEST_F(TempVolModelTest, EditTextMustBeANumber) {
    struct Case {
        const char* text;
        bool accepted;
        float value;
    } cases[] = {
        {"22.5", true, 22.5f}, {" 7 ", true, 7.0f},  {"+3", true, 3.0f},     {"-1.2", true, -1.2f},
        {"1e2", true, 100.0f}, {"abc", false, 0.0f}, {"12abc", false, 0.0f}, {"", false, 0.0f},
        {"nan", false, 0.0f},  {"inf", false, 0.0f}, {"+-1", false, 0.0f},   {"1,5", false, 0.0f},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(m_model.SetValue(0, LeftVoltage, 0.0f));
        EXPECT_EQ(m_model.SetValueText(0, LeftVoltage, c.text), c.accepted) << c.text;
        EXPECT_FLOAT_EQ(m_model.Value(0, LeftVoltage), c.value) << c.text;
    }
    EXPECT_FALSE(m_model.SetValueText(0, CurrentTemperature, "20"));
}

TEST_F(TempVolModelTest, EditsShowOneDecimal) {
    EXPECT_EQ(CNozzleVoltageModel::FormatValue(22.5f), "22.5");
    EXPECT_EQ(CNozzleVoltageModel::FormatValue(21.0f), "21.0");
    EXPECT_EQ(CNozzleVoltageModel::FormatValue(-0.25f), "-0.2");
}

TEST_F(TempVolModelTest, ArrowsStepTheWholePartAndWrapAtTheEnds) {
    struct Case {
        float start;
        int steps;
        float expected;
    } cases[] = {
        {22.5f, 1, 23.0f},      {22.5f, -1, 21.0f},      {-0.5f, 1, 1.0f},      {0.0f, -1, -1.0f},
        {2000.0f, 1, -2000.0f}, {-2000.0f, -1, 2000.0f}, {2500.0f, 0, 2000.0f}, {1999.0f, 4002, 2000.0f},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(m_model.SetValue(4, SetTemperature, c.start));
        EXPECT_EQ(m_model.Spin(4, SetTemperature, c.steps), c.expected) << c.start << " + " << c.steps;
        EXPECT_EQ(m_model.Value(4, SetTemperature), c.expected);
    }
    EXPECT_EQ(m_model.Spin(4, CurrentTemperature, 1), 0.0f) << "the shown-only fields have no arrows";
}
