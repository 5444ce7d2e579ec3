// Faults around the headless service: a printer library whose entries fail, a slow printer, clients that
// misbehave, hot-folder files that are not what they seem, configuration files that are broken. Whatever
// happens, the service goes on (a following good job prints), the operator is told on standard error, no
// job file is lost, and no descriptor or thread is left behind.

#include <gtest/gtest.h>
#include <netinet/tcp.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>

#include "../core/JobFiles.h"
#include "ServiceProcess.h"

using namespace std::chrono_literals;
using e2e::Client;
using e2e::ServiceProcess;
namespace fs = std::filesystem;

namespace {

std::string NetworkJob(uint32_t byteperline, uint32_t height, uint32_t planes, uint32_t signature = 7) {
    RipHead head = testsupport::TestHead(byteperline, height, byteperline * 4, signature);
    head.color = planes;
    return testsupport::JobBytes(head, planes);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    for (auto deadline = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < deadline;) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

size_t CountEntries(const fs::path& folder) {
    std::error_code ec;
    size_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++n;
    return n;
}

// Open descriptors and threads of the service.
struct Usage {
    size_t fds = 0;
    size_t threads = 0;
    bool operator==(const Usage&) const = default;
};

Usage UsageOf(pid_t pid) {
    const fs::path proc = "/proc/" + std::to_string(pid);
    return {CountEntries(proc / "fd"), CountEntries(proc / "task")};
}

std::ostream& operator<<(std::ostream& out, const Usage& u) {
    return out << u.fds << " descriptors, " << u.threads << " threads";
}

int SessionLines(const ServiceProcess& s, int session) {
    return CIniReader(s.Session(session) / "summary.ini").ReadInt("Session", "Lines", -1);
}

// Messages for the operator: every one starts with the program's name.
size_t MessageCount(const ServiceProcess& s) {
    const std::string err = s.Stderr();
    size_t n = 0;
    for (size_t at = err.find("Tessarin: "); at != std::string::npos; at = err.find("Tessarin: ", at + 1)) ++n;
    return n;
}

// A service with the hot folder and a short receive time-out, and what it used once it had printed a job.
class FaultTest : public ::testing::Test {
protected:
    void StartService(const std::string& extraIni = {}) {
        m_s.AddIni("ReceiveTimeoutMs=400\n" + extraIni);
        ASSERT_TRUE(m_s.Start()) << m_s.Stderr();
        ExpectGoodJobPrints();
        // After one job: the server's library binding is made, the engine's released.
        m_baseline = UsageOf(m_s.Pid());
        ASSERT_GT(m_baseline.threads, 0u);
    }

    // A network job after the fault prints whole.
    void ExpectGoodJobPrints() {
        const int before = m_s.SessionCount();
        const std::string job = NetworkJob(64, 3, 2, 0x600D);
        {
            Client good(m_s.Port());
            ASSERT_TRUE(good.Send(job));
            EXPECT_TRUE(good.WaitClosedByServer());
        }
        ASSERT_TRUE(m_s.WaitSessionEnded(before + 1)) << m_s.Stderr();
        EXPECT_EQ(m_s.SessionEnd(before + 1), "EndRipData");
        EXPECT_EQ(testsupport::ReadFile(m_s.Session(before + 1) / "data.bin"), job.substr(48));
        EXPECT_TRUE(m_s.Alive());
    }

    void ExpectNothingLeaked() {
        Usage now;
        EXPECT_TRUE(WaitUntil([&] { return (now = UsageOf(m_s.Pid())) == m_baseline; }, 15s))
            << "now " << now << ", at the start " << m_baseline;
    }

    bool WaitMoved(const std::string& name) {
        return WaitUntil([&] { return !fs::exists(m_s.Hot() / name) && fs::exists(m_s.Hot() / "Finished" / name); });
    }

    ServiceProcess m_s;
    Usage m_baseline;
};

enum class Route { Network, NetworkCut, HotFolder };

// A job sent the given way; returns when the service is done with it.
void SendJob(ServiceProcess& s, Route route, const std::string& name) {
    const std::string job = NetworkJob(100, 5, 2);
    switch (route) {
        case Route::Network: {
            Client c(s.Port());
            ASSERT_TRUE(c.Send(job));
            ASSERT_TRUE(c.WaitClosedByServer());
            return;
        }
        case Route::NetworkCut: {
            Client c(s.Port());
            ASSERT_TRUE(c.Send(job.substr(0, 48 + 300)));  // a line and a half, then the end
            c.ShutdownWrite();
            ASSERT_TRUE(c.WaitClosedByServer());
            return;
        }
        case Route::HotFolder:
            testsupport::WriteFile(s.Hot() / name, job);
            ASSERT_TRUE(WaitUntil([&] { return fs::exists(s.Hot() / "Finished" / name); })) << s.Stderr();
            return;
    }
}

}  // namespace

TEST_F(FaultTest, AFailingLibraryEntryEndsOnlyItsJob) {
    struct Case {
        const char* entry;
        int atCall;
        int result;
        Route route;
        bool told;  // the job was lost, so the operator must hear of it
    } cases[] = {
        {"InitPrinter", 1, 0, Route::Network, true},
        {"InitPrinter", 1, -1, Route::HotFolder, true},
        {"StartPrint", 1, 0, Route::Network, true},
        {"StartPrint", 1, 0, Route::HotFolder, true},
        {"WriteRipData", 1, -1, Route::Network, true},
        {"WriteRipData", 3, -1, Route::Network, true},
        {"WriteRipData", 1, 0, Route::HotFolder, true},
        {"WriteRipData", 3, -1, Route::HotFolder, true},
        {"WriteRipData", 3, 0, Route::HotFolder, true},
        {"EndRipData", 1, 0, Route::Network, false},
        {"EndRipData", 1, -1, Route::HotFolder, false},
        {"AbortPrint", 1, 0, Route::NetworkCut, true},
        // Entries a headless job does not call: failing, they change nothing.
        {"PausePrint", 1, 0, Route::Network, false},
        {"ResumePrint", 1, 0, Route::Network, false},
        {"SkipLines", 1, 0, Route::HotFolder, false},
        {"EndPrint", 1, 0, Route::HotFolder, false},
        {"ChangeFeedingData", 1, 0, Route::Network, false},
        {"ChangeBidData", 1, 0, Route::Network, false},
        {"GetCurrentPass", 1, -1, Route::Network, false},
        {"GetCurrentInkmode", 1, -1, Route::Network, false},
    };
    StartService();
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " call " + std::to_string(c.atCall) + " route " +
                     std::to_string(static_cast<int>(c.route)));
        const int session = m_s.SessionCount() + 1;
        m_s.SetPrinterIni("[VirtualPrinter]\nFailEntry=" + std::string(c.entry) + "\nFailAtCall=" +
                          std::to_string(c.atCall) + "\nFailResult=" + std::to_string(c.result) +
                          "\nFailSession=" + std::to_string(session) + "\n");
        const size_t told = MessageCount(m_s);
        const std::string name = "job " + std::to_string(++number) + ".prn";
        SendJob(m_s, c.route, name);
        EXPECT_EQ(m_s.SessionCount(), session) << "the job was tried once";
        if (c.told) {
            EXPECT_TRUE(WaitUntil([&] { return MessageCount(m_s) > told; }, 10s)) << m_s.Stderr();
        }
        if (c.route == Route::HotFolder) {
            EXPECT_TRUE(WaitMoved(name)) << "the file was tried, then kept";
        }
        ExpectGoodJobPrints();
        ExpectNothingLeaked();
    }
    EXPECT_EQ(m_s.SessionCount(), 1 + 2 * static_cast<int>(std::size(cases)));
}

