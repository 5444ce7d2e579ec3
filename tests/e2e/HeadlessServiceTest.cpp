#include <gtest/gtest.h>

#include <random>

#include "../core/JobFiles.h"
#include "ServiceProcess.h"

using namespace std::chrono_literals;
using e2e::Client;
using e2e::ServiceProcess;

namespace {

// A network job: header and `height` lines of byteperline × planes bytes.
std::string NetworkJob(uint32_t byteperline, uint32_t height, uint32_t planes, uint32_t signature = 7) {
    RipHead head = testsupport::TestHead(byteperline, height, byteperline * 4, signature);
    head.color = planes;
    return testsupport::JobBytes(head, planes);
}

std::string Data(const ServiceProcess& s, int session) { return testsupport::ReadFile(s.Session(session) / "data.bin"); }
std::string Calls(const ServiceProcess& s, int session) { return testsupport::ReadFile(s.Session(session) / "calls.log"); }

}  // namespace

TEST(HeadlessServiceTest, PrintsJobFilesAndExitsWhenIdle) {
    ServiceProcess s;
    auto job = s.Dir() / "a.prn";
    testsupport::WriteJob(job, testsupport::TestHead(100, 5, 400), 2);
    ASSERT_TRUE(s.Start({"--exit-when-idle", "--y-copies", "2", job.string()}, false));
    EXPECT_EQ(s.WaitExit(), 0) << s.Stderr();
    EXPECT_EQ(s.SessionCount(), 2);
    EXPECT_EQ(s.SessionEnd(2), "EndRipData");
    // Default layout: one X copy, no spacing, so each 100-byte row is sent as its first 92 bytes.
    EXPECT_EQ(Data(s, 1).size(), 5u * 2 * 92);
    EXPECT_NE(s.Stdout().find("输出结束"), std::string::npos) << s.Stdout();
}

TEST(HeadlessServiceTest, ExitStatusTellsWhetherEveryJobPrinted) {
    ServiceProcess s;
    auto good = s.Dir() / "good.prn";
    testsupport::WriteJob(good, testsupport::TestHead(100, 2, 400), 1);
    ASSERT_TRUE(s.Start({"--exit-when-idle", good.string(), (s.Dir() / "missing.prn").string()}, false));
    EXPECT_EQ(s.WaitExit(), 1);
    EXPECT_NE(s.Stderr().find("missing.prn"), std::string::npos);
    EXPECT_EQ(s.SessionCount(), 1);
}

