#include <gtest/gtest.h>

#include <cstdio>

#include "shell/ConsoleHost.h"

namespace {

// A host writing into a scratch stream; what it writes is not looked at here.
class ConsoleHostTest : public ::testing::Test {
protected:
    ~ConsoleHostTest() override { std::fclose(m_sink); }

    std::shared_ptr<CPrintJob> Post(const std::string& name, int32_t copies, std::initializer_list<std::pair<int32_t, int32_t>> states) {
        auto job = std::make_shared<CPrintJob>(name, copies);
        m_host.AddPrintJob(job);
        for (auto [state, copy] : states) {
            job->SetStatus(state);
            m_host.PostStatusChanged(job, copy);
        }
        return job;
    }

    std::FILE* m_sink = std::tmpfile();
    CConsoleHost m_host{m_sink, m_sink, false};
};

}  // namespace

TEST_F(ConsoleHostTest, EndedJobsAreLetGoAndStillCounted) {
    auto printed = Post("printed", 1, {{JOB_OUTPUT, 1}, {JOB_OUTPUT_END, 1}});
    auto failed = Post("failed", 1, {{JOB_OUTPUT, 1}, {JOB_OUTPUT_FAIL, 1}});
    auto cancelled = Post("cancelled", 2, {{JOB_OUTPUT, 1}, {JOB_OUTPUT_CANCEL, 1}});
    auto betweenCopies = Post("between copies", 2, {{JOB_OUTPUT, 1}, {JOB_OUTPUT_END, 1}});
    auto printing = Post("printing", 1, {{JOB_OUTPUT, 1}});
    EXPECT_EQ(m_host.UnfinishedCount(), 3);

    m_host.ForgetEndedJobs();
    EXPECT_EQ(printed.use_count(), 1) << "let go";
    EXPECT_EQ(failed.use_count(), 1);
    EXPECT_GT(betweenCopies.use_count(), 1) << "its second copy is still to come";
    EXPECT_GT(printing.use_count(), 1);
    EXPECT_EQ(m_host.JobCount(), 5);
    EXPECT_EQ(m_host.UnfinishedCount(), 3) << "the failed and cancelled jobs still count against the exit status";

    betweenCopies->SetStatus(JOB_OUTPUT_END);
    m_host.PostStatusChanged(betweenCopies, 2);
    printing->SetStatus(JOB_OUTPUT_END);
    m_host.PostStatusChanged(printing, 1);
    m_host.ForgetEndedJobs();
    EXPECT_EQ(betweenCopies.use_count(), 1);
    EXPECT_EQ(m_host.JobCount(), 5);
    EXPECT_EQ(m_host.UnfinishedCount(), 2);
}
