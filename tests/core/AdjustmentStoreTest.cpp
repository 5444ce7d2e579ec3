#include <gtest/gtest.h>

#include <functional>

#include "TestSupport.h"
#include "maint/AdjustmentStore.h"
#include "shell/IniReader.h"

namespace {

// A program directory with a calibrated machine and the material "PVC" printing in mode "102".
class AdjustmentStoreTest : public ::testing::Test {
protected:
    AdjustmentStoreTest() {
        testsupport::WriteFile(m_dir / "vkconfig.ini",
                               "[MEDIAFEED]\nnMediaFeedingPulse[0]=900\nnMediaFeedingPulse[3]=500\n"
                               "[HEAD_LAYOUT]\nnBidComp[0]=20\nnBidComp[1]=10\nnBidComp[2]=-5\n");
        testsupport::WriteFile(m_dir / "Tessarin.ini", "[setting]\nCurMaterial=PVC\n");
        testsupport::WriteFile(Material(), kMaterial);
    }

    std::filesystem::path Material() const { return m_dir / "Config" / "PVC.ini"; }
    int Read(const std::filesystem::path& file, const char* section, const std::string& key) const {
        return CIniReader(file).ReadInt(section, key, -999999);
    }

    static constexpr const char* kMaterial =
        "[SETTING]\nnBidComp[Speed]=1\nnBidComp[Resolution]=0\nnBidComp[Dot_Mode]=2\n";

    testsupport::TempDir m_dir;
    CAdjustmentStore m_store{m_dir.Path()};
};

}  // namespace

TEST_F(AdjustmentStoreTest, PassCountsHaveTheirFeedKeys) {
    const std::pair<int, const char*> known[] = {
        {1, "nMediaFeedingPulse[0]"},  {2, "nMediaFeedingPulse[1]"},  {3, "nMediaFeedingPulse[2]"},
        {4, "nMediaFeedingPulse[3]"},  {6, "nMediaFeedingPulse[4]"},  {8, "nMediaFeedingPulse[5]"},
        {12, "nMediaFeedingPulse[6]"}, {16, "nMediaFeedingPulse[7]"},
    };
    for (const auto& [passes, key] : known) EXPECT_EQ(CAdjustmentStore::PassKey(passes), key) << passes;
    for (int passes : {0, 5, 7, 9, 32, -4}) EXPECT_FALSE(CAdjustmentStore::PassKey(passes)) << passes;
}

TEST_F(AdjustmentStoreTest, ModeCodesAndInkModesHaveTheirBidirectionalKeys) {
    for (const char* speed : {"0", "1", "2"}) {
        for (const char* dot : {"0", "1", "2"}) {
            std::string code = std::string(speed) + "0" + dot;
            EXPECT_EQ(CAdjustmentStore::ModeKey(code),
                      "nBidComp[" + std::string(speed) + "][0][" + dot + "]");
        }
    }
    for (const char* code : {"", "010", "300", "0000", "00", "1 2"})
        EXPECT_FALSE(CAdjustmentStore::ModeKey(code));

    EXPECT_EQ(CAdjustmentStore::InkKey(0), "nBidComp[0]");
    EXPECT_EQ(CAdjustmentStore::InkKey(2), "nBidComp[2]");
    EXPECT_FALSE(CAdjustmentStore::InkKey(3));
    EXPECT_FALSE(CAdjustmentStore::InkKey(-1));
}

TEST_F(AdjustmentStoreTest, MaterialFileIsNamedAfterCurMaterial) {
    EXPECT_EQ(m_store.MaterialPath(), m_dir / "Config" / "PVC.ini");
    EXPECT_EQ(m_store.ModeCode(), "102");

    testsupport::WriteFile(m_dir / "Tessarin.ini", "[setting]\nCurMaterial=\n");
    EXPECT_EQ(m_store.MaterialPath(), m_dir / "Config" / ".ini");
    std::filesystem::remove(m_dir / "Tessarin.ini");
    EXPECT_EQ(m_store.MaterialPath(), m_dir / "Config" / ".ini");
}

