#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "RecordingPrinter.h"
#include "TestSupport.h"
#include "maint/AdjustmentSession.h"
#include "shell/IniReader.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::filesystem::path kRecordingLib =
    std::filesystem::path(TESSARIN_TEST_LIBS_DIR) / "RecordingPrinter.so";

// The recording printer library answers GetCurrentPass with 4 and GetCurrentInkmode with 0.
class RecordingLibrary {
public:
    RecordingLibrary() : m_handle(::dlopen(kRecordingLib.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!m_handle) return;
        auto state =
            reinterpret_cast<PFN_RecordingPrinter_State>(::dlsym(m_handle, "RecordingPrinter_State"));
        m_state = state ? state() : nullptr;
    }
    ~RecordingLibrary() {
        if (m_handle) ::dlclose(m_handle);
    }
    RecordingLibrary(const RecordingLibrary&) = delete;
    RecordingLibrary& operator=(const RecordingLibrary&) = delete;

    RecordingState* State() const { return m_state; }
    // The arguments of every call of one entry, in order.
    std::vector<int32_t> Args(const std::string& entry) const {
        std::vector<int32_t> args;
        for (const RecordedCall& call : m_state->Calls())
            if (call.entry == entry) args.push_back(call.arg);
        return args;
    }
    size_t Count(const std::string& entry) const { return Args(entry).size(); }

private:
    void* m_handle;
    RecordingState* m_state = nullptr;
};

// A program directory with the machine at feed 500 (4 passes) and bidirectional 20 (ink mode 0), printing
// the material "PVC" in mode "102".
class AdjustmentSessionTest : public ::testing::Test {
protected:
    AdjustmentSessionTest() {
        testsupport::WriteFile(m_dir / "vkconfig.ini",
                               "[MEDIAFEED]\nnMediaFeedingPulse[3]=500\n[HEAD_LAYOUT]\nnBidComp[0]=20\n");
        testsupport::WriteFile(m_dir / "Tessarin.ini", "[setting]\nCurMaterial=PVC\n");
        testsupport::WriteFile(
            Material(), "[SETTING]\nnBidComp[Speed]=1\nnBidComp[Resolution]=0\nnBidComp[Dot_Mode]=2\n");
    }
    void SetUp() override {
        ASSERT_NE(m_library.State(), nullptr) << kRecordingLib;
        m_library.State()->Reset();
    }

    std::unique_ptr<CAdjustmentSession> Session(std::filesystem::path library = kRecordingLib) {
        CAdjustmentSession::Listener listener{
            .adjustingChanged = [this](bool on) { Note(on ? "adjusting" : "idle"); },
            .stored =
                [this](const CAdjustmentSession::Stored& s) {
                    std::lock_guard lock(m_mutex);
                    m_stored.push_back(s);
                },
            .message = [this](const std::string& text) { Note("message: " + text); },
        };
        return std::make_unique<CAdjustmentSession>(m_dir.Path(), std::move(library), std::move(listener));
    }

    std::filesystem::path Material() const { return m_dir / "Config" / "PVC.ini"; }
    int Machine(const char* section, const char* key) const {
        return CIniReader(m_dir / "vkconfig.ini").ReadInt(section, key, -999999);
    }
    int MaterialValue(const char* key) const {
        return CIniReader(Material()).ReadInt("SETTING", key, -999999);
    }

    void Note(std::string text) {
        std::lock_guard lock(m_mutex);
        m_notes.push_back(std::move(text));
    }
    std::vector<std::string> Notes() {
        std::lock_guard lock(m_mutex);
        return m_notes;
    }
    std::vector<CAdjustmentSession::Stored> StoredNotices() {
        std::lock_guard lock(m_mutex);
        return m_stored;
    }

    testsupport::TempDir m_dir;
    RecordingLibrary m_library;
    std::mutex m_mutex;
    std::vector<std::string> m_notes;
    std::vector<CAdjustmentSession::Stored> m_stored;
};

}  // namespace

TEST_F(AdjustmentSessionTest, FeedCorrectionOfMinusTwoInAFourPassModeStores498) {
    auto session = Session();
    session->Begin();
    session->StepFeed(-1);
    session->StepFeed(-1);
    EXPECT_EQ(m_library.Args("ChangeFeedingData"), (std::vector<int32_t>{-1, -2}))
        << "the library gets the whole correction each time, not the step";
    EXPECT_EQ(MaterialValue("nMediaFeedingPulse[3]"), 498);
    EXPECT_EQ(Machine("MEDIAFEED", "nMediaFeedingPulse[3]"), 500);

    session->End(true);
    EXPECT_EQ(Machine("MEDIAFEED", "nMediaFeedingPulse[3]"), 498);
    EXPECT_EQ(Machine("HEAD_LAYOUT", "nBidComp[0]"), 20);
    EXPECT_EQ(session->Feed(), 0);
    ASSERT_EQ(StoredNotices().size(), 1u);
    EXPECT_EQ(StoredNotices()[0].feed, 498);
    EXPECT_EQ(StoredNotices()[0].bid, 20);
    EXPECT_EQ(session->LastStored()->feed, 498);
}

