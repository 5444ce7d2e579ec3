#include "net/Server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "RecordingPrinter.h"
#include "platform/DebugOutput.h"
#include "platform/DynamicLibrary.h"
#include "platform/Socket.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kPatience = 10s;
const std::filesystem::path kLibraryPath =
    std::filesystem::path(TESSARIN_TEST_LIBS_DIR) / "RecordingPrinter.so";

struct PostRecord {
    int32_t state;
    int32_t progress;
    int32_t copy;
    bool operator==(const PostRecord&) const = default;
};

void PrintTo(const PostRecord& p, std::ostream* os) {
    *os << "{state " << p.state << ", progress " << p.progress << ", copy " << p.copy << "}";
}

bool IsFinal(int32_t state) {
    return state == JOB_OUTPUT_END || state == JOB_OUTPUT_CANCEL || state == JOB_OUTPUT_FAIL;
}

// The program around the server as the server sees it: every call remembered, a post with what the job
// showed at that moment.
class RecordingHost : public PrintHost {
public:
    struct Record {
        std::vector<PostRecord> posts;
        std::vector<std::shared_ptr<CPrintJob>> jobs;
        std::vector<std::string> adjustments;
        std::vector<RipHead> heads;
        std::vector<std::string> messages;

        std::vector<int32_t> FinalStates() const {
            std::vector<int32_t> states;
            for (const PostRecord& p : posts)
                if (IsFinal(p.state)) states.push_back(p.state);
            return states;
        }
    };

    void PostStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) override {
        Change([&](Record& r) { r.posts.push_back({job->GetStatus(), job->GetProgress(), nCopy}); });
    }
    void AddPrintJob(const std::shared_ptr<CPrintJob>& job) override {
        Change([&](Record& r) { r.jobs.push_back(job); });
    }
    int32_t GetXCopies() override { return 1; }
    int32_t GetXSpacing() override { return 0; }
    int32_t GetYCopies() override { return 1; }
    int32_t GetYSpacing() override { return 0; }
    void BeginAdjustment() override {
        Change([](Record& r) { r.adjustments.push_back("begin"); });
    }
    void EndAdjustment(bool bSave) override {
        Change([&](Record& r) { r.adjustments.push_back(bSave ? "end:save" : "end:discard"); });
    }
    void ShowHead(const RipHead& head) override {
        Change([&](Record& r) { r.heads.push_back(head); });
    }
    void BrowseToFolder(const std::filesystem::path&) override {}
    void ReportMessage(const std::string& message) override {
        Change([&](Record& r) { r.messages.push_back(message); });
    }

    Record Snapshot() const {
        std::lock_guard lock(m_mutex);
        return m_record;
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_record = {};
    }
    bool WaitUntil(const std::function<bool(const Record&)>& done) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] { return done(m_record); });
    }
    // The job's first state change to `state` has been posted.
    bool WaitForPostedState(int32_t state) const {
        return WaitUntil([state](const Record& r) {
            return std::any_of(r.posts.begin(), r.posts.end(),
                               [state](const auto& p) { return p.state == state; });
        });
    }
    std::shared_ptr<CPrintJob> FirstJob() const {
        std::lock_guard lock(m_mutex);
        return m_record.jobs.empty() ? nullptr : m_record.jobs.front();
    }

private:
    template <typename Fn>
    void Change(Fn&& fn) {
        std::lock_guard lock(m_mutex);
        fn(m_record);
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Record m_record;
};

// The trace, kept so that a test can wait for the server to reach a point it shows no other way.
class TraceWatch {
public:
    TraceWatch() {
        m_previous = platform::SetDebugSink([this](std::string_view piece) {
            std::lock_guard lock(m_mutex);
            m_text += piece;
            m_changed.notify_all();
        });
    }
    ~TraceWatch() { platform::SetDebugSink(std::move(m_previous)); }
    TraceWatch(const TraceWatch&) = delete;
    TraceWatch& operator=(const TraceWatch&) = delete;

    bool WaitFor(std::string_view needle, size_t times = 1) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] { return Count(needle) >= times; });
    }
    bool Contains(std::string_view needle) const {
        std::lock_guard lock(m_mutex);
        return Count(needle) > 0;
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_text.clear();
    }

private:
    size_t Count(std::string_view needle) const {
        size_t n = 0;
        for (size_t at = m_text.find(needle); at != std::string::npos; at = m_text.find(needle, at + 1)) ++n;
        return n;
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::string m_text;
    platform::DebugSink m_previous;
};