TEST_F(FaultTest, ASlowPrinterDelaysButLosesNothing) {
    // The printer answers InitPrinter after 600 ms and prints 40 line sets a second, longer than the
    // receive time-out: the clients that wait their turn meanwhile must not be given up.
    m_s.SetPrinterIni("[VirtualPrinter]\nHoldInitMs=600\nLinesPerSecond=40\n");
    StartService();
    // Told apart by their lengths: the data pattern does not depend on the signature.
    const std::string a = NetworkJob(64, 20, 1, 1), b = NetworkJob(64, 21, 1, 2);
    testsupport::WriteJob(m_s.Hot() / "slow.prn", testsupport::TestHead(64, 20, 256, 3), 1);
    {
        Client first(m_s.Port()), second(m_s.Port());
        ASSERT_TRUE(first.Send(a));
        ASSERT_TRUE(second.Send(b));
        EXPECT_TRUE(first.WaitClosedByServer(20s));
        EXPECT_TRUE(second.WaitClosedByServer(20s));
    }
    ASSERT_TRUE(WaitMoved("slow.prn"));
    ASSERT_TRUE(m_s.WaitSessionEnded(4, 20s));
    std::multiset<std::string> data;
    for (int n = 2; n <= 4; ++n) {
        EXPECT_EQ(m_s.SessionEnd(n), "EndRipData") << n;
        data.insert(testsupport::ReadFile(m_s.Session(n) / "data.bin"));
    }
    EXPECT_EQ(data.count(a.substr(48)), 1u);
    EXPECT_EQ(data.count(b.substr(48)), 1u);
    m_s.SetPrinterIni("[VirtualPrinter]\n");
    ExpectGoodJobPrints();
    ExpectNothingLeaked();
}

