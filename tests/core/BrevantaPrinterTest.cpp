#include "engine/BrevantaPrinter.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "JobFiles.h"
#include "RecordingHost.h"
#include "RecordingPrinter.h"
#include "TestSupport.h"
#include "platform/ProgramDirectory.h"

using namespace std::chrono_literals;
using testsupport::RecordingHost;

namespace {

const std::filesystem::path kRecordingLib = TESSARIN_TEST_LIBS_DIR "/RecordingPrinter.so";
const std::filesystem::path kNoEndPrintLib = TESSARIN_TEST_LIBS_DIR "/NoEndPrint.so";

// Keeps the recording library loaded for the whole test, so its record outlives the engine's bindings.
class RecordingLibrary {
public:
    RecordingLibrary() : m_handle(::dlopen(kRecordingLib.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!m_handle) throw std::runtime_error(::dlerror());
        auto fn = reinterpret_cast<PFN_RecordingPrinter_State>(::dlsym(m_handle, "RecordingPrinter_State"));
        m_state = fn();
        m_state->Reset();
    }
    ~RecordingLibrary() {
        m_state->Reset();
        ::dlclose(m_handle);
    }
    RecordingState& operator*() { return *m_state; }
    RecordingState* operator->() { return m_state; }

private:
    void* m_handle;
    RecordingState* m_state;
};

long Count(const std::vector<std::string>& entries, const std::string& name) {
    return std::count(entries.begin(), entries.end(), name);
}

std::vector<RecordedCall> CallsOf(const std::vector<RecordedCall>& calls, const std::string& name) {
    std::vector<RecordedCall> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), [&](const auto& c) { return c.entry == name; });
    return out;
}

// The line set the engine must send for line n: per plane, cX cells of L bytes, each the first min(B, L)
// bytes of the plane row followed by zeros.
std::vector<uint8_t> ExpectedLineSet(uint64_t n, uint32_t planes, int64_t B, int cX, int sX) {
    const int64_t L = B + sX - 8;
    std::vector<uint8_t> out;
    for (uint32_t p = 0; p < planes; ++p)
        for (int k = 0; k < cX; ++k)
            for (int64_t j = 0; j < L; ++j)
                out.push_back(j < B ? testsupport::RowByte(n, p, static_cast<uint64_t>(j)) : 0);
    return out;
}

class BrevantaPrinterTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetProgramDirectory(m_dir.Path()); }
    void TearDown() override { platform::SetProgramDirectory({}); }

    std::filesystem::path Job(const std::string& name, const RipHead& head, uint32_t planes, size_t trailing = 0) {
        auto path = m_dir / name;
        testsupport::WriteJob(path, head, planes, trailing);
        return path;
    }
    std::unique_ptr<CBrevantaPrinter> Engine(const std::filesystem::path& lib = kRecordingLib) {
        return std::make_unique<CBrevantaPrinter>(lib, m_host, std::filesystem::path());
    }
    std::vector<int32_t> PostedStates(const std::shared_ptr<CPrintJob>& job) const {
        std::vector<int32_t> states;
        for (const auto& p : m_host.Posts())
            if (p.job == job && (states.empty() || states.back() != p.state)) states.push_back(p.state);
        return states;
    }

    testsupport::TempDir m_dir;
    RecordingHost m_host;
    RecordingLibrary m_lib;
};

}  // namespace