// Leaves the process no free descriptor until it goes out of scope.
class DescriptorShortage {
public:
    DescriptorShortage() {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (lowestFree < 0) return;
        ::close(lowestFree);
        rlimit lowered = m_saved;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        m_applied = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~DescriptorShortage() {
        if (m_applied) ::setrlimit(RLIMIT_NOFILE, &m_saved);
    }
    DescriptorShortage(const DescriptorShortage&) = delete;
    DescriptorShortage& operator=(const DescriptorShortage&) = delete;

    bool Applied() const { return m_applied; }

private:
    rlimit m_saved{};
    bool m_applied = false;
};

RipHead Head(uint32_t byteperline, uint32_t height, uint32_t color) {
    RipHead h;
    h.signature = 0x4E525054;
    h.xdpi = 720;
    h.ydpi = 1440;
    h.byteperline = byteperline;
    h.height = height;
    h.width = byteperline * 4;
    h.color = color;
    h.bit = 2;
    return h;
}

using Bytes = std::vector<uint8_t>;

Bytes HeadBytes(const RipHead& h) {
    auto a = h.ToBytes();
    return Bytes(a.begin(), a.end());
}

// Bytes that differ from line to line and from job to job, so that a line sent twice or out of place shows.
Bytes Pattern(size_t count, uint8_t seed) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 31 + i / 251);
    return bytes;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
    return Bytes(bytes.begin() + static_cast<ptrdiff_t>(from),
                 bytes.begin() + static_cast<ptrdiff_t>(from + count));
}

Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

void Send(platform::Socket& client, const Bytes& bytes) {
    EXPECT_TRUE(client.SendAll(bytes.data(), bytes.size())) << platform::Socket::ErrorText(errno);
}

// True once the server has closed the connection: in order, or with a reset when it left data unread.
bool ClosedByServer(platform::Socket& client) {
    std::array<uint8_t, 4096> drain;
    const auto deadline = Clock::now() + kPatience;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms || client.WaitReadable(left) != platform::Socket::Readiness::Readable) return false;
        const ptrdiff_t n = client.Receive(drain.data(), drain.size());
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
        if (n < 0 && errno != EAGAIN) return false;
    }
}

// Every test talks to a server on the loopback interface through the recording printer library, loaded
// here from the same path as the server so that both see the same record.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        m_library = platform::DynamicLibrary::Load(kLibraryPath, error);
        ASSERT_TRUE(m_library) << error;
        auto state = reinterpret_cast<PFN_RecordingPrinter_State>(m_library.Symbol("RecordingPrinter_State"));
        ASSERT_NE(state, nullptr);
        m_printer = state();
        m_printer->Reset();
    }

    void TearDown() override {
        m_server.reset();  // before the hooks, which may reach into the test, are dropped
        if (m_printer) m_printer->Reset();
    }

    CServer& Start(std::chrono::milliseconds receiveTimeout = CServer::kDefaultReceiveTimeout) {
        m_server.reset();
        m_server = std::make_unique<CServer>(0, kLibraryPath, m_host, m_lock);
        m_server->SetLoopbackOnly(true);
        m_server->SetReceiveTimeout(receiveTimeout);
        std::string error;
        EXPECT_TRUE(m_server->StartServer(error)) << error;
        EXPECT_NE(m_server->Port(), 0);
        return *m_server;
    }

    platform::Socket Connect() const {
        platform::Socket client = platform::Socket::Tcp(false);
        EXPECT_TRUE(client.Connect(INADDR_LOOPBACK, m_server->Port())) << platform::Socket::ErrorText(errno);
        return client;
    }

    void OnWrite(std::function<void(int32_t)> hook) {
        std::lock_guard lock(m_printer->mutex);
        m_printer->onWrite = std::move(hook);
    }

    bool WaitForWrites(size_t count) {
        std::unique_lock lock(m_printer->mutex);
        return m_printer->changed.wait_for(lock, kPatience, [&] {
            return static_cast<size_t>(
                       std::count_if(m_printer->calls.begin(), m_printer->calls.end(),
                                     [](const auto& c) { return c.entry == "WriteRipData"; })) >= count;
        });
    }

    std::vector<Bytes> Writes() const {
        std::vector<Bytes> writes;
        for (const RecordedCall& call : m_printer->Calls()) {
            if (call.entry != "WriteRipData") continue;
            EXPECT_EQ(static_cast<size_t>(call.arg), call.data.size());
            writes.push_back(call.data);
        }
        return writes;
    }

    // The server is still there for the next RIP: a small job prints from start to end.
    void ExpectServesAnotherJob() {
        const size_t jobsBefore = m_host.Snapshot().jobs.size();
        const RipHead head = Head(8, 2, 2);
        const Bytes data = Pattern(32, 0x5A);
        platform::Socket client = Connect();
        Send(client, Concat(HeadBytes(head), data));
        ASSERT_TRUE(ClosedByServer(client));
        const RecordingHost::Record r = m_host.Snapshot();
        ASSERT_EQ(r.jobs.size(), jobsBefore + 1);
        EXPECT_EQ(r.jobs.back()->GetStatus(), JOB_OUTPUT_END);
        const std::vector<Bytes> writes = Writes();
        ASSERT_GE(writes.size(), 2u);
        EXPECT_EQ(writes[writes.size() - 2], Slice(data, 0, 16));
        EXPECT_EQ(writes.back(), Slice(data, 16, 16));
    }

    TraceWatch m_trace;
    platform::DynamicLibrary m_library;
    RecordingState* m_printer = nullptr;
    RecordingHost m_host;
    std::shared_ptr<PrinterLock> m_lock = std::make_shared<PrinterLock>();
    std::unique_ptr<CServer> m_server;
};