TEST_F(FaultTest, HostileClientsEndOnlyTheirOwnConnection) {
    using Action = std::function<void(ServiceProcess&, const std::string& job)>;
    const auto reset = [](Client& c) {
        linger abort{1, 0};  // close sends a reset instead of a FIN
        ::setsockopt(c.Fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        c.Close();
    };
    struct Case {
        const char* name;
        Action act;
        bool told;
    } cases[] = {
        {"reset inside the header",
         [&](ServiceProcess& s, const std::string& job) {
             Client c(s.Port());
             c.Send(job.substr(0, 30));
             std::this_thread::sleep_for(50ms);
             reset(c);
         },
         false},
        {"reset inside a line",
         [&](ServiceProcess& s, const std::string& job) {
             Client c(s.Port());
             c.Send(job.substr(0, 48 + 250));
             std::this_thread::sleep_for(100ms);
             reset(c);
         },
         true},
        {"stall inside the header",
         [](ServiceProcess& s, const std::string& job) {
             Client c(s.Port());
             c.Send(job.substr(0, 47));
             EXPECT_TRUE(c.WaitClosedByServer(15s));
         },
         false},
        {"connect and send nothing",
         [](ServiceProcess& s, const std::string&) {
             Client c(s.Port());
             EXPECT_TRUE(c.WaitClosedByServer(15s));
         },
         false},
        {"stall after the header, then close",
         [](ServiceProcess& s, const std::string& job) {
             Client c(s.Port());
             c.Send(job.substr(0, 48));
             EXPECT_TRUE(c.WaitClosedByServer(15s));
         },
         true},
        {"a crowd that connects and sends nothing",
         [](ServiceProcess& s, const std::string&) {
             std::vector<std::unique_ptr<Client>> crowd;
             for (int i = 0; i < 10; ++i) crowd.push_back(std::make_unique<Client>(s.Port()));
             std::this_thread::sleep_for(200ms);
         },
         false},
    };
    StartService();
    const std::string job = NetworkJob(100, 5, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int sessions = m_s.SessionCount();
        const size_t told = MessageCount(m_s);
        c.act(m_s, job);
        if (c.told) {
            EXPECT_TRUE(WaitUntil([&] { return MessageCount(m_s) > told; }, 10s)) << m_s.Stderr();
            ASSERT_TRUE(m_s.WaitSessionEnded(sessions + 1));
            EXPECT_EQ(m_s.SessionEnd(sessions + 1), "AbortPrint");
        }
        ExpectGoodJobPrints();
        ExpectNothingLeaked();
    }
}

TEST_F(FaultTest, HotFolderFilesThatAreNotWhatTheySeem) {
    StartService();
    const RipHead head = testsupport::TestHead(64, 4, 256, 5);
    const std::string bytes = testsupport::JobBytes(head, 2);

    // Still being written: held open across several settle times, then completed.
    {
        const fs::path path = m_s.Hot() / "growing.prn";
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), 100);
        out.flush();
        std::this_thread::sleep_for(700ms);
        EXPECT_FALSE(fs::exists(m_s.Hot() / "Finished" / "growing.prn")) << "taken while still written";
        out.write(bytes.data() + 100, static_cast<std::streamsize>(bytes.size() - 100));
    }
    ASSERT_TRUE(WaitMoved("growing.prn"));
    ASSERT_TRUE(m_s.WaitSessionEnded(m_s.SessionCount()));
    EXPECT_EQ(m_s.SessionEnd(m_s.SessionCount()), "EndRipData");
    EXPECT_EQ(SessionLines(m_s, m_s.SessionCount()), 4) << "printed whole, not as far as it was written";

    // Empty for ever, and unreadable: reported, left in place, never printed.
    const size_t told = MessageCount(m_s);
    const int sessions = m_s.SessionCount();
    testsupport::WriteFile(m_s.Hot() / "empty.prn", "");
    const bool asRoot = ::geteuid() == 0;  // root reads any file: no unreadable file to make
    if (!asRoot) {
        testsupport::WriteFile(m_s.Hot() / "locked.prn", bytes);
        fs::permissions(m_s.Hot() / "locked.prn", fs::perms::none);
    }
    EXPECT_TRUE(WaitUntil([&] { return MessageCount(m_s) >= told + (asRoot ? 1 : 2); }, 15s)) << m_s.Stderr();
    EXPECT_NE(m_s.Stderr().find("empty.prn stays empty"), std::string::npos);
    EXPECT_TRUE(fs::exists(m_s.Hot() / "empty.prn"));
    EXPECT_EQ(m_s.SessionCount(), sessions);
    if (!asRoot) {
        EXPECT_TRUE(fs::exists(m_s.Hot() / "locked.prn"));
        fs::permissions(m_s.Hot() / "locked.prn", fs::perms::owner_read | fs::perms::owner_write);
        ASSERT_TRUE(WaitMoved("locked.prn")) << "readable again, it prints";
    }
    // Filled at last, the empty file prints.
    testsupport::WriteFile(m_s.Hot() / "empty.prn", bytes);
    ASSERT_TRUE(WaitMoved("empty.prn"));

    // Names with blanks and letters beyond ASCII keep their names in Finished.
    for (const char* name : {"two words.prn", "Größe ü.PRT", "作业 一.prn"}) {
        SCOPED_TRACE(name);
        testsupport::WriteFile(m_s.Hot() / name, bytes);
        ASSERT_TRUE(WaitMoved(name)) << m_s.Stderr();
    }
    ExpectGoodJobPrints();
    ExpectNothingLeaked();
}

