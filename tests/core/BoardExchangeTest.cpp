#include <gtest/gtest.h>

#include <functional>
#include <future>

#include "TestSupport.h"
#include "maint/NozzleVoltageModel.h"
#include "maint/SimulatedBoard.h"
#include "maint/SimulatedBoardDevice.h"
#include "maint/USBDevice.h"

using namespace std::chrono_literals;
using namespace headrecord;
using Clock = std::chrono::steady_clock;

namespace {

const std::filesystem::path kCurveFile =
    std::filesystem::path(TESSARIN_TEST_DATA_DIR) / "maint" / "default.txt";

// A program directory whose Tessarin.ini plugs in the simulated board, with the curve file of the tests
// (curve value n is n / 100) and the values of row 3 in TempVol.txt.
class BoardExchangeTest : public ::testing::Test {
protected:
    BoardExchangeTest() {
        testsupport::WriteFile(
            m_dir / "Tessarin.ini",
            "[USB]\nVendorID=4660\nProductID=22136\nEPInAddr=129\nEPOutAddr=1\nSimulated=1\n");
        std::filesystem::create_directories(m_dir / "Align");
        std::filesystem::copy_file(kCurveFile, m_dir / "Align" / "default.txt");
        std::string values;
        for (int head = 0; head < kHeads; ++head)
            values += head == 2 ? "22.5 21.0 0.5 -1.2 45.0 44.8 30.0\n" : "0 0 0 0 0 0 0\n";
        testsupport::WriteFile(m_dir / "Align" / "TempVol.txt", values + "0 1 2 3 3 2 1 0\n");
        m_board->Reset();
    }
    ~BoardExchangeTest() override { m_board->Reset(); }

    std::unique_ptr<CNozzleVoltageModel> Model() {
        auto model = std::make_unique<CNozzleVoltageModel>(m_dir.Path());
        EXPECT_TRUE(model->LoadValues());
        return model;
    }

    // Positions of the texts in the trace, in the order given; fails when one is missing or out of order.
    static void ExpectInOrder(const std::string& trace, const std::vector<std::string>& texts) {
        size_t from = 0;
        for (const std::string& text : texts) {
            size_t at = trace.find(text, from);
            ASSERT_NE(at, std::string::npos) << "missing, or out of order: " << text;
            from = at + text.size();
        }
    }

    testsupport::TempDir m_dir;
    std::shared_ptr<CSimulatedBoard> m_board = CSimulatedBoard::Plugged();
};

}  // namespace

TEST_F(BoardExchangeTest, SendPutsTheThirtyTwoRecordsOnTheBoardInOrder) {
    auto model = Model();
    CNozzleVoltageModel::Outcome outcome = model->Send();
    ASSERT_TRUE(outcome.ok) << outcome.message;

    std::vector<std::string> received = m_board->Received();
    ASSERT_EQ(received.size(), 32u);
    for (size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(received[i].size(), 26u);
        EXPECT_EQ(received[i].substr(0, 4), std::string("$P") + char('0' + i / 4) + char('A' + i % 4));
    }
    EXPECT_EQ(received[8], "$P2A225210+05-12450448300\r");
    EXPECT_EQ(received[0], "$P0A000000+00+00000000000\r");
    EXPECT_EQ(received[9], "$P2B042043044045046047048\r") << "head 3 is yellow";
    EXPECT_EQ(received[13], "$P3B063064065066067068069\r") << "head 4 is black";
    EXPECT_EQ(received[14], "$P3C070071072073074075076\r");
    EXPECT_EQ(received[15], "$P3D077078079080081082083\r");
}

TEST_F(BoardExchangeTest, SendTracesTheRecordsHeadByHead) {
    auto model = Model();
    testsupport::TraceCapture trace;
    ASSERT_TRUE(model->Send().ok);
    std::string text = trace.Text();
    std::vector<std::string> expected = {"Start send data!"};
    for (const std::string& record : m_board->Received()) {
        expected.push_back(record + "\n");
        if (record[3] == 'D' && record[2] != '7') expected.push_back("\n\n");
    }
    expected.push_back("发送数据结束");
    ExpectInOrder(text, expected);
}