TEST_F(BrevantaPrinterTest, LineSetsAreWidenedCutAndPadded) {
    struct Case {
        int cX, sX;
        uint32_t B, height, planes;
    } cases[] = {
        {2, 8, 100, 3, 2},       // every row twice: 200 bytes
        {1, 0, 100, 3, 2},       // each row cut to its first 92 bytes
        {1, 8, 100, 3, 4},       // rows exactly as in the file
        {3, 20, 50, 2, 1},       // cells longer than the row: zeros after it
        {1, -90, 100, 2, 3},     // cell of 2 bytes: far less than the row
        {2, -90, 100, 2, 3},
        {1, 8, 100000, 25, 4},   // several read chunks, sent straight from where they were read
        {2, 0, 100000, 25, 2},   // several read chunks, widened
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cX " << c.cX << " sX " << c.sX << " B " << c.B);
        m_lib->Reset();
        const uint32_t width = c.B * 4;
        auto path = Job("job.prn", testsupport::TestHead(c.B, c.height, width), c.planes, c.B / 2);
        auto engine = Engine();
        auto job = std::make_shared<CPrintJob>(path.string(), 1);
        ASSERT_EQ(engine->ProcessJob(job, c.cX, c.sX, 1, 0), CBrevantaPrinter::RESULT_PRINTED);
        EXPECT_EQ(job->GetStatus(), JOB_OUTPUT_END);
        EXPECT_EQ(job->GetProgress(), 100);

        auto calls = m_lib->Calls();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls[0].entry, "InitPrinter");
        EXPECT_EQ(calls[0].arg, 1);
        ASSERT_EQ(calls[1].entry, "StartPrint");
        EXPECT_EQ(calls[1].arg, 0);
        RipHead sent = RipHead::FromBytes(std::span<const uint8_t, 48>(calls[1].data.data(), 48));
        const uint32_t L = static_cast<uint32_t>(static_cast<int>(c.B) + c.sX - 8);
        EXPECT_EQ(sent.byteperline, c.cX * L);
        EXPECT_EQ(sent.width, width * c.cX);
        EXPECT_EQ(sent.color, c.planes);
        EXPECT_EQ(sent.bit, 2u);  // from the stored byteperline and width, before widening
        EXPECT_EQ(sent.fpaperwidth, 0u);
        EXPECT_EQ(sent.height, c.height);
        EXPECT_EQ(sent.signature, 0x4A4F4231u);
        EXPECT_EQ(sent.reserved, testsupport::TestHead(1, 1, 1).reserved);

        auto writes = CallsOf(calls, "WriteRipData");
        ASSERT_EQ(writes.size(), c.height);
        for (uint32_t n = 0; n < c.height; ++n) {
            ASSERT_EQ(writes[n].data, ExpectedLineSet(n, c.planes, c.B, c.cX, c.sX)) << "line " << n;
        }
        EXPECT_EQ(calls.back().entry, "EndRipData");
        EXPECT_EQ(calls.size(), c.height + 3);
    }
}

TEST_F(BrevantaPrinterTest, YSpacingAddsBlankLineSetsBeforeTheEnd) {
    auto path = Job("job.prn", testsupport::TestHead(100, 2, 400), 2);
    auto job = std::make_shared<CPrintJob>(path.string(), 1);
    ASSERT_EQ(Engine()->ProcessJob(job, 2, 8, 1, 3), CBrevantaPrinter::RESULT_PRINTED);
    auto calls = m_lib->Calls();
    ASSERT_EQ(calls.size(), 2u + 2 + 3 + 1);
    for (size_t i = 4; i < 7; ++i) {
        EXPECT_EQ(calls[i].entry, "WriteRipData");
        EXPECT_EQ(calls[i].data, std::vector<uint8_t>(2 * 200, 0));
    }
    EXPECT_EQ(calls[7].entry, "EndRipData");
    EXPECT_EQ(m_host.Adjustments(), (std::vector<std::string>{"Begin", "End(save)"}));
}

TEST_F(BrevantaPrinterTest, TwoCopiesGoThroughTheirStatesTwice) {
    auto path = Job("job.prn", testsupport::TestHead(100, 4, 400), 1);
    auto engine = Engine();
    auto job = std::make_shared<CPrintJob>(path.string(), 2);
    engine->AddPrintJob(job);
    engine->Start();
    ASSERT_TRUE(m_host.WaitFor([&] {
        auto posts = m_host.Posts();
        return std::count_if(posts.begin(), posts.end(), [](auto& p) { return p.state == JOB_OUTPUT_END; }) == 2;
    }));
    engine->Stop();
    EXPECT_EQ(PostedStates(job), (std::vector<int32_t>{JOB_OUTPUT, JOB_OUTPUT_END, JOB_OUTPUT, JOB_OUTPUT_END}));
    std::vector<std::pair<int32_t, int32_t>> progress;  // (copy, progress) of each post while printing
    for (const auto& p : m_host.Posts())
        if (p.state == JOB_OUTPUT) progress.emplace_back(p.copy, p.progress);
    const std::vector<std::pair<int32_t, int32_t>> expected = {{1, 0}, {1, 25}, {1, 50}, {1, 75}, {1, 100},
                                                               {2, 0}, {2, 25}, {2, 50}, {2, 75}, {2, 100}};
    EXPECT_EQ(progress, expected);
    EXPECT_EQ(Count(m_lib->Entries(), "InitPrinter"), 2);
    EXPECT_EQ(m_host.Posts().back().copy, 2);
}