TEST_F(AdjustmentStoreTest, ACorrectionWhilePrintingGoesIntoTheMaterialOnly) {
    std::string problem;
    EXPECT_EQ(m_store.WriteMaterialFeed(4, -2, problem), 498);
    EXPECT_EQ(Read(Material(), "SETTING", "nMediaFeedingPulse[3]"), 498);
    EXPECT_EQ(m_store.WriteMaterialBid(1, 3, problem), 13);
    EXPECT_EQ(Read(Material(), "SETTING", "nBidComp[1][0][2]"), 13);
    EXPECT_EQ(Read(m_dir / "vkconfig.ini", "MEDIAFEED", "nMediaFeedingPulse[3]"), 500);
    EXPECT_EQ(Read(m_dir / "vkconfig.ini", "HEAD_LAYOUT", "nBidComp[1]"), 10);
    EXPECT_TRUE(problem.empty()) << problem;
}

TEST_F(AdjustmentStoreTest, TheEndOfAJobAddsTheCorrectionToTheMachine) {
    std::string problem;
    EXPECT_EQ(m_store.StoreMachineFeed(4, -2, problem), 498);
    EXPECT_EQ(Read(m_dir / "vkconfig.ini", "MEDIAFEED", "nMediaFeedingPulse[3]"), 498);
    EXPECT_EQ(m_store.StoreMachineBid(2, -4, problem), -9);
    EXPECT_EQ(Read(m_dir / "vkconfig.ini", "HEAD_LAYOUT", "nBidComp[2]"), -9);
    EXPECT_EQ(Read(m_dir / "vkconfig.ini", "MEDIAFEED", "nMediaFeedingPulse[0]"), 900);
    EXPECT_EQ(m_store.StoreMachineFeed(16, 7, problem), 7) << "a missing machine value counts as 0";
    EXPECT_TRUE(problem.empty()) << problem;
}

TEST_F(AdjustmentStoreTest, ValuesWithoutAKeyAreReportedAndNothingIsWritten) {
    std::string before = testsupport::ReadFile(m_dir / "vkconfig.ini");
    struct Case {
        const char* name;
        std::function<std::optional<int>(std::string&)> write;
        const char* says;
    } cases[] = {
        {"material feed, 5 passes", [&](std::string& p) { return m_store.WriteMaterialFeed(5, 1, p); },
         "5 passes"},
        {"machine feed, 0 passes", [&](std::string& p) { return m_store.StoreMachineFeed(0, 1, p); },
         "0 passes"},
        {"material bid, ink mode 3", [&](std::string& p) { return m_store.WriteMaterialBid(3, 1, p); },
         "ink mode 3"},
        {"machine bid, ink mode -1", [&](std::string& p) { return m_store.StoreMachineBid(-1, 1, p); },
         "ink mode -1"},
    };
    for (const Case& c : cases) {
        std::string problem;
        EXPECT_FALSE(c.write(problem)) << c.name;
        EXPECT_NE(problem.find(c.says), std::string::npos) << c.name << ": " << problem;
    }
    EXPECT_EQ(testsupport::ReadFile(m_dir / "vkconfig.ini"), before);
    EXPECT_EQ(testsupport::ReadFile(Material()), kMaterial);
}

TEST_F(AdjustmentStoreTest, AModeCodeOutsideTheTableWritesNoKey) {
    for (const char* mode :
         {"[SETTING]\nnBidComp[Speed]=3\nnBidComp[Resolution]=0\nnBidComp[Dot_Mode]=0\n",
          "[SETTING]\nnBidComp[Speed]=1\nnBidComp[Resolution]=1\nnBidComp[Dot_Mode]=0\n", "[SETTING]\n"}) {
        testsupport::WriteFile(Material(), mode);
        std::string problem;
        EXPECT_FALSE(m_store.WriteMaterialBid(0, 1, problem)) << mode;
        EXPECT_NE(problem.find("PVC.ini"), std::string::npos) << problem;
        EXPECT_EQ(testsupport::ReadFile(Material()), mode);
    }
}