TEST_F(FaultTest, AHotFolderFileDeletedWhilePrintingEndsCleanly) {
    m_s.SetPrinterIni("[VirtualPrinter]\nLinesPerSecond=50\n");
    StartService();
    const RipHead head = testsupport::TestHead(64, 40, 256, 6);
    testsupport::WriteJob(m_s.Hot() / "doomed.prn", head, 1);
    const int session = m_s.SessionCount() + 1;
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_s.Session(session) / "calls.log"); }));
    fs::remove(m_s.Hot() / "doomed.prn");
    // The open file still reads to its end: the job prints whole, and nothing is left to move.
    ASSERT_TRUE(m_s.WaitSessionEnded(session));
    EXPECT_EQ(m_s.SessionEnd(session), "EndRipData");
    EXPECT_EQ(SessionLines(m_s, session), 40);
    EXPECT_FALSE(fs::exists(m_s.Hot() / "Finished" / "doomed.prn"));
    m_s.SetPrinterIni("[VirtualPrinter]\n");
    ExpectGoodJobPrints();
    ExpectNothingLeaked();
}

TEST_F(FaultTest, AnUnmovableHotFolderFileIsPrintedOnceAndReported) {
    StartService();
    testsupport::WriteFile(m_s.Hot() / "Finished", "a file where the folder should be");
    const size_t told = MessageCount(m_s);
    const int sessions = m_s.SessionCount();
    testsupport::WriteJob(m_s.Hot() / "stuck.prn", testsupport::TestHead(64, 2, 256, 8), 1);
    ASSERT_TRUE(WaitUntil([&] { return MessageCount(m_s) > told; })) << m_s.Stderr();
    EXPECT_NE(m_s.Stderr().find("could not be moved"), std::string::npos);
    std::this_thread::sleep_for(1s);  // several watch cycles
    EXPECT_EQ(m_s.SessionCount(), sessions + 1) << "printed once, not again and again";
    EXPECT_TRUE(fs::exists(m_s.Hot() / "stuck.prn")) << "and still there";
    ExpectGoodJobPrints();
    ExpectNothingLeaked();
}