TEST_F(BrevantaPrinterTest, PauseHeldOverManyLinesPausesAndResumesOnce) {
    auto path = Job("job.prn", testsupport::TestHead(100, 10, 400), 1);
    auto engine = Engine();
    auto job = std::make_shared<CPrintJob>(path.string(), 1);
    m_lib->onWrite = [job](int32_t n) {
        if (n == 3) job->Pause();
    };
    engine->AddPrintJob(job);
    engine->Start();
    ASSERT_TRUE(m_host.WaitForState(job, JOB_PAUSE));
    // The worker stays paused for as long as nobody resumes: nothing more reaches the library.
    EXPECT_FALSE(m_host.WaitFor([&] { return m_lib->Calls().size() > 6; }, 300ms));
    engine->ResumeJob(job);
    ASSERT_TRUE(m_host.WaitForState(job, JOB_OUTPUT_END));
    engine->Stop();
    auto entries = m_lib->Entries();
    EXPECT_EQ(Count(entries, "PausePrint"), 1);
    EXPECT_EQ(Count(entries, "ResumePrint"), 1);
    EXPECT_EQ(Count(entries, "WriteRipData"), 10);
    EXPECT_EQ(entries[5], "PausePrint");  // right after the third line
    EXPECT_EQ(PostedStates(job), (std::vector<int32_t>{JOB_OUTPUT, JOB_PAUSE, JOB_OUTPUT, JOB_OUTPUT_END}));
    EXPECT_EQ(m_host.Adjustments(), (std::vector<std::string>{"Begin", "Begin", "End(save)"}));
}

TEST_F(BrevantaPrinterTest, CancelWhilePausedAbortsWithoutResumingAndEndsTheJob) {
    auto path = Job("job.prn", testsupport::TestHead(100, 10, 400), 1);
    auto engine = Engine();
    auto job = std::make_shared<CPrintJob>(path.string(), 3);
    m_lib->onWrite = [job](int32_t n) {
        if (n == 2) job->Pause();
    };
    engine->AddPrintJob(job);
    engine->Start();
    ASSERT_TRUE(m_host.WaitForState(job, JOB_PAUSE));
    engine->CancelJob(job);
    ASSERT_TRUE(m_host.WaitForState(job, JOB_OUTPUT_CANCEL));
    ASSERT_TRUE(m_host.WaitFor([&] { return engine->IsIdle(); }));
    engine->Stop();
    auto entries = m_lib->Entries();
    EXPECT_EQ(entries.back(), "AbortPrint");
    EXPECT_EQ(Count(entries, "ResumePrint"), 0);
    EXPECT_EQ(Count(entries, "EndRipData"), 0);
    EXPECT_EQ(Count(entries, "InitPrinter"), 1);  // no further copies
    EXPECT_EQ(job->GetStatus(), JOB_OUTPUT_CANCEL);
    EXPECT_EQ(m_host.Adjustments(), (std::vector<std::string>{"Begin", "End", "End(save)"}));
    EXPECT_TRUE(m_host.Messages().empty());  // a cancel is no failure
}

TEST_F(BrevantaPrinterTest, CancelBetweenCopiesEndsTheJob) {
    auto path = Job("job.prn", testsupport::TestHead(100, 2, 400), 1);
    auto engine = Engine();
    auto job = std::make_shared<CPrintJob>(path.string(), 3);
    m_host.onPost = [&](const RecordingHost::Post& p) {
        if (p.state == JOB_OUTPUT_END && p.copy == 1) engine->CancelJob(job);
    };
    engine->AddPrintJob(job);
    engine->Start();
    ASSERT_TRUE(m_host.WaitForState(job, JOB_OUTPUT_CANCEL));
    engine->Stop();
    m_host.onPost = nullptr;
    EXPECT_EQ(Count(m_lib->Entries(), "InitPrinter"), 1);
    EXPECT_EQ(Count(m_lib->Entries(), "AbortPrint"), 0);
    EXPECT_EQ(PostedStates(job), (std::vector<int32_t>{JOB_OUTPUT, JOB_OUTPUT_END, JOB_OUTPUT_CANCEL}));
}