using Entries = std::vector<std::string>;

}  // namespace

TEST_F(ServerTest, PrintsAJobLineByLineAsItArrives) {
    CServer& server = Start();
    const RipHead head = Head(100, 2, 4);
    const Bytes data = Pattern(800, 1);
    platform::Socket client = Connect();
    Send(client, Concat(HeadBytes(head), data));

    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_FALSE(server.IsBusy());
    EXPECT_EQ(m_printer->Entries(),
              (Entries{"InitPrinter", "StartPrint", "WriteRipData", "WriteRipData", "EndRipData"}));
    EXPECT_EQ(m_printer->Calls().front().arg, 1);
    EXPECT_EQ(Writes(), (std::vector<Bytes>{Slice(data, 0, 400), Slice(data, 400, 400)}));

    const RecordingHost::Record r = m_host.Snapshot();
    ASSERT_EQ(r.jobs.size(), 1u);
    EXPECT_EQ(r.jobs[0]->GetName(), kNetworkJobName);
    EXPECT_EQ(r.jobs[0]->GetCopies(), 1);
    EXPECT_EQ(r.posts,
              (std::vector<PostRecord>{{JOB_OUTPUT, 50, 1}, {JOB_OUTPUT, 100, 1}, {JOB_OUTPUT_END, 100, 1}}));
    EXPECT_EQ(r.adjustments, (Entries{"begin", "end:save"}));
    ASSERT_EQ(r.heads.size(), 1u);
    EXPECT_EQ(r.heads[0].color, 4u);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_TRUE(m_trace.Contains("Start to print"));
}

TEST_F(ServerTest, HeaderIsDerivedForTheStreamAndOtherwisePassedOnUnchanged) {
    Start();
    RipHead sent = Head(3, 1, 0x104);  // only the low byte counts planes over TCP
    sent.width = 10;
    sent.fpaperwidth = 999;
    sent.bit = 77;
    sent.reserved = {0xDEADBEEF, 7, 0xFFFFFFFF};
    RipHead expected = sent;
    expected.fpaperwidth = 0;
    expected.color = 4;
    expected.bit = 3 * 8 / 10;
    const Bytes data = Pattern(12, 9);

    platform::Socket client = Connect();
    Send(client, Concat(HeadBytes(sent), data));
    ASSERT_TRUE(ClosedByServer(client));

    const std::vector<RecordedCall> calls = m_printer->Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].entry, "StartPrint");
    EXPECT_EQ(calls[1].data, HeadBytes(expected));
    EXPECT_EQ(Writes(), std::vector<Bytes>{data});
    const RecordingHost::Record r = m_host.Snapshot();
    ASSERT_EQ(r.heads.size(), 1u);
    EXPECT_EQ(r.heads[0], expected);
    EXPECT_TRUE(m_trace.Contains("color = 4, height = 1, width = 10, xdpi = 720, ydpi = 1440"));
}

