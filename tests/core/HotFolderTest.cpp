#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "JobFiles.h"
#include "RecordingHost.h"
#include "RecordingPrinter.h"
#include "engine/BrevantaPrinter.h"
#include "platform/File.h"
#include "platform/ProgramDirectory.h"
#include "shell/IniWriter.h"

using namespace std::chrono_literals;
using testsupport::RecordingHost;

namespace {

const std::filesystem::path kRecordingLib = TESSARIN_TEST_LIBS_DIR "/RecordingPrinter.so";

class HotFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramDirectory(m_dir.Path());
        m_libHandle = ::dlopen(kRecordingLib.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_libHandle, nullptr);
        m_lib = reinterpret_cast<PFN_RecordingPrinter_State>(::dlsym(m_libHandle, "RecordingPrinter_State"))();
        m_lib->Reset();
        std::filesystem::create_directories(m_hot);
    }
    void TearDown() override {
        m_engine.reset();
        m_lib->Reset();
        ::dlclose(m_libHandle);
        platform::SetProgramDirectory({});
    }

    void StartEngine() {
        m_engine = std::make_unique<CBrevantaPrinter>(kRecordingLib, m_host, m_hot);
        m_engine->SetHotFolderTimes(200ms, 400ms);
        m_engine->Start();
    }
    std::string DropJob(const std::string& name, uint32_t signature, uint32_t height = 3) {
        std::string bytes = testsupport::JobBytes(testsupport::TestHead(100, height, 400, signature), 1);
        testsupport::WriteFile(m_hot / name, bytes);
        return bytes;
    }
    std::vector<uint32_t> StartedSignatures() {
        std::vector<uint32_t> out;
        for (const auto& c : m_lib->Calls())
            if (c.entry == "StartPrint")
                out.push_back(RipHead::FromBytes(std::span<const uint8_t, 48>(c.data.data(), 48)).signature);
        return out;
    }
    long Started() { return static_cast<long>(StartedSignatures().size()); }
    bool WaitForStarted(long n) { return m_host.WaitFor([&] { return Started() >= n; }); }
    bool WaitForFinished(const std::string& name) {
        return m_host.WaitFor([&] { return std::filesystem::exists(m_hot / "Finished" / name); });
    }

    testsupport::TempDir m_dir;
    std::filesystem::path m_hot = m_dir / "hot";
    RecordingHost m_host;
    void* m_libHandle = nullptr;
    RecordingState* m_lib = nullptr;
    std::unique_ptr<CBrevantaPrinter> m_engine;
};

}  // namespace

TEST_F(HotFolderTest, FilesPresentAtStartPrintInNameOrderAndMoveToFinished) {
    DropJob("b.prt", 2);
    DropJob("a.PRN", 1);
    DropJob("notes.txt", 9);
    std::filesystem::create_directories(m_hot / "c.prn");  // a folder, not a job
    StartEngine();
    ASSERT_TRUE(WaitForFinished("b.prt"));
    EXPECT_EQ(StartedSignatures(), (std::vector<uint32_t>{1, 2}));
    EXPECT_TRUE(std::filesystem::exists(m_hot / "Finished" / "a.PRN"));
    EXPECT_FALSE(std::filesystem::exists(m_hot / "a.PRN"));
    EXPECT_TRUE(std::filesystem::exists(m_hot / "notes.txt"));
    auto added = m_host.Added();
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0]->GetName(), (m_hot / "a.PRN").string());
    EXPECT_EQ(added[0]->GetStatus(), JOB_OUTPUT_END);
    EXPECT_FALSE(m_host.Folders().empty());
}

TEST_F(HotFolderTest, FileArrivingLaterIsPickedUpAndReplacesTheFinishedOne) {
    testsupport::WriteFile(m_hot / "Finished" / "a.prn", "old");
    StartEngine();
    std::this_thread::sleep_for(100ms);  // the worker is now waiting on the folder
    std::string bytes = DropJob("a.prn", 5);
    ASSERT_TRUE(WaitForStarted(1));
    ASSERT_TRUE(m_host.WaitFor([&] { return testsupport::ReadFile(m_hot / "Finished" / "a.prn") == bytes; }));
    EXPECT_EQ(Started(), 1);
}

TEST_F(HotFolderTest, DeleteListSourceDeletesThePrintedFile) {
    CIniWriter(m_dir / "Tessarin.ini").WriteInt("setting", "DeleteListSource", 1);
    DropJob("a.prn", 1);
    StartEngine();
    ASSERT_TRUE(m_host.WaitFor([&] { return Started() == 1 && !std::filesystem::exists(m_hot / "a.prn"); }));
    EXPECT_FALSE(std::filesystem::exists(m_hot / "Finished"));
}