TEST_F(BrevantaPrinterTest, LibraryFailuresFailTheJobAndStopItsCopies) {
    struct Case {
        const char* what;
        int32_t init, start, failAt, writeResult;
        int32_t result;
        long writes, endRipData;
    } cases[] = {
        {"InitPrinter refuses", 0, 1, 0, 0, CBrevantaPrinter::RESULT_NOT_STARTED, 0, 0},
        {"StartPrint refuses", 1, 0, 0, 0, CBrevantaPrinter::RESULT_NOT_STARTED, 0, 0},
        {"WriteRipData < 0", 1, 1, 2, -1, CBrevantaPrinter::RESULT_STOPPED, 2, 1},
        {"WriteRipData = 0", 1, 1, 2, 0, CBrevantaPrinter::RESULT_FAILED, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        m_lib->Reset();
        m_lib->initResult = c.init;
        m_lib->startResult = c.start;
        m_lib->writeFailAt = c.failAt;
        m_lib->writeResult = c.writeResult;
        auto path = Job("job.prn", testsupport::TestHead(100, 5, 400), 1);
        CBrevantaPrinter engine(kRecordingLib, host, {});
        auto job = std::make_shared<CPrintJob>(path.string(), 2);
        engine.AddPrintJob(job);
        engine.Start();
        ASSERT_TRUE(host.WaitForState(job, JOB_OUTPUT_FAIL));
        ASSERT_TRUE(host.WaitFor([&] { return engine.IsIdle(); }));
        engine.Stop();
        auto entries = m_lib->Entries();
        EXPECT_EQ(Count(entries, "InitPrinter"), 1) << "no further copies";
        EXPECT_EQ(Count(entries, "WriteRipData"), c.writes);
        EXPECT_EQ(Count(entries, "EndRipData"), c.endRipData);
        EXPECT_EQ(job->GetStatus(), JOB_OUTPUT_FAIL);
        EXPECT_EQ(host.Posts().back().state, JOB_OUTPUT_FAIL) << "a final status message";
        EXPECT_EQ(host.Messages().size(), 1u);

        m_lib->Reset();
        m_lib->initResult = c.init;
        m_lib->startResult = c.start;
        m_lib->writeFailAt = c.failAt;
        m_lib->writeResult = c.writeResult;
        auto direct = std::make_shared<CPrintJob>(path.string(), 1);
        EXPECT_EQ(engine.ProcessJob(direct, 1, 8, 1, 0), c.result);
    }
}

TEST_F(BrevantaPrinterTest, RefusedJobsFailOnceBeforeReachingTheLibrary) {
    struct Case {
        const char* what;
        std::string file;
        std::filesystem::path lib;
        int32_t copies, cX, sX;
    } cases[] = {
        {"job file missing", "missing.prn", kRecordingLib, 1, 1, 0},
        {"library missing", "good.prn", TESSARIN_TEST_LIBS_DIR "/NoSuchPrinter.so", 1, 1, 0},
        {"library lacks an entry", "good.prn", kNoEndPrintLib, 1, 1, 0},
        {"no library configured", "good.prn", "", 1, 1, 0},
        {"copy count 0", "good.prn", kRecordingLib, 0, 1, 0},
        {"width 0", "nowidth.prn", kRecordingLib, 1, 1, 0},
        {"shorter than a header", "short.prn", kRecordingLib, 1, 1, 0},
        {"X copies 0", "good.prn", kRecordingLib, 1, 0, 8},
        {"cell length 0", "b8.prn", kRecordingLib, 1, 1, 0},
        {"cell length negative", "good.prn", kRecordingLib, 1, 1, -100},
    };
    Job("good.prn", testsupport::TestHead(100, 2, 400), 1);
    Job("nowidth.prn", testsupport::TestHead(100, 2, 0), 1);
    Job("b8.prn", testsupport::TestHead(8, 2, 8), 1);
    testsupport::WriteFile(m_dir / "short.prn", "tiny");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        host.xCopies = c.cX;
        host.xSpacing = c.sX;
        m_lib->Reset();
        CBrevantaPrinter engine(c.lib, host, {});
        auto bad = std::make_shared<CPrintJob>((m_dir / c.file).string(), c.copies);
        auto good = std::make_shared<CPrintJob>((m_dir / "good.prn").string(), 1);
        engine.AddPrintJob(bad);
        engine.AddPrintJob(good);
        engine.Start();
        ASSERT_TRUE(host.WaitForState(bad, JOB_OUTPUT_FAIL));
        ASSERT_TRUE(host.WaitFor([&] { return engine.IsIdle(); }));
        engine.Stop();
        EXPECT_EQ(bad->GetStatus(), JOB_OUTPUT_FAIL);
        auto messages = host.Messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_NE(messages[0].find(c.file), std::string::npos) << messages[0];
        EXPECT_EQ(Count(m_lib->Entries(), "InitPrinter"), c.lib == kRecordingLib && c.cX >= 1 && c.sX > -92 ? 1 : 0)
            << "only the good job reaches the library";
        int failures = 0;
        for (const auto& p : host.Posts()) failures += p.job == bad && p.state == JOB_OUTPUT_FAIL;
        EXPECT_EQ(failures, 1) << "taken once, not again and again";
    }
}