TEST_F(BoardExchangeTest, SendIsRefusedWithNothingSent) {
    struct Case {
        const char* name;
        std::function<void(CNozzleVoltageModel&, const std::filesystem::path&)> spoil;
        const char* says;
    } cases[] = {
        {"head without colour", [](CNozzleVoltageModel& m, auto&) { m.SetColour(5, NoColour); }, "Head 6"},
        {"curve file missing",
         [](auto&, const std::filesystem::path& dir) {
             std::filesystem::remove(dir / "Align" / "default.txt");
         },
         "0 of 84"},
        {"curve file short",
         [](auto&, const std::filesystem::path& dir) {
             testsupport::WriteFile(dir / "Align" / "default.txt", "1 2 3");
         },
         "3 of 84"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::copy_file(kCurveFile, m_dir / "Align" / "default.txt",
                                   std::filesystem::copy_options::overwrite_existing);
        auto model = Model();
        c.spoil(*model, m_dir.Path());
        CNozzleVoltageModel::Outcome outcome = model->Send();
        EXPECT_FALSE(outcome.ok);
        EXPECT_NE(outcome.message.find(c.says), std::string::npos) << outcome.message;
        EXPECT_TRUE(m_board->Received().empty());
    }
}

TEST_F(BoardExchangeTest, NoBoardIsReportedToTheDialogAndTheProgramGoesOn) {
    auto noBoard = [](const std::filesystem::path& config) {
        return std::make_shared<CUSBDevice>(
            config, std::make_unique<CSimulatedBoardDevice>(std::vector<std::shared_ptr<CSimulatedBoard>>{}));
    };
    CNozzleVoltageModel model(m_dir.Path(), noBoard);
    ASSERT_TRUE(model.LoadValues());
    CNozzleVoltageModel::Outcome sent = model.Send();
    EXPECT_FALSE(sent.ok);
    EXPECT_TRUE(sent.message.starts_with("发送失败，请检查是否联机！")) << sent.message;
    CNozzleVoltageModel::Outcome read = model.StartRead();
    EXPECT_FALSE(read.ok);
    EXPECT_TRUE(read.message.starts_with("请检查是否联机！")) << read.message;
    EXPECT_EQ(model.Receiver(), nullptr);
}

TEST_F(BoardExchangeTest, TheThirtyTwoGroupsReachTheTrace) {
    auto model = Model();
    ASSERT_TRUE(model->Send().ok);
    std::vector<std::string> records = m_board->Received();

    testsupport::TraceCapture trace;
    std::promise<CBoardReceiver::State> done;
    std::vector<std::pair<int, std::string>> groups;  // only the receive thread writes it before `done`
    ASSERT_TRUE(model
                    ->StartRead([&](CBoardReceiver::State state) { done.set_value(state); },
                                [&](int group, const std::string& text) { groups.emplace_back(group, text); })
                    .ok);
    auto finished = done.get_future();
    ASSERT_EQ(finished.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(finished.get(), CBoardReceiver::State::Finished);
    EXPECT_EQ(model->GroupsReceived(), 32);
    EXPECT_FALSE(model->IsReading());

    std::vector<std::string> expected = {"The data of having been received!", "开始接收32组数据:"};
    for (int group = 0; group < 32; ++group) {
        char label[16];
        std::snprintf(label, sizeof label, "%2d组:", group);
        expected.push_back(label);
        expected.push_back(records[static_cast<size_t>(group)] + "\n");
        if ((group + 1) % 4 == 0 && group != 31) expected.push_back("\n\n");
    }
    expected.push_back("接收32组数据结束!");
    ExpectInOrder(trace.Text(), expected);
    ASSERT_EQ(groups.size(), 32u);
    for (size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(groups[i].first, static_cast<int>(i) + 1);
        EXPECT_EQ(groups[i].second, records[i]);
    }
    EXPECT_EQ(m_board->Received().back(), "$PC\r");
}

TEST_F(BoardExchangeTest, AFailedQueryOrGroupEndsOnlyTheReceiveThread) {
    struct Case {
        const char* name;
        CSimulatedBoard::Behaviour fault;
        const char* traced;
        int groups;
    } cases[] = {
        {"query refused", {.refuseWrites = true}, "发送查询命令失败！", 0},
        {"board stalls after five groups", {.stallAfterGroups = 5}, "数据接受失败", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_board->Reset();
        m_board->SetBehaviour(c.fault);
        auto model = Model();
        testsupport::TraceCapture trace;
        std::promise<CBoardReceiver::State> done;
        ASSERT_TRUE(model->StartRead([&](CBoardReceiver::State state) { done.set_value(state); }).ok);
        auto ended = done.get_future();
        ASSERT_EQ(ended.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(ended.get(), CBoardReceiver::State::Failed);
        EXPECT_EQ(model->GroupsReceived(), c.groups);
        EXPECT_FALSE(model->Receiver()->Error().empty());
        EXPECT_NE(trace.Text().find(c.traced), std::string::npos);
        EXPECT_EQ(trace.Text().find("接收32组数据结束!"), std::string::npos);
    }
}

TEST_F(BoardExchangeTest, ASecondReadWaitsUntilTheFirstHasEnded) {
    m_board->SetBehaviour({.silent = true});
    auto model = Model();
    ASSERT_TRUE(model->StartRead().ok);
    const CBoardReceiver* first = model->Receiver();
    CNozzleVoltageModel::Outcome second = model->StartRead();
    EXPECT_FALSE(second.ok);
    EXPECT_FALSE(second.message.empty());
    EXPECT_EQ(model->Receiver(), first);

    model->StopRead();
    EXPECT_EQ(model->Receiver()->GetState(), CBoardReceiver::State::Stopped);
    m_board->SetBehaviour({});
    ASSERT_TRUE(model->StartRead().ok) << "a stopped read makes room for a new one";
    EXPECT_TRUE(model->Receiver()->WaitUntilDone(10s));
    EXPECT_EQ(model->GroupsReceived(), 32);
}

TEST_F(BoardExchangeTest, SendingWhileTheReceiveThreadWaitsUsesBothEndpointsAtOnce) {
    m_board->SetBehaviour({.silent = true});
    auto model = Model();
    ASSERT_TRUE(model->StartRead().ok);
    ASSERT_TRUE(m_board->WaitForPendingRead(10s));
    EXPECT_TRUE(model->Send().ok);
    EXPECT_EQ(m_board->Received().size(), 33u) << "the query, then the 32 records";
    EXPECT_TRUE(model->IsReading());
}

TEST_F(BoardExchangeTest, ClosingTheDialogStopsTheReceiveThreadAtOnce) {
    m_board->SetBehaviour({.silent = true});
    auto model = Model();
    testsupport::TraceCapture trace;
    bool called = false;
    ASSERT_TRUE(model->StartRead([&](CBoardReceiver::State) { called = true; }).ok);
    ASSERT_TRUE(m_board->WaitForPendingRead(10s));

    Clock::time_point closing = Clock::now();
    model.reset();
    EXPECT_LT(Clock::now() - closing, CBoardReceiver::kGroupTimeout / 2)
        << "the waiting read is cancelled, not left to time out";
    EXPECT_NE(trace.Text().find("Receiving stopped after 0 groups"), std::string::npos);
    EXPECT_FALSE(called) << "nothing is told to a dialog that is going away";
}

TEST_F(BoardExchangeTest, AStopRequestEndsASendThatTheBoardHolds) {
    m_board->SetBehaviour({.holdWrites = true});
    auto model = Model();
    std::stop_source stop;
    auto sending = std::async(std::launch::async, [&] { return model->Send(stop.get_token()); });
    ASSERT_TRUE(m_board->WaitForPendingWrite(10s));
    Clock::time_point stopping = Clock::now();
    stop.request_stop();
    ASSERT_EQ(sending.wait_for(10s), std::future_status::ready);
    EXPECT_LT(Clock::now() - stopping, CNozzleVoltageModel::kRecordTimeout / 10);
    CNozzleVoltageModel::Outcome sent = sending.get();
    EXPECT_FALSE(sent.ok);
    EXPECT_NE(sent.message.find("0 of 32 records"), std::string::npos) << sent.message;
    EXPECT_TRUE(m_board->Received().empty());
}