TEST_F(FaultTest, AThousandHotFolderFilesAtOncePrintEachOnce) {
    StartService("DeleteListSource=1\n");
    m_s.SetPrinterIni("[VirtualPrinter]\nKeepData=0\n");
    constexpr int kFiles = 1000;
    const std::string bytes = testsupport::JobBytes(testsupport::TestHead(16, 1, 64, 9), 1);
    // Written elsewhere and moved in, so that they arrive complete and together.
    const fs::path staging = m_s.Dir() / "staging";
    fs::create_directories(staging);
    for (int i = 0; i < kFiles; ++i) testsupport::WriteFile(staging / ("f" + std::to_string(10000 + i) + ".prn"), bytes);
    const int before = m_s.SessionCount();
    for (const auto& entry : fs::directory_iterator(staging)) fs::rename(entry.path(), m_s.Hot() / entry.path().filename());
    ASSERT_TRUE(WaitUntil([&] { return CountEntries(m_s.Hot()) == 0; }, 90s)) << CountEntries(m_s.Hot()) << " left";
    ASSERT_TRUE(m_s.WaitSessionEnded(before + kFiles));
    EXPECT_EQ(m_s.SessionCount(), before + kFiles) << "each file printed exactly once";
    for (int n = before + 1; n <= before + kFiles; n += 97) EXPECT_EQ(m_s.SessionEnd(n), "EndRipData") << n;
    m_s.SetPrinterIni("[VirtualPrinter]\n");
    ExpectGoodJobPrints();
    ExpectNothingLeaked();
}

TEST_F(FaultTest, BrokenConfigurationFilesNeverStopPrinting) {
    std::mt19937 random(20261210);
    std::string binary(4096, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    const std::string huge = std::string(8 << 20, ';') + "\n";
    const std::string settings = "[setting]\nPrinterDll=VirtualPrinter\nHotFolder=hot\n";
    struct Case {
        const char* name;
        const char* file;
        std::optional<std::string> text;  // nothing: the file is missing
        bool starts;  // Tessarin.ini names the printer library; without it the service must refuse to start
    } cases[] = {
        {"Tessarin.ini missing", "Tessarin.ini", std::nullopt, false},
        {"Tessarin.ini empty", "Tessarin.ini", "", false},
        {"Tessarin.ini binary", "Tessarin.ini", binary, false},
        {"Tessarin.ini huge, settings after the bulk", "Tessarin.ini", huge + settings, true},
        {"Tessarin.ini settings, then binary", "Tessarin.ini", settings + binary, true},
        {"vkconfig.ini empty", "Config/vkconfig.ini", "", true},
        {"language files missing", "Language/english.ini", std::nullopt, true},
        {"vkconfig.ini binary", "Config/vkconfig.ini", binary, true},
        {"Language.ini binary", "Language/Language.ini", binary, true},
        {"language file empty", "Language/english.ini", "", true},
        {"language file binary", "Language/english.ini", binary, true},
        {"language file huge", "Language/english.ini", "[MENU]\n" + huge + "IDS_X=y\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceProcess s;
        const fs::path job = s.Dir() / "a.prn";
        testsupport::WriteJob(job, testsupport::TestHead(64, 2, 256), 1);
        if (std::string_view(c.file) != "Tessarin.ini") {
            testsupport::WriteFile(s.Dir() / "Tessarin.ini", settings);
            if (c.text) testsupport::WriteFile(s.Dir() / "Language/Language.ini", "[LAN]\nLanguage=english\n");
        }
        if (c.text) testsupport::WriteFile(s.Dir() / c.file, *c.text);
        ASSERT_TRUE(s.Spawn({e2e::kTessarin.string(), "--headless", "--home", s.Dir().string(), "--port", "0",
                             "--exit-when-idle", job.string()}));
        const auto status = s.WaitExit();
        ASSERT_TRUE(status.has_value());
        if (!c.starts) {
            EXPECT_EQ(*status, 2);
            EXPECT_NE(s.Stderr().find("PrinterDll"), std::string::npos) << s.Stderr();
            continue;
        }
        EXPECT_EQ(*status, 0) << s.Stderr();
        EXPECT_EQ(s.SessionEnd(1), "EndRipData");
    }
}

TEST_F(FaultTest, ConfigurationBrokenWhileRunningIsReadAgainHarmlessly) {
    StartService();
    std::mt19937 random(7);
    std::string binary(2048, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    testsupport::WriteFile(m_s.Dir() / "Tessarin.ini", binary);
    testsupport::WriteFile(m_s.Dir() / "Language" / "Language.ini", binary);
    testsupport::WriteJob(m_s.Hot() / "late.prn", testsupport::TestHead(64, 2, 256), 1);
    ASSERT_TRUE(WaitMoved("late.prn")) << "DeleteListSource unreadable: the file is kept in Finished";
    ExpectGoodJobPrints();
    ExpectNothingLeaked();
}