TEST_F(BrevantaPrinterTest, EveryJobIsTakenOnceInQueueOrder) {
    auto engine = Engine();
    engine->Start();
    std::vector<std::shared_ptr<CPrintJob>> jobs;
    for (uint32_t i = 0; i < 20; ++i) {
        auto path = Job("job" + std::to_string(i) + ".prn", testsupport::TestHead(64, 3, 64, i), 1);
        jobs.push_back(std::make_shared<CPrintJob>(path.string(), 1));
        engine->AddPrintJob(jobs.back());  // while the worker scans and prints
    }
    ASSERT_TRUE(m_host.WaitFor([&] { return engine->IsIdle(); }));
    engine->Stop();
    std::vector<uint32_t> signatures;
    for (const auto& call : CallsOf(m_lib->Calls(), "StartPrint"))
        signatures.push_back(RipHead::FromBytes(std::span<const uint8_t, 48>(call.data.data(), 48)).signature);
    std::vector<uint32_t> expected(20);
    for (uint32_t i = 0; i < 20; ++i) expected[i] = i;
    EXPECT_EQ(signatures, expected);
    for (const auto& job : jobs) EXPECT_EQ(job->GetStatus(), JOB_OUTPUT_END);
    std::vector<std::string> names;
    EXPECT_EQ(engine->GetJobNames(names), 20);
}

TEST_F(BrevantaPrinterTest, StopCancelsAPausedJobPromptly) {
    auto path = Job("job.prn", testsupport::TestHead(100, 10, 400), 1);
    auto engine = Engine();
    auto job = std::make_shared<CPrintJob>(path.string(), 1);
    m_lib->onWrite = [job](int32_t n) {
        if (n == 1) job->Pause();
    };
    engine->AddPrintJob(job);
    engine->Start();
    ASSERT_TRUE(m_host.WaitForState(job, JOB_PAUSE));
    auto before = std::chrono::steady_clock::now();
    engine->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_EQ(job->GetStatus(), JOB_OUTPUT_CANCEL);
    EXPECT_EQ(m_lib->Entries().back(), "AbortPrint");
}

TEST_F(BrevantaPrinterTest, AJobWaitsWhileSomeoneElseHoldsThePrinter) {
    auto path = Job("job.prn", testsupport::TestHead(100, 2, 400), 1);
    auto engine = Engine();
    engine->GetPrinterLock()->Acquire(nullptr);  // a network job is printing
    auto job = std::make_shared<CPrintJob>(path.string(), 1);
    engine->AddPrintJob(job);
    engine->Start();
    ASSERT_TRUE(m_host.WaitForState(job, JOB_OUTPUT));
    EXPECT_FALSE(m_host.WaitFor([&] { return !m_lib->Calls().empty(); }, 300ms));
    engine->GetPrinterLock()->Unlock();
    ASSERT_TRUE(m_host.WaitForState(job, JOB_OUTPUT_END));
    engine->Stop();
    EXPECT_EQ(m_lib->Entries().front(), "InitPrinter");
}