TEST_F(AdjustmentSessionTest, TypedValuesAndBidirectionalStepsReachLibraryAndMaterial) {
    auto session = Session();
    session->Begin();
    session->SetFeed(CAdjustmentSession::ParseEditText("1"));
    session->SetFeed(CAdjustmentSession::ParseEditText("12"));
    EXPECT_EQ(m_library.Args("ChangeFeedingData"), (std::vector<int32_t>{1, 12}));
    EXPECT_EQ(MaterialValue("nMediaFeedingPulse[3]"), 512);

    for (int i = 0; i < 3; ++i) session->StepBid(+1);
    EXPECT_EQ(m_library.Args("ChangeBidData"), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(MaterialValue("nBidComp[1][0][2]"), 23) << "machine value of ink mode 0 plus the correction";

    session->End(true);
    EXPECT_EQ(Machine("MEDIAFEED", "nMediaFeedingPulse[3]"), 512);
    EXPECT_EQ(Machine("HEAD_LAYOUT", "nBidComp[0]"), 23);
    EXPECT_EQ(session->Bid(), 0);
}

TEST_F(AdjustmentSessionTest, CancelKeepsTheCorrectionsForTheNextSavingEnd) {
    auto session = Session();
    session->Begin();
    session->SetFeed(-2);
    session->End(false);
    EXPECT_EQ(Machine("MEDIAFEED", "nMediaFeedingPulse[3]"), 500);
    EXPECT_EQ(session->Feed(), -2);
    EXPECT_TRUE(session->IsBound());
    EXPECT_TRUE(StoredNotices().empty());

    session->End(true);
    EXPECT_EQ(Machine("MEDIAFEED", "nMediaFeedingPulse[3]"), 498);
    EXPECT_FALSE(session->IsBound()) << "the library is released after saving";
    size_t calls = m_library.Count("ChangeFeedingData");
    session->StepFeed(1);
    EXPECT_EQ(m_library.Count("ChangeFeedingData"), calls) << "no library between jobs";
    EXPECT_EQ(session->Feed(), 1);
}

TEST_F(AdjustmentSessionTest, SavingEndLetsThePrintingThreadGoOnAtOnce) {
    auto session = Session();
    session->Begin();
    session->StepFeed(3);
    Clock::time_point before = Clock::now();
    session->End(true);
    Clock::time_point after = Clock::now();
    EXPECT_LT(after - before, CAdjustmentSession::kShowStoredFor / 2);
    ASSERT_EQ(StoredNotices().size(), 1u);
    EXPECT_GE(StoredNotices()[0].at, before);
    EXPECT_LE(StoredNotices()[0].at, after);
    EXPECT_EQ(Notes(), (std::vector<std::string>{"adjusting", "idle"}));
}

TEST_F(AdjustmentSessionTest, WithoutABindingChangesOnlyMoveTheValue) {
    auto session = Session();
    std::string material = testsupport::ReadFile(Material());
    session->StepFeed(1);
    session->StepBid(-1);
    EXPECT_EQ(session->Feed(), 1);
    EXPECT_EQ(session->Bid(), -1);
    EXPECT_TRUE(m_library.State()->Calls().empty());
    EXPECT_EQ(testsupport::ReadFile(Material()), material);
}

TEST_F(AdjustmentSessionTest, ALibraryThatCannotBeLoadedIsReportedAndChangesNothing) {
    std::filesystem::path missing = m_dir / "NoSuchPrinter.so";
    auto session = Session(missing);
    session->Begin();
    EXPECT_TRUE(session->IsAdjusting());
    EXPECT_FALSE(session->IsBound());
    std::vector<std::string> notes = Notes();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1], "message: 打印机DLL路径为：" + missing.string() + "\n请检测打印机Dll是否存在");

    session->Begin();  // the resume of the same job
    EXPECT_EQ(Notes().size(), 3u) << "one message, not one per resume";

    session->StepFeed(1);
    session->End(true);
    EXPECT_EQ(Machine("MEDIAFEED", "nMediaFeedingPulse[3]"), 500);
    ASSERT_EQ(StoredNotices().size(), 1u);
    EXPECT_FALSE(StoredNotices()[0].feed);
    EXPECT_NE(Notes().back().find("not stored"), std::string::npos) << Notes().back();

    testsupport::TraceCapture trace;
    auto unnamed = Session({});
    unnamed->Begin();
    EXPECT_NE(trace.Text().find("工具栏对话框加载的打印机Dll路径为空"), std::string::npos);
}

