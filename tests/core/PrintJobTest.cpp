#include "engine/PrintJob.h"

#include <gtest/gtest.h>

#include <thread>

#include "TestSupport.h"
#include "platform/ProgramDirectory.h"
#include "shell/IniWriter.h"

using namespace std::chrono_literals;

namespace {

// Every test gets a program directory of its own, so language files never leak between tests.
class PrintJobTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetProgramDirectory(m_dir.Path()); }
    void TearDown() override { platform::SetProgramDirectory({}); }

    // Moves a fresh job into the given state as the printing thread would.
    static void Enter(CPrintJob& job, int32_t state) {
        if (state != JOB_WAIT) job.SetStatus(state);
    }

    testsupport::TempDir m_dir;
};

}  // namespace

TEST_F(PrintJobTest, CreatedWaitingWithNoProgress) {
    CPrintJob job("/jobs/a.prn", 3);
    EXPECT_EQ(job.GetStatus(), JOB_WAIT);
    EXPECT_EQ(job.GetProgress(), 0);
    EXPECT_EQ(job.GetCopies(), 3);
    EXPECT_EQ(job.GetName(), "/jobs/a.prn");
    EXPECT_EQ(job.PollControl(), CONTROL_NONE);
    EXPECT_EQ(job.GetStatusString(), "等待");
}