TEST_F(ServerTest, AssemblesHeaderAndLinesAcrossSegments) {
    Start();
    const RipHead head = Head(100, 2, 4);
    const Bytes header = HeadBytes(head);
    // Each piece is sent once the server has had what came before and is about to wait for more. Where it
    // stands exactly cannot be seen from here, so several jobs make sure some pieces arrive on their own.
    for (int job = 0; job < 20; ++job) {
        SCOPED_TRACE(job);
        m_printer->Reset();
        const Bytes data = Pattern(800, static_cast<uint8_t>(job));
        platform::Socket client = Connect();
        Send(client, Slice(header, 0, 10));
        ASSERT_TRUE(m_trace.WaitFor("Connect to  a client", static_cast<size_t>(job + 1)));
        Send(client, Concat(Slice(header, 10, 38), Slice(data, 0, 550)));
        ASSERT_TRUE(m_host.WaitUntil([&](const auto& r) {
            return std::count(r.posts.begin(), r.posts.end(), PostRecord{JOB_OUTPUT, 50, 1}) > job;
        }));
        Send(client, Slice(data, 550, 100));
        Send(client, Slice(data, 650, 150));

        ASSERT_TRUE(ClosedByServer(client));
        EXPECT_EQ(Writes(), (std::vector<Bytes>{Slice(data, 0, 400), Slice(data, 400, 400)}));
    }
    EXPECT_EQ(m_host.Snapshot().FinalStates(), std::vector<int32_t>(20, JOB_OUTPUT_END));
}

TEST_F(ServerTest, EmptyJobStartsAndEndsWithoutLines) {
    Start();
    platform::Socket client = Connect();
    Send(client, HeadBytes(Head(100, 0, 4)));
    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_EQ(m_printer->Entries(), (Entries{"InitPrinter", "StartPrint", "EndRipData"}));
    const RecordingHost::Record r = m_host.Snapshot();
    EXPECT_EQ(r.posts, (std::vector<PostRecord>{{JOB_OUTPUT_END, 0, 1}}));
    EXPECT_EQ(r.adjustments, (Entries{"begin", "end:save"}));
}

TEST_F(ServerTest, ClientsConnectingTogetherAreServedOneAfterTheOther) {
    Start();
    const RipHead head = Head(50, 2, 2);
    const Bytes a = Pattern(200, 10), b = Pattern(200, 20);

    platform::Socket first = Connect();
    Send(first, Concat(HeadBytes(head), Slice(a, 0, 100)));
    ASSERT_TRUE(WaitForWrites(1));
    platform::Socket second = Connect();
    Send(second, Concat(HeadBytes(head), b));
    Send(first, Slice(a, 100, 100));

    ASSERT_TRUE(ClosedByServer(first));
    ASSERT_TRUE(ClosedByServer(second));
    EXPECT_EQ(m_printer->Entries(),
              (Entries{"InitPrinter", "StartPrint", "WriteRipData", "WriteRipData", "EndRipData",
                       "InitPrinter", "StartPrint", "WriteRipData", "WriteRipData", "EndRipData"}));
    EXPECT_EQ(Writes(), (std::vector<Bytes>{Slice(a, 0, 100), Slice(a, 100, 100), Slice(b, 0, 100),
                                            Slice(b, 100, 100)}));
    EXPECT_EQ(m_host.Snapshot().FinalStates(), (std::vector<int32_t>{JOB_OUTPUT_END, JOB_OUTPUT_END}));
}

TEST_F(ServerTest, ClientClosingInsideTheHeaderLeavesNoJob) {
    Start();
    platform::Socket client = Connect();
    Send(client, Slice(HeadBytes(Head(100, 2, 4)), 0, 20));
    ASSERT_TRUE(client.ShutdownWrite());

    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_TRUE(m_trace.WaitFor("recv() failed, connection closed prematurely"));
    EXPECT_TRUE(m_printer->Calls().empty());
    EXPECT_TRUE(m_host.Snapshot().jobs.empty());
    ExpectServesAnotherJob();
}

TEST_F(ServerTest, UnusableHeadersAreRefusedBeforeThePrinterIsTouched) {
    struct Case {
        const char* name;
        RipHead head;
        HeadError why;
    };
    RipHead noWidth = Head(100, 2, 4);
    noWidth.width = 0;
    const Case cases[] = {
        {"width 0", noWidth, HeadError::ZeroWidth},
        {"byteperline 0", Head(0, 2, 4), HeadError::ZeroLineBytes},
        {"no plane in the low byte of color", Head(100, 2, 0x100), HeadError::ZeroPlanes},
        {"one line beyond 256 MiB", Head((64u << 20) + 1, 2, 4), HeadError::LineTooLarge},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::Socket client = Connect();
        Send(client, Concat(HeadBytes(c.head), Pattern(64, 0)));
        EXPECT_TRUE(ClosedByServer(client));
        EXPECT_TRUE(m_trace.WaitFor(HeadErrorText(c.why)));
        EXPECT_TRUE(m_printer->Calls().empty());
        EXPECT_TRUE(m_host.Snapshot().jobs.empty());
        const auto messages = m_host.Snapshot().messages;
        ASSERT_FALSE(messages.empty()) << "the operator hears why the RIP's job went nowhere";
        EXPECT_NE(messages.back().find(HeadErrorText(c.why)), std::string::npos) << messages.back();
    }
    ExpectServesAnotherJob();
}

