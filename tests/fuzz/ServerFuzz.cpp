// A whole print session over TCP: the input is what a client sends on one connection; the print server
// runs as in the program, on its own thread and a loopback port, into the recording printer library.
// Whatever the bytes, the library sees either nothing (no usable header) or exactly the lines received,
// ended by EndRipData when all arrived and by AbortPrint when the client stopped early.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "FuzzSupport.h"
#include "RecordingPrinter.h"
#include "net/Server.h"

namespace {

const std::filesystem::path kLibrary = TESSARIN_TEST_LIBS_DIR "/RecordingPrinter.so";

class QuietHost : public PrintHost {
public:
    void PostStatusChanged(const std::shared_ptr<CPrintJob>&, int32_t) override {}
    void AddPrintJob(const std::shared_ptr<CPrintJob>&) override {}
    int32_t GetXCopies() override { return 1; }
    int32_t GetXSpacing() override { return 0; }
    int32_t GetYCopies() override { return 1; }
    int32_t GetYSpacing() override { return 0; }
    void BeginAdjustment() override {}
    void EndAdjustment(bool) override {}
    void ShowHead(const RipHead&) override {}
    void BrowseToFolder(const std::filesystem::path&) override {}
    void ReportMessage(const std::string&) override {}
};

struct Session {
    QuietHost host;
    CServer server{0, kLibrary, host};
    RecordingState* state = nullptr;

    Session() {
        server.SetLoopbackOnly(true);
        std::string error;
        FUZZ_CHECK(server.StartServer(error));
        // The server's binding holds the library loaded, so this handle reaches the same state.
        void* handle = ::dlopen(kLibrary.c_str(), RTLD_NOW);
        FUZZ_CHECK(handle);
        state = reinterpret_cast<PFN_RecordingPrinter_State>(::dlsym(handle, "RecordingPrinter_State"))();
    }
};

// Sends everything, ends the sending side and waits until the server has closed the connection, which it
// does only after the job's last library call.
void SendSession(uint16_t port, std::string_view bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    FUZZ_CHECK(fd >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    FUZZ_CHECK(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    // libFuzzer's timer signal interrupts calls now and then; an interrupted call is no end of the session.
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the server refused the header and closed
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        break;
    }
    ::close(fd);
}

std::string_view Bytes(const std::vector<uint8_t>& data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

void CheckCalls(std::string_view sent, const std::vector<RecordedCall>& calls) {
    RipHead head;
    bool usable = sent.size() >= RipHead::kSize;
    if (usable) {
        head = RipHead::FromBytes(std::span<const uint8_t, RipHead::kSize>(
            reinterpret_cast<const uint8_t*>(sent.data()), RipHead::kSize));
        usable = head.DeriveForStream() == HeadError::None;
    }
    if (!usable) {
        FUZZ_CHECK(calls.empty());
        return;
    }
    FUZZ_CHECK(calls.size() >= 3);
    FUZZ_CHECK(calls[0].entry == "InitPrinter");
    FUZZ_CHECK(calls[1].entry == "StartPrint");
    const auto expectedHead = head.ToBytes();
    FUZZ_CHECK(std::equal(expectedHead.begin(), expectedHead.end(), calls[1].data.begin(), calls[1].data.end()));

    const std::string_view raster = sent.substr(RipHead::kSize);
    const uint64_t lineBytes = head.LineBytes();
    const uint64_t complete = std::min<uint64_t>(raster.size() / lineBytes, head.height);
    for (size_t i = 2; i + 1 < calls.size(); ++i) {
        FUZZ_CHECK(calls[i].entry == "WriteRipData");
        FUZZ_CHECK(Bytes(calls[i].data) == raster.substr((i - 2) * lineBytes, lineBytes));
    }
    FUZZ_CHECK(calls.size() - 3 == complete);
    FUZZ_CHECK(calls.back().entry == (complete == head.height ? "EndRipData" : "AbortPrint"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::SilenceTrace();
    static Session session;
    session.state->Reset();
    const std::string_view sent(reinterpret_cast<const char*>(data), size);
    SendSession(session.server.Port(), sent);
    CheckCalls(sent, session.state->Calls());
    return 0;
}