TEST_F(PrintJobTest, ControlRequestsAreAcceptedOnlyInTheirStates) {
    struct Case {
        int32_t state;
        int32_t afterPause, afterResume, afterCancel;  // PollControl after each request alone
        int32_t stateAfterCancel;
    } cases[] = {
        {JOB_HOLD, CONTROL_NONE, CONTROL_NONE, CONTROL_NONE, JOB_HOLD},
        {JOB_WAIT, CONTROL_NONE, CONTROL_NONE, CONTROL_NONE, JOB_HOLD},
        {JOB_OUTPUT, CONTROL_PAUSE, CONTROL_NONE, CONTROL_CANCEL, JOB_OUTPUT},
        {JOB_PAUSE, CONTROL_NONE, CONTROL_RESUME, CONTROL_CANCEL, JOB_PAUSE},
        {4, CONTROL_PAUSE, CONTROL_NONE, CONTROL_CANCEL, 4},
        {5, CONTROL_PAUSE, CONTROL_NONE, CONTROL_CANCEL, 5},
        // between copies: the cancel must reach the copies still to come
        {JOB_OUTPUT_END, CONTROL_NONE, CONTROL_NONE, CONTROL_CANCEL, JOB_OUTPUT_END},
        {JOB_OUTPUT_CANCEL, CONTROL_NONE, CONTROL_NONE, CONTROL_NONE, JOB_OUTPUT_CANCEL},
        {JOB_OUTPUT_FAIL, CONTROL_NONE, CONTROL_NONE, CONTROL_NONE, JOB_OUTPUT_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        CPrintJob paused("p", 1), resumed("r", 1), cancelled("c", 1);
        Enter(paused, c.state);
        Enter(resumed, c.state);
        Enter(cancelled, c.state);
        EXPECT_TRUE(paused.Pause());
        EXPECT_TRUE(resumed.Resume());
        EXPECT_TRUE(cancelled.Cancel());
        EXPECT_EQ(paused.PollControl(), c.afterPause);
        EXPECT_EQ(resumed.PollControl(), c.afterResume);
        EXPECT_EQ(cancelled.PollControl(), c.afterCancel);
        EXPECT_EQ(cancelled.GetStatus(), c.stateAfterCancel);
        EXPECT_EQ(paused.GetStatus(), c.state);  // requests never change the state themselves
    }
}

TEST_F(PrintJobTest, EachRequestReplacesThePreviousOneAndStaysVisible) {
    CPrintJob job("j", 1);
    job.SetStatus(JOB_OUTPUT);
    job.Pause();
    EXPECT_EQ(job.PollControl(), CONTROL_PAUSE);
    EXPECT_EQ(job.PollControl(), CONTROL_PAUSE);  // polling never consumes a request
    job.Cancel();                                  // before the printing thread noticed the pause
    EXPECT_EQ(job.PollControl(), CONTROL_CANCEL);

    CPrintJob other("k", 1);
    other.SetStatus(JOB_PAUSE);
    other.Resume();
    EXPECT_EQ(other.PollControl(), CONTROL_RESUME);
    other.SetStatus(JOB_OUTPUT);
    other.Pause();
    EXPECT_EQ(other.PollControl(), CONTROL_PAUSE);
}

TEST_F(PrintJobTest, CancelledWhileWaitingIsHeldAndNeverTaken) {
    CPrintJob job("j", 1);
    job.Cancel();
    EXPECT_EQ(job.GetStatus(), JOB_HOLD);
    EXPECT_EQ(job.GetStatusString(), "保持");
    EXPECT_FALSE(job.Take());

    CPrintJob taken("t", 1);
    EXPECT_TRUE(taken.Take());
    EXPECT_EQ(taken.GetStatus(), JOB_OUTPUT);
    EXPECT_FALSE(taken.Take());
    taken.Cancel();  // taken meanwhile: the printing thread is asked instead
    EXPECT_EQ(taken.PollControl(), CONTROL_CANCEL);
}

TEST_F(PrintJobTest, SetProgressReportsOnlyChanges) {
    CPrintJob job("j", 1);
    EXPECT_FALSE(job.SetProgress(0));
    EXPECT_TRUE(job.SetProgress(50));
    EXPECT_FALSE(job.SetProgress(50));
    EXPECT_EQ(job.GetProgress(), 50);
}

TEST_F(PrintJobTest, StateTextsFollowTheLanguageAndFallBack) {
    CPrintJob job("j", 1);
    const std::pair<int32_t, const char*> defaults[] = {
        {JOB_HOLD, "保持"},           {JOB_WAIT, "等待"},           {JOB_OUTPUT, "输出"},
        {JOB_PAUSE, "暂停"},          {JOB_OUTPUT_END, "输出结束"}, {JOB_OUTPUT_CANCEL, "输出取消"},
        {JOB_OUTPUT_FAIL, "输出失败"}, {JOB_PREPROCESS, "预处理..."},
    };
    for (auto [state, text] : defaults) {
        job.SetStatus(state);
        EXPECT_EQ(job.GetStatusString(), text);
    }
    job.SetStatus(4);  // no text of its own: the previous one stays
    EXPECT_EQ(job.GetStatusString(), "预处理...");

    testsupport::WriteFile(m_dir / "Language/english.ini", "[PANE]\n29=Output finished\n");
    CIniWriter(m_dir / "Language/Language.ini").WriteString("LAN", "Language", "english");
    job.SetStatus(JOB_OUTPUT_END);
    EXPECT_EQ(job.GetStatusString(), "Output finished");
    job.SetStatus(JOB_OUTPUT_FAIL);
    EXPECT_EQ(job.GetStatusString(), "输出失败");  // key missing in english.ini
}

TEST_F(PrintJobTest, StatusTextIsSafeUnderConcurrentUse) {
    // The printing thread changes the state while the GUI thread reads the text: ThreadSanitizer checks.
    CPrintJob job("j", 1);
    std::atomic<bool> done{false};
    std::thread printer([&] {
        for (int i = 0; i < 200; ++i) {
            job.SetStatus(i % 2 ? JOB_OUTPUT : JOB_PAUSE);
            job.SetProgress(i % 101);
        }
        done = true;
    });
    while (!done) {
        std::string text = job.GetStatusString();
        EXPECT_TRUE(text == "输出" || text == "暂停" || text == "等待") << text;
        job.Pause();
        job.Resume();
    }
    printer.join();
}

TEST_F(PrintJobTest, WaitWhilePausedWakesOnResumeOrCancel) {
    CPrintJob job("j", 1);
    job.SetStatus(JOB_OUTPUT);
    job.Pause();
    job.SetStatus(JOB_PAUSE);
    EXPECT_EQ(job.WaitWhilePaused(10ms), CONTROL_PAUSE);
    std::thread gui([&] {
        std::this_thread::sleep_for(20ms);
        job.Cancel();
    });
    EXPECT_EQ(job.WaitWhilePaused(10s), CONTROL_CANCEL);
    gui.join();
}