TEST_F(BrevantaPrinterTest, RemovalAndControlByIndexAndName) {
    auto engine = Engine();
    auto a = std::make_shared<CPrintJob>("a", 1);
    auto b = std::make_shared<CPrintJob>("b", 1);
    auto c = std::make_shared<CPrintJob>("c", 1);
    for (const auto& j : {a, b, c}) engine->AddPrintJob(j);
    engine->CancelJob(1);
    EXPECT_EQ(b->GetStatus(), JOB_HOLD);
    engine->CancelJob(std::string("c"));
    EXPECT_EQ(c->GetStatus(), JOB_HOLD);
    EXPECT_EQ(engine->GetNextWaitingJob(), a);
    EXPECT_EQ(engine->RemoveJob(-1), 1);
    engine->RemoveJob(std::string("a"));
    std::vector<std::string> names;
    EXPECT_EQ(engine->GetJobNames(names), 2);
    EXPECT_EQ(names, (std::vector<std::string>{"b", "c"}));
    int visited = engine->ForEachJob(5, [](CPrintJob& job, intptr_t v) { EXPECT_EQ(v, 5) << job.GetName(); });
    EXPECT_EQ(visited, 2);
    engine->RemoveAllJobs();
    EXPECT_EQ(engine->GetJobNames(names), 0);
    EXPECT_EQ(b.use_count(), 1) << "a removed job is freed once nothing else refers to it";
}

TEST_F(BrevantaPrinterTest, EndedJobsCanBeLetGoWhileTheOthersStay) {
    auto engine = Engine();
    auto done = std::make_shared<CPrintJob>("done", 1);
    auto failed = std::make_shared<CPrintJob>("failed", 1);
    auto cancelled = std::make_shared<CPrintJob>("cancelled", 1);
    auto waiting = std::make_shared<CPrintJob>("waiting", 1);
    auto held = std::make_shared<CPrintJob>("held", 1);
    for (const auto& j : {done, failed, cancelled, waiting, held}) engine->AddPrintJob(j);
    done->SetStatus(JOB_OUTPUT_END);
    failed->SetStatus(JOB_OUTPUT_FAIL);
    cancelled->SetStatus(JOB_OUTPUT_CANCEL);
    held->SetStatus(JOB_HOLD);
    EXPECT_EQ(engine->RemoveEndedJobs(), 3);
    std::vector<std::string> names;
    engine->GetJobNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"waiting", "held"}));
    EXPECT_EQ(done.use_count(), 1);

    // A job of two copies rests finished between them and must not be let go then: the post of the first
    // copy's end comes from the worker while the job is still its current one.
    auto twice = std::make_shared<CPrintJob>(Job("twice.prn", testsupport::TestHead(64, 2, 64), 1).string(), 2);
    engine->RemoveAllJobs();
    engine->AddPrintJob(twice);
    std::atomic<int> removedAfterFirstCopy{-1};
    m_host.onPost = [&](const RecordingHost::Post& post) {
        if (post.state == JOB_OUTPUT_END && post.copy == 1) removedAfterFirstCopy = engine->RemoveEndedJobs();
    };
    engine->Start();
    ASSERT_TRUE(m_host.WaitFor([&] { return engine->IsIdle(); }));
    engine->Stop();
    m_host.onPost = nullptr;
    EXPECT_EQ(removedAfterFirstCopy, 0);
    EXPECT_EQ(CallsOf(m_lib->Calls(), "EndRipData").size(), 2u);
    EXPECT_EQ(engine->RemoveEndedJobs(), 1);
}

TEST_F(BrevantaPrinterTest, SettingDialogIsCalledThroughItsOwnLibrary) {
    auto engine = Engine();
    engine->SetPrinterSettingDll(kRecordingLib);
    int parent = 0;
    EXPECT_EQ(engine->ShowSettingDialog(&parent), 7);
    EXPECT_EQ(m_lib->Entries(), (std::vector<std::string>{"SettingDialog"}));
    engine->SetPrinterSettingDll(m_dir / "NoSettings.so");
    EXPECT_EQ(engine->ShowSettingDialog(&parent), 0);
    engine->SetPrinterSettingDll(kNoEndPrintLib);  // loads, but has no SettingDialog
    EXPECT_EQ(engine->ShowSettingDialog(&parent), 0);
}