TEST_F(HotFolderTest, AFileThatCannotBeMovedPrintsOnceAndIsReported) {
    testsupport::WriteFile(m_hot / "Finished", "a file where the folder should be");
    DropJob("a.prn", 1);
    StartEngine();
    ASSERT_TRUE(m_host.WaitFor([&] { return !m_host.Messages().empty(); }));
    std::this_thread::sleep_for(700ms);  // several more cycles
    EXPECT_EQ(Started(), 1);
    EXPECT_TRUE(std::filesystem::exists(m_hot / "a.prn"));
    EXPECT_NE(m_host.Messages()[0].find("a.prn"), std::string::npos);
    // A new file under the same name is a new job.
    std::filesystem::remove(m_hot / "a.prn");
    DropJob("a.prn", 2, 4);
    ASSERT_TRUE(WaitForStarted(2));
}

TEST_F(HotFolderTest, AFileWrittenSlowlyPrintsOnceAndWhole) {
    std::string bytes = testsupport::JobBytes(testsupport::TestHead(100, 40, 400, 7), 1);
    StartEngine();
    {
        platform::File out(::open((m_hot / "slow.prn").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        for (size_t done = 0; done < bytes.size(); done += 500) {
            size_t n = std::min<size_t>(500, bytes.size() - done);
            ASSERT_EQ(::write(out.Fd(), bytes.data() + done, n), static_cast<ssize_t>(n));
            std::this_thread::sleep_for(20ms);
        }
    }
    ASSERT_TRUE(WaitForFinished("slow.prn"));
    EXPECT_EQ(Started(), 1);
    long writes = 0;
    for (const auto& c : m_lib->Calls()) writes += c.entry == "WriteRipData";
    EXPECT_EQ(writes, 40);
    EXPECT_TRUE(m_host.Messages().empty());
}

TEST_F(HotFolderTest, AnEmptyFileIsReportedOnceAndTakenWhenItChanges) {
    testsupport::WriteFile(m_hot / "empty.prn", "");
    StartEngine();
    ASSERT_TRUE(m_host.WaitFor([&] { return !m_host.Messages().empty(); }));
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(m_host.Messages().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(m_hot / "empty.prn"));
    EXPECT_EQ(Started(), 0);
    DropJob("empty.prn", 3);
    ASSERT_TRUE(WaitForFinished("empty.prn"));
    EXPECT_EQ(Started(), 1);
}

TEST_F(HotFolderTest, CopiesUseOneXCopyAndNoSpacing) {
    m_host.yCopies = 2;
    m_host.xCopies = 3;
    m_host.xSpacing = 20;
    m_host.ySpacing = 4;
    DropJob("a.prn", 1);
    StartEngine();
    ASSERT_TRUE(WaitForFinished("a.prn"));
    auto calls = m_lib->Calls();
    std::vector<uint32_t> widths;
    long writes = 0;
    for (const auto& c : calls) {
        if (c.entry == "StartPrint")
            widths.push_back(RipHead::FromBytes(std::span<const uint8_t, 48>(c.data.data(), 48)).byteperline);
        writes += c.entry == "WriteRipData";
    }
    EXPECT_EQ(widths, (std::vector<uint32_t>{92, 92}));
    EXPECT_EQ(writes, 6) << "no blank line sets";
}

TEST_F(HotFolderTest, CancelEndsAHotFolderJobAndItsFileStillMoves) {
    m_host.yCopies = 3;
    DropJob("a.prn", 1, 10);
    m_lib->onWrite = [this](int32_t n) {
        if (n == 2)
            for (const auto& job : m_host.Added()) job->Cancel();
    };
    StartEngine();
    ASSERT_TRUE(WaitForFinished("a.prn"));
    auto entries = m_lib->Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "InitPrinter"), 1);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "AbortPrint"), 1);
    EXPECT_EQ(m_host.Added().at(0)->GetStatus(), JOB_OUTPUT_CANCEL);
}

TEST_F(HotFolderTest, JobFileNamesMatchInAnyLetterCase) {
    struct Case {
        const char* name;
        bool job;
    } cases[] = {
        {"a.prn", true}, {"a.PRN", true}, {"a.Prt", true}, {"a b ü.prn", true}, {"a.prn.bmp", false},
        {"a.prnx", false}, {"prn", false}, {".prn", true}, {" ", false}, {"a.txt", false},
    };
    for (const Case& c : cases) EXPECT_EQ(CHotFolderMonitor::IsJobFileName(c.name), c.job) << c.name;
}