TEST(HeadlessServiceTest, StartUpErrorsAreClearAndNonZero) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string ini;
        const char* says;
    } cases[] = {
        {"bad option", {"--x-copies", "0"}, "", "--x-copies"},
        {"unknown option", {"--colour"}, "", "unknown option"},
        {"no printer library", {}, "[setting]\nPrinterDll=NoSuchPrinter\n", "NoSuchPrinter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceProcess s;
        if (!c.ini.empty()) testsupport::WriteFile(s.Dir() / "Tessarin.ini", c.ini);
        std::vector<std::string> args = {e2e::kTessarin.string(), "--headless", "--home", s.Dir().string(), "--port", "0"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ASSERT_TRUE(s.Spawn(args));
        EXPECT_EQ(s.WaitExit(), 2);
        EXPECT_NE(s.Stderr().find(c.says), std::string::npos) << s.Stderr();
    }
}

TEST(HeadlessServiceTest, APortInUseIsAClearError) {
    ServiceProcess first;
    ASSERT_TRUE(first.Start());
    ServiceProcess second;
    testsupport::WriteFile(second.Dir() / "Tessarin.ini", "[setting]\nPrinterDll=VirtualPrinter\n");
    ASSERT_TRUE(second.Spawn({e2e::kTessarin.string(), "--headless", "--home", second.Dir().string(), "--port",
                              std::to_string(first.Port())}));
    EXPECT_EQ(second.WaitExit(), 2);
    EXPECT_FALSE(second.Stderr().empty());
}

TEST(HeadlessServiceTest, NetworkJobsArriveWhateverTheSegments) {
    ServiceProcess s;
    ASSERT_TRUE(s.Start());
    std::string job = NetworkJob(100, 2, 4);
    {
        Client c(s.Port());
        ASSERT_TRUE(c.SendSplit(job, {10, 38, 150, 1, 249}));  // header 10 + 38, lines cut anywhere
        EXPECT_TRUE(c.WaitClosedByServer());
    }
    ASSERT_TRUE(s.WaitSessionEnded(1));
    EXPECT_EQ(s.SessionEnd(1), "EndRipData");
    EXPECT_EQ(Data(s, 1), job.substr(48));
    EXPECT_NE(Calls(s, 1).find("WriteRipData(400) = 400 x 2"), std::string::npos) << Calls(s, 1);
    std::string header = testsupport::ReadFile(s.Session(1) / "header.bin");
    RipHead sent = RipHead::FromBytes(std::span<const uint8_t, 48>(reinterpret_cast<const uint8_t*>(header.data()), 48));
    EXPECT_EQ(sent.reserved, testsupport::TestHead(1, 1, 1).reserved);
    EXPECT_EQ(sent.fpaperwidth, 0u);
}

TEST(HeadlessServiceTest, ClientsAreServedOneAfterTheOther) {
    ServiceProcess s;
    s.SetPrinterIni("[VirtualPrinter]\nLinesPerSecond=50\n");
    ASSERT_TRUE(s.Start());
    std::string a = NetworkJob(64, 10, 1, 1), b = NetworkJob(64, 10, 1, 2);
    Client first(s.Port()), second(s.Port());
    ASSERT_TRUE(first.Send(a));
    ASSERT_TRUE(second.Send(b));  // waits in the backlog while the first prints
    EXPECT_TRUE(first.WaitClosedByServer());
    EXPECT_TRUE(second.WaitClosedByServer());
    ASSERT_TRUE(s.WaitSessionEnded(2));
    EXPECT_EQ(Data(s, 1), a.substr(48));
    EXPECT_EQ(Data(s, 2), b.substr(48));
}

TEST(HeadlessServiceTest, BrokenClientsEndOnlyTheirOwnJob) {
    ServiceProcess s;
    s.AddIni("ReceiveTimeoutMs=300\n");
    ASSERT_TRUE(s.Start());
    std::string job = NetworkJob(100, 4, 2);
    {
        Client shortHeader(s.Port());
        ASSERT_TRUE(shortHeader.Send(job.substr(0, 20)));
    }
    {
        Client truncated(s.Port());
        ASSERT_TRUE(truncated.Send(job.substr(0, 48 + 450)));
    }
    ASSERT_TRUE(s.WaitSessionEnded(1));
    EXPECT_EQ(s.SessionEnd(1), "AbortPrint");
    {
        Client stalled(s.Port());
        ASSERT_TRUE(stalled.Send(job.substr(0, 48 + 100)));
        EXPECT_TRUE(stalled.WaitClosedByServer(5s));  // the time-out gives the job up
    }
    ASSERT_TRUE(s.WaitSessionEnded(2));
    EXPECT_EQ(s.SessionEnd(2), "AbortPrint");
    {
        Client good(s.Port());
        ASSERT_TRUE(good.Send(job));
        EXPECT_TRUE(good.WaitClosedByServer());
    }
    ASSERT_TRUE(s.WaitSessionEnded(3));
    EXPECT_EQ(s.SessionEnd(3), "EndRipData");
    EXPECT_EQ(s.SessionCount(), 3) << "the 20-byte client made no job";
    EXPECT_TRUE(s.Alive());
}

TEST(HeadlessServiceTest, RefusedHeadersAndRandomBytesNeverReachThePrinter) {
    ServiceProcess s;
    s.AddIni("ReceiveTimeoutMs=200\n");
    ASSERT_TRUE(s.Start());
    struct Case {
        uint32_t byteperline, width, color;
    } refused[] = {{100, 0, 4}, {0, 400, 4}, {100, 400, 0x100}, {0x2000000, 8, 9}};
    for (const Case& c : refused) {
        RipHead head = testsupport::TestHead(c.byteperline, 1000000, c.width);
        head.color = c.color;
        auto bytes = head.ToBytes();
        Client client(s.Port());
        ASSERT_TRUE(client.Send(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
        EXPECT_TRUE(client.WaitClosedByServer());
    }
    std::mt19937 random(20261209);
    for (int i = 0; i < 40; ++i) {
        std::string noise(random() % 200, '\0');
        for (char& ch : noise) ch = static_cast<char>(random());
        Client client(s.Port());
        client.Send(noise);
    }
    ASSERT_TRUE(s.Alive());
    std::string job = NetworkJob(16, 3, 1);
    int before = s.SessionCount();
    {
        Client good(s.Port());
        ASSERT_TRUE(good.Send(job));
        EXPECT_TRUE(good.WaitClosedByServer());
    }
    ASSERT_TRUE(s.WaitSessionEnded(before + 1));
    EXPECT_EQ(Data(s, before + 1), job.substr(48));
    for (int n = 1; n <= before; ++n) EXPECT_NE(s.SessionEnd(n), "EndRipData") << "noise printed as a job";
}

TEST(HeadlessServiceTest, ANetworkJobWaitsForTheQueueJobPrinting) {
    ServiceProcess s;
    s.SetPrinterIni("[VirtualPrinter]\nLinesPerSecond=40\n");
    auto file = s.Dir() / "a.prn";
    testsupport::WriteJob(file, testsupport::TestHead(100, 20, 400, 1), 1);
    ASSERT_TRUE(s.Start({file.string()}));
    for (auto deadline = std::chrono::steady_clock::now() + 10s; s.SessionCount() < 1 && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    std::string job = NetworkJob(100, 2, 1, 2);
    Client c(s.Port());
    ASSERT_TRUE(c.Send(job));
    EXPECT_TRUE(c.WaitClosedByServer());
    ASSERT_TRUE(s.WaitSessionEnded(2));
    EXPECT_EQ(s.SessionEnd(1), "EndRipData");
    EXPECT_EQ(Data(s, 2), job.substr(48));
    EXPECT_EQ(Calls(s, 1).find("abandoned"), std::string::npos);
}

TEST(HeadlessServiceTest, HotFolderFilesPrintAndMove) {
    ServiceProcess s;
    testsupport::WriteJob(s.Hot() / "b.prt", testsupport::TestHead(100, 2, 400, 2), 1);
    testsupport::WriteJob(s.Hot() / "a.PRN", testsupport::TestHead(100, 2, 400, 1), 1);
    ASSERT_TRUE(s.Start());
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         !std::filesystem::exists(s.Hot() / "Finished" / "b.prt") && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(s.WaitSessionEnded(2));
    std::string first = testsupport::ReadFile(s.Session(1) / "header.bin");
    EXPECT_EQ(first[0], 1) << "a.PRN before b.prt";
    EXPECT_TRUE(std::filesystem::exists(s.Hot() / "Finished" / "a.PRN"));
}

TEST(HeadlessServiceTest, TerminationCancelsThePrintingJobPromptly) {
    ServiceProcess s;
    s.SetPrinterIni("[VirtualPrinter]\nLinesPerSecond=20\n");
    auto file = s.Dir() / "a.prn";
    testsupport::WriteJob(file, testsupport::TestHead(100, 200, 400), 1);
    ASSERT_TRUE(s.Start({file.string()}));
    for (auto deadline = std::chrono::steady_clock::now() + 10s; s.SessionCount() < 1 && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(200ms);
    auto before = std::chrono::steady_clock::now();
    s.Signal(SIGTERM);
    auto status = s.WaitExit(5s);
    ASSERT_TRUE(status.has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
    EXPECT_EQ(*status, 1);
    ASSERT_TRUE(s.WaitSessionEnded(1, 1s));
    EXPECT_EQ(s.SessionEnd(1), "AbortPrint");
}

TEST(HeadlessServiceTest, AThirdPartyClientCanSendAJob) {
    if (std::system("command -v nc >/dev/null 2>&1") != 0) GTEST_SKIP() << "nc is not installed";
    ServiceProcess s;
    ASSERT_TRUE(s.Start());
    std::string job = NetworkJob(200, 30, 4);
    testsupport::WriteFile(s.Dir() / "net.prn", job);
    std::string command = "nc -N 127.0.0.1 " + std::to_string(s.Port()) + " < " + (s.Dir() / "net.prn").string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(s.WaitSessionEnded(1));
    EXPECT_EQ(Data(s, 1), job.substr(48));
}