TEST_F(ServerTest, PrinterRefusingToStartLeavesNoJob) {
    struct Case {
        const char* name;
        int32_t initResult, startResult;
        Entries calls;
    } cases[] = {
        {"InitPrinter refuses", 0, 1, {"InitPrinter"}},
        {"StartPrint refuses", 1, 0, {"InitPrinter", "StartPrint"}},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_printer->Reset();
        {
            std::lock_guard lock(m_printer->mutex);
            m_printer->initResult = c.initResult;
            m_printer->startResult = c.startResult;
        }
        platform::Socket client = Connect();
        Send(client, Concat(HeadBytes(Head(10, 1, 1)), Pattern(10, 0)));
        EXPECT_TRUE(ClosedByServer(client));
        EXPECT_EQ(m_printer->Entries(), c.calls);
        const RecordingHost::Record r = m_host.Snapshot();
        EXPECT_TRUE(r.jobs.empty());
        EXPECT_TRUE(r.adjustments.empty());
        ASSERT_FALSE(r.messages.empty()) << "a job the printer would not start is not dropped silently";
        EXPECT_NE(r.messages.back().find("did not start"), std::string::npos) << r.messages.back();
    }
}

TEST_F(ServerTest, JobCutShortFailsAloneAndTheServerServesTheNextClient) {
    struct Case {
        const char* name;
        bool reset;  // the RIP's end: an orderly close, or a reset
        const char* cause;
    } cases[] = {
        {"closed", false, "closed the connection after 1 of 3 raster lines"},
        {"reset", true, "failed"},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_printer->Reset();
        m_host.Clear();
        const Bytes data = Pattern(300, 4);
        platform::Socket client = Connect();
        Send(client, Concat(HeadBytes(Head(50, 3, 2)), Slice(data, 0, 150)));
        ASSERT_TRUE(WaitForWrites(1));
        if (c.reset) {
            const linger abortive{1, 0};
            ASSERT_EQ(::setsockopt(client.Fd(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive), 0);
            client.Close();
        } else {
            ASSERT_TRUE(client.ShutdownWrite());
        }

        ASSERT_TRUE(m_host.WaitForPostedState(JOB_OUTPUT_FAIL));
        if (!c.reset) {
            EXPECT_TRUE(ClosedByServer(client));
        }
        ASSERT_TRUE(m_host.WaitUntil([](const auto& r) { return !r.messages.empty(); }));
        EXPECT_EQ(m_printer->Entries(), (Entries{"InitPrinter", "StartPrint", "WriteRipData", "AbortPrint"}));
        const RecordingHost::Record r = m_host.Snapshot();
        EXPECT_EQ(r.FinalStates(), std::vector<int32_t>{JOB_OUTPUT_FAIL});
        EXPECT_EQ(r.adjustments, (Entries{"begin", "end:save"}));
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_NE(r.messages[0].find(kNetworkJobName), std::string::npos) << r.messages[0];
        EXPECT_NE(r.messages[0].find(c.cause), std::string::npos) << r.messages[0];
        ExpectServesAnotherJob();
    }
}

TEST_F(ServerTest, ClientThatStopsSendingIsGivenUpAfterTheReceiveTimeout) {
    Start(200ms);
    const RipHead head = Head(50, 3, 2);

    // Inside the header: the connection is simply closed.
    platform::Socket early = Connect();
    Send(early, Slice(HeadBytes(head), 0, 10));
    auto sent = Clock::now();
    ASSERT_TRUE(ClosedByServer(early));
    EXPECT_GE(Clock::now() - sent, 190ms);
    EXPECT_TRUE(m_printer->Calls().empty());
    EXPECT_TRUE(m_host.Snapshot().jobs.empty());

    // Inside the job: the job fails and the printer is given back.
    platform::Socket late = Connect();
    Send(late, Concat(HeadBytes(head), Pattern(130, 5)));
    sent = Clock::now();
    ASSERT_TRUE(ClosedByServer(late));
    EXPECT_GE(Clock::now() - sent, 190ms);
    EXPECT_EQ(m_printer->Entries(), (Entries{"InitPrinter", "StartPrint", "WriteRipData", "AbortPrint"}));
    const RecordingHost::Record r = m_host.Snapshot();
    EXPECT_EQ(r.FinalStates(), std::vector<int32_t>{JOB_OUTPUT_FAIL});
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_NE(r.messages[0].find("sent nothing for 200 ms"), std::string::npos) << r.messages[0];
    ExpectServesAnotherJob();
}

TEST_F(ServerTest, WriteRipDataErrorFailsTheJobAndEndsTheData) {
    Start();
    {
        std::lock_guard lock(m_printer->mutex);
        m_printer->writeFailAt = 1;
        m_printer->writeResult = -1;
    }
    platform::Socket client = Connect();
    Send(client, Concat(HeadBytes(Head(50, 2, 2)), Pattern(200, 6)));

    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_TRUE(m_trace.Contains("WriteRipData() failed"));
    EXPECT_EQ(m_printer->Entries(), (Entries{"InitPrinter", "StartPrint", "WriteRipData", "EndRipData"}));
    const RecordingHost::Record r = m_host.Snapshot();
    EXPECT_EQ(r.posts, (std::vector<PostRecord>{{JOB_OUTPUT_FAIL, 0, 1}}));
    EXPECT_EQ(r.adjustments, (Entries{"begin", "end:save"}));
    EXPECT_EQ(r.messages.size(), 1u);
}

TEST_F(ServerTest, CancelAbortsAtTheNextLine) {
    Start();
    OnWrite([this](int32_t n) {
        if (n == 1) m_host.FirstJob()->Cancel();
    });
    platform::Socket client = Connect();
    Send(client, Concat(HeadBytes(Head(50, 3, 2)), Pattern(300, 7)));

    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_EQ(m_printer->Entries(), (Entries{"InitPrinter", "StartPrint", "WriteRipData", "AbortPrint"}));
    const RecordingHost::Record r = m_host.Snapshot();
    EXPECT_EQ(r.posts, (std::vector<PostRecord>{{JOB_OUTPUT, 33, 1}, {JOB_OUTPUT_CANCEL, 33, 1}}));
    EXPECT_EQ(r.adjustments, (Entries{"begin", "end:discard"}));
    EXPECT_TRUE(r.messages.empty());
}

TEST_F(ServerTest, CancelReachesAJobWaitingForData) {
    Start();  // the default minute of patience with a silent RIP: only the cancel can end this job
    platform::Socket client = Connect();
    Send(client, Concat(HeadBytes(Head(50, 3, 2)), Pattern(120, 8)));
    ASSERT_TRUE(WaitForWrites(1));
    m_host.FirstJob()->Cancel();

    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_EQ(m_printer->Entries(), (Entries{"InitPrinter", "StartPrint", "WriteRipData", "AbortPrint"}));
    EXPECT_EQ(m_host.Snapshot().FinalStates(), std::vector<int32_t>{JOB_OUTPUT_CANCEL});
}

TEST_F(ServerTest, PauseRestsBetweenLinesUntilResumed) {
    Start();
    OnWrite([this](int32_t n) {
        if (n == 1) m_host.FirstJob()->Pause();
    });
    platform::Socket client = Connect();
    Send(client, Concat(HeadBytes(Head(50, 3, 2)), Pattern(300, 11)));

    ASSERT_TRUE(m_host.WaitForPostedState(JOB_PAUSE));
    EXPECT_EQ(m_printer->Entries(), (Entries{"InitPrinter", "StartPrint", "WriteRipData", "PausePrint"}));
    m_host.FirstJob()->Resume();

    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_EQ(m_printer->Entries(), (Entries{"InitPrinter", "StartPrint", "WriteRipData", "PausePrint",
                                             "ResumePrint", "WriteRipData", "WriteRipData", "EndRipData"}));
    const RecordingHost::Record r = m_host.Snapshot();
    EXPECT_EQ(r.posts, (std::vector<PostRecord>{{JOB_OUTPUT, 33, 1},
                                                {JOB_PAUSE, 33, 1},
                                                {JOB_OUTPUT, 33, 1},
                                                {JOB_OUTPUT, 66, 1},
                                                {JOB_OUTPUT, 100, 1},
                                                {JOB_OUTPUT_END, 100, 1}}));
    EXPECT_EQ(r.adjustments, (Entries{"begin", "begin", "end:save"}));
}

TEST_F(ServerTest, CancelWhilePausedAbortsWithoutResuming) {
    Start();
    OnWrite([this](int32_t n) {
        if (n == 1) m_host.FirstJob()->Pause();
    });
    platform::Socket client = Connect();
    Send(client, Concat(HeadBytes(Head(50, 3, 2)), Pattern(300, 12)));
    ASSERT_TRUE(m_host.WaitForPostedState(JOB_PAUSE));
    m_host.FirstJob()->Cancel();

    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_EQ(m_printer->Entries(),
              (Entries{"InitPrinter", "StartPrint", "WriteRipData", "PausePrint", "AbortPrint"}));
    const RecordingHost::Record r = m_host.Snapshot();
    EXPECT_EQ(r.FinalStates(), std::vector<int32_t>{JOB_OUTPUT_CANCEL});
    EXPECT_EQ(r.adjustments, (Entries{"begin", "end:discard"}));
}

TEST_F(ServerTest, PrinterLockIsHeldFromInitPrinterToTheEndOfTheJob) {
    Start();
    const auto giveUp = [] { return true; };
    const RipHead head = Head(50, 2, 2);
    const Bytes data = Pattern(200, 13);

    // Someone else prints: the network job waits with the printer untouched.
    ASSERT_TRUE(m_lock->Acquire(nullptr));
    platform::Socket client = Connect();
    Send(client, Concat(HeadBytes(head), Slice(data, 0, 100)));
    ASSERT_TRUE(m_trace.WaitFor("signature = "));
    {
        std::unique_lock lock(m_printer->mutex);
        EXPECT_FALSE(m_printer->changed.wait_for(lock, 300ms, [&] { return !m_printer->calls.empty(); }));
    }
    m_lock->Unlock();

    // Now the network job prints, and holds the printer until it ends.
    ASSERT_TRUE(WaitForWrites(1));
    EXPECT_FALSE(m_lock->Acquire(giveUp));
    Send(client, Slice(data, 100, 100));
    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_EQ(m_host.Snapshot().FinalStates(), std::vector<int32_t>{JOB_OUTPUT_END});
    ASSERT_TRUE(m_lock->Acquire(giveUp));
    m_lock->Unlock();
}

TEST_F(ServerTest, StopEndsTheServerWithinASecondWhateverItWaitsFor) {
    enum Waiting { ForAClient, InsideTheHeader, ForThePrinter, ForALine, WhilePaused };
    const RipHead head = Head(50, 3, 2);
    for (Waiting waiting : {ForAClient, InsideTheHeader, ForThePrinter, ForALine, WhilePaused}) {
        SCOPED_TRACE(static_cast<int>(waiting));
        m_printer->Reset();
        m_host.Clear();
        m_trace.Clear();
        CServer& server = Start();
        platform::Socket client;
        if (waiting != ForAClient) client = Connect();
        if (waiting == InsideTheHeader) {
            Send(client, Slice(HeadBytes(head), 0, 10));
            ASSERT_TRUE(m_trace.WaitFor("Connect to  a client"));
        } else if (waiting == ForThePrinter) {
            ASSERT_TRUE(m_lock->Acquire(nullptr));
            Send(client, HeadBytes(head));
            ASSERT_TRUE(m_trace.WaitFor("signature = "));
        } else if (waiting == ForALine) {
            Send(client, Concat(HeadBytes(head), Pattern(120, 14)));
            ASSERT_TRUE(WaitForWrites(1));
        } else if (waiting == WhilePaused) {
            OnWrite([this](int32_t n) {
                if (n == 1) m_host.FirstJob()->Pause();
            });
            Send(client, Concat(HeadBytes(head), Pattern(300, 14)));
            ASSERT_TRUE(m_host.WaitForPostedState(JOB_PAUSE));
        }

        const auto begin = Clock::now();
        server.Stop();
        EXPECT_LT(Clock::now() - begin, 1s);
        if (waiting == ForThePrinter) m_lock->Unlock();

        if (client) {
            EXPECT_TRUE(ClosedByServer(client));
        }
        const RecordingHost::Record r = m_host.Snapshot();
        if (waiting == ForALine || waiting == WhilePaused) {
            Entries expected{"InitPrinter", "StartPrint", "WriteRipData", "AbortPrint"};
            if (waiting == WhilePaused) expected.insert(expected.end() - 1, "PausePrint");
            EXPECT_EQ(m_printer->Entries(), expected);
            EXPECT_EQ(r.FinalStates(), std::vector<int32_t>{JOB_OUTPUT_CANCEL});
            EXPECT_EQ(r.adjustments, (Entries{"begin", "end:discard"}));
        } else {
            EXPECT_TRUE(m_printer->Calls().empty());
            EXPECT_TRUE(r.jobs.empty());
        }
    }
}

TEST_F(ServerTest, FailedAcceptIsRetriedAtAGentlePace) {
    CServer& server = Start();
    platform::Socket client = platform::Socket::Tcp(false);
    ASSERT_TRUE(client);
    {
        DescriptorShortage shortage;
        ASSERT_TRUE(shortage.Applied());
        ASSERT_TRUE(client.Connect(INADDR_LOOPBACK, server.Port()));
        ASSERT_TRUE(m_trace.WaitFor("accept() failed"));
        const auto first = Clock::now();
        ASSERT_TRUE(m_trace.WaitFor("accept() failed", 4));
        EXPECT_GE(Clock::now() - first, 150ms);
    }
    const Bytes data = Pattern(20, 15);
    Send(client, Concat(HeadBytes(Head(10, 2, 1)), data));
    ASSERT_TRUE(ClosedByServer(client));
    EXPECT_EQ(m_host.Snapshot().FinalStates(), std::vector<int32_t>{JOB_OUTPUT_END});
    EXPECT_EQ(Writes(), (std::vector<Bytes>{Slice(data, 0, 10), Slice(data, 10, 10)}));
}

TEST_F(ServerTest, StartServerReportsAnUnusableLibraryAndGivesThePortBack) {
    struct Case {
        const char* name;
        std::filesystem::path library;
        const char* mentioned;
    } cases[] = {
        {"no library configured", "", "path is empty"},
        {"library missing", std::filesystem::path(TESSARIN_TEST_LIBS_DIR) / "NoSuchPrinter.so",
         "NoSuchPrinter.so"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CServer server(0, c.library, m_host, m_lock);
        server.SetLoopbackOnly(true);
        std::string error;
        EXPECT_FALSE(server.StartServer(error));
        EXPECT_NE(error.find(c.mentioned), std::string::npos) << error;
        ASSERT_NE(server.Port(), 0);
        // A RIP is refused at once rather than left waiting in a backlog nobody accepts from.
        platform::Socket probe = platform::Socket::Tcp(false);
        EXPECT_FALSE(probe.Connect(INADDR_LOOPBACK, server.Port()));
    }
    EXPECT_TRUE(m_trace.Contains("打印机DLL路径为空"));
}

TEST_F(ServerTest, StartServerReportsAPortInUse) {
    CServer& first = Start();
    CServer second(first.Port(), kLibraryPath, m_host, m_lock);
    second.SetLoopbackOnly(true);
    std::string error;
    EXPECT_FALSE(second.StartServer(error));
    EXPECT_NE(error.find(std::to_string(first.Port())), std::string::npos) << error;
    EXPECT_NE(error.find("bind()"), std::string::npos) << error;
    ExpectServesAnotherJob();
}

TEST_F(ServerTest, RandomStreamsNeverUpsetTheServer) {
    Start();
    std::mt19937 random(20240611);
    const auto randomBytes = [&](size_t count) {
        Bytes bytes(count);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        return bytes;
    };
    for (int session = 0; session < 300; ++session) {
        Bytes stream;
        if (random() % 2 == 0) {
            stream = randomBytes(random() % 120);
        } else {
            // Plausible enough to start a job now and then; the data rarely matches what it announces.
            RipHead head = Head(1 + random() % 64, random() % 6, random() % 5 | (random() % 3) << 8);
            head.width = random() % 4 == 0 ? 0 : 1 + random() % 512;
            const uint64_t announced = uint64_t{head.byteperline} * (head.color & 0xFF) * head.height;
            stream = Concat(HeadBytes(head), randomBytes(random() % (announced + 40)));
        }
        platform::Socket client = Connect();
        client.SendAll(stream.data(), stream.size());  // the server may have closed already
        client.ShutdownWrite();
        ASSERT_TRUE(ClosedByServer(client)) << "session " << session;
    }
    const RecordingHost::Record r = m_host.Snapshot();
    EXPECT_FALSE(r.jobs.empty());
    for (const auto& job : r.jobs) {
        EXPECT_TRUE(job->GetStatus() == JOB_OUTPUT_END || job->GetStatus() == JOB_OUTPUT_FAIL)
            << job->GetStatus();
    }
    ExpectServesAnotherJob();
}