TEST_F(AdjustmentSessionTest, AModeCodeOutsideTheTableIsReportedAndSkipped) {
    testsupport::WriteFile(Material(),
                           "[SETTING]\nnBidComp[Speed]=3\nnBidComp[Resolution]=0\nnBidComp[Dot_Mode]=0\n");
    std::string material = testsupport::ReadFile(Material());
    auto session = Session();
    session->Begin();
    session->StepBid(1);
    EXPECT_EQ(m_library.Args("ChangeBidData"), std::vector<int32_t>{1});
    EXPECT_EQ(testsupport::ReadFile(Material()), material);
    ASSERT_EQ(Notes().size(), 2u);
    EXPECT_NE(Notes()[1].find("\"300\""), std::string::npos) << Notes()[1];

    session->End(true);
    EXPECT_EQ(Machine("HEAD_LAYOUT", "nBidComp[0]"), 21) << "the machine value has its own key";
}

TEST_F(AdjustmentSessionTest, HeadlessJobsRunTheSameBookkeepingWithZeroCorrections) {
    auto session = Session();
    session->Begin();
    session->Begin();  // a resume
    session->End(true);
    EXPECT_EQ(Machine("MEDIAFEED", "nMediaFeedingPulse[3]"), 500);
    EXPECT_EQ(Machine("HEAD_LAYOUT", "nBidComp[0]"), 20);
    EXPECT_EQ(m_library.Count("GetCurrentPass"), 1u);
    EXPECT_EQ(m_library.Count("GetCurrentInkmode"), 1u);
    EXPECT_EQ(m_library.Count("ChangeFeedingData"), 0u);
}

TEST_F(AdjustmentSessionTest, ParseEditTextTakesTheLeadingNumber) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"0", 0},
        {"12", 12},
        {"-1", -1},
        {"+5", 5},
        {"  7", 7},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) EXPECT_EQ(CAdjustmentSession::ParseEditText(c.text), c.value) << c.text;
}

TEST_F(AdjustmentSessionTest, ClicksDuringJobsAreNeitherLostNorCountedTwice) {
    auto session = Session();
    constexpr int kJobs = 20;
    std::atomic<int> jobs{0};
    std::thread printing([&] {
        for (int i = 0; i < kJobs; ++i) {
            session->Begin();
            session->End(true);
            ++jobs;
        }
    });
    int clicks = 0;
    for (; jobs < kJobs || clicks < 100; ++clicks) session->StepFeed(1);
    printing.join();
    EXPECT_EQ(Machine("MEDIAFEED", "nMediaFeedingPulse[3]") - 500 + session->Feed(), clicks);
}

TEST_F(AdjustmentSessionTest, AnAddedListenerHearsEventsUntilItsHandleGoes) {
    auto session = Session();
    std::vector<std::string> heard;
    std::optional<CAdjustmentSession::ListenerHandle> handle = session->AddListener({
        .adjustingChanged = [&](bool on) { heard.push_back(on ? "adjusting" : "idle"); },
        .stored = [&](const CAdjustmentSession::Stored& s) { heard.push_back("stored " + std::to_string(*s.feed)); },
        .message = {},
    });
    session->Begin();
    session->StepFeed(1);
    session->End(true);
    EXPECT_EQ(heard, (std::vector<std::string>{"adjusting", "idle", "stored 501"}));
    EXPECT_EQ(Notes(), (std::vector<std::string>{"adjusting", "idle"})) << "the first listener still hears";

    CAdjustmentSession::ListenerHandle moved = std::move(*handle);
    handle.reset();
    session->Begin();
    EXPECT_EQ(heard.size(), 4u) << "a moved handle keeps the listener";
    moved.Reset();
    session->End(true);
    EXPECT_EQ(heard.size(), 4u);
}

// A window goes while a printing thread reports: once the handle is gone no callback runs, and one that
// was running has finished.
TEST_F(AdjustmentSessionTest, RemovingAListenerWaitsForItsCallbackInFlight) {
    auto session = Session();
    std::atomic<bool> stop{false};
    std::thread printing([&] {
        while (!stop) {
            session->Begin();
            session->End(false);
        }
    });
    for (int round = 0; round < 50; ++round) {
        auto alive = std::make_shared<std::atomic<bool>>(true);
        std::atomic<int> calls{0};
        {
            CAdjustmentSession::ListenerHandle handle = session->AddListener({
                .adjustingChanged =
                    [&calls, alive](bool) {
                        EXPECT_TRUE(alive->load());
                        ++calls;
                    },
                .stored = {},
                .message = {},
            });
            while (calls < 2) std::this_thread::yield();
        }
        alive->store(false);
    }
    stop = true;
    printing.join();
}
