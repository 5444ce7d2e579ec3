#include "VirtualPrinterDevice.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "CallLog.h"
#include "LibraryLocation.h"
#include "shell/Trace.h"

namespace {

std::string Result(const std::string& call, int32_t result, std::string_view note = {}) {
    std::string line = call + " = " + std::to_string(result);
    if (!note.empty()) line.append(" (").append(note).append(")");
    return line;
}

std::string WithValue(std::string_view name, int32_t value) {
    return std::string(name) + "(" + std::to_string(value) + ")";
}

std::string WithoutArguments(DriverEntry entry) {
    return std::string(DriverEntryName(entry)) + "()";
}

}  // namespace

VirtualPrinterDevice& VirtualPrinterDevice::Instance() {
    static VirtualPrinterDevice device;
    return device;
}

VirtualPrinterDevice::VirtualPrinterDevice() : m_libraryFolder(LibraryFolder()) {}

VirtualPrinterDevice::~VirtualPrinterDevice() = default;

int32_t VirtualPrinterDevice::InitPrinter(int32_t mode) {
    VirtualPrinterConfig config = VirtualPrinterConfig::Load(m_libraryFolder);
    // Outside the lock: a slow printer must not also block a caller that breaks the one-thread rule.
    if (config.holdInitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(config.holdInitMs));

    std::lock_guard lock(m_mutex);
    if (m_session) {
        m_session->Log().Line("session abandoned");
        TraceLine("session %d abandoned: InitPrinter came before its end", m_session->Number());
        CloseSession("Abandoned");
    }
    std::string error;
    m_session = VirtualPrinterSession::Open(config, error);
    if (!m_session) {
        std::fprintf(stderr, "VirtualPrinter: InitPrinter fails: %s\n", error.c_str());
        return 0;
    }
    const std::string call = WithValue("InitPrinter", mode);
    if (m_session->CountCall(DriverEntry::InitPrinter)) {
        // No printer answered, so there is no session to continue; the folder stays as the record.
        int32_t result = Injected(call);
        CloseSession("InitPrinter");
        return result;
    }
    m_session->Log().Line(Result(call, 1));
    return 1;
}

int32_t VirtualPrinterDevice::StartPrint(const void* ripHead48, int32_t zero) {
    std::lock_guard lock(m_mutex);
    const std::string call =
        std::string("StartPrint(") + (ripHead48 ? "header" : "null") + ", " + std::to_string(zero) + ")";
    if (ripHead48 == nullptr) {
        LogAnywhere(Result(call, -1, "null header"));
        return -1;
    }
    return Call(DriverEntry::StartPrint, call, Scope::Session, 0, [&](VirtualPrinterSession& session) {
        if (session.JobStarted()) return Outcome{0, "job already started"};
        std::string error;
        auto header =
            std::span<const uint8_t, RipHead::kSize>(static_cast<const uint8_t*>(ripHead48), RipHead::kSize);
        bool started = session.StartJob(header, error);
        return Outcome{started ? 1 : 0, error};
    });
}

int32_t VirtualPrinterDevice::WriteRipData(const void* data, int32_t count) {
    std::lock_guard lock(m_mutex);
    if (count < 0 || (data == nullptr && count > 0)) {
        LogAnywhere(Result(WithValue("WriteRipData", count), -1, count < 0 ? "negative count" : "null data"));
        return -1;
    }
    VirtualPrinterSession* session = SessionFor(Scope::Job);
    if (session == nullptr) {
        LogOutside(Result(WithValue("WriteRipData", count), 0));
        return 0;
    }
    if (session->CountCall(DriverEntry::WriteRipData)) return Injected(WithValue("WriteRipData", count));
    // The hot path of every job: no text is built unless something goes wrong.
    std::string error;
    auto lineSet = std::span(static_cast<const uint8_t*>(data), static_cast<size_t>(count));
    if (!session->AcceptLineSet(lineSet, error)) {
        session->Log().Line(Result(WithValue("WriteRipData", count), -1, error));
        TraceLine("session %d: %s", session->Number(), error.c_str());
        return -1;
    }
    session->Log().LineSet(count, count);
    return count;
}

int32_t VirtualPrinterDevice::EndRipData() {
    std::lock_guard lock(m_mutex);
    return EndSession(DriverEntry::EndRipData);
}

int32_t VirtualPrinterDevice::AbortPrint() {
    std::lock_guard lock(m_mutex);
    return EndSession(DriverEntry::AbortPrint);
}

int32_t VirtualPrinterDevice::PausePrint() {
    std::lock_guard lock(m_mutex);
    return Call(DriverEntry::PausePrint, WithoutArguments(DriverEntry::PausePrint), Scope::Job, 0,
                [](VirtualPrinterSession&) { return Outcome{1}; });
}

int32_t VirtualPrinterDevice::ResumePrint() {
    std::lock_guard lock(m_mutex);
    return Call(DriverEntry::ResumePrint, WithoutArguments(DriverEntry::ResumePrint), Scope::Job, 0,
                [](VirtualPrinterSession&) { return Outcome{1}; });
}

// SkipLines and EndPrint are never called by Tessarin; they answer 1 wherever they come, and the log
// shows that someone did call them.
int32_t VirtualPrinterDevice::SkipLines() {
    std::lock_guard lock(m_mutex);
    return Call(DriverEntry::SkipLines, WithoutArguments(DriverEntry::SkipLines), Scope::Session, 1,
                [](VirtualPrinterSession&) { return Outcome{1}; });
}

int32_t VirtualPrinterDevice::EndPrint() {
    std::lock_guard lock(m_mutex);
    return Call(DriverEntry::EndPrint, WithoutArguments(DriverEntry::EndPrint), Scope::Session, 1,
                [](VirtualPrinterSession&) { return Outcome{1}; });
}

int32_t VirtualPrinterDevice::ChangeFeedingData(int32_t value) {
    std::lock_guard lock(m_mutex);
    return Call(DriverEntry::ChangeFeedingData, WithValue("ChangeFeedingData", value), Scope::Session, 1,
                [](VirtualPrinterSession&) { return Outcome{1}; });
}

int32_t VirtualPrinterDevice::GetCurrentPass() {
    std::lock_guard lock(m_mutex);
    const int32_t outside = m_session ? 0 : CurrentConfig().passCount;
    return Call(DriverEntry::GetCurrentPass, WithoutArguments(DriverEntry::GetCurrentPass), Scope::Session,
                outside, [](VirtualPrinterSession& session) { return Outcome{session.Config().passCount}; });
}

int32_t VirtualPrinterDevice::ChangeBidData(int32_t value) {
    std::lock_guard lock(m_mutex);
    return Call(DriverEntry::ChangeBidData, WithValue("ChangeBidData", value), Scope::Session, 1,
                [](VirtualPrinterSession&) { return Outcome{1}; });
}

int32_t VirtualPrinterDevice::GetCurrentInkmode() {
    std::lock_guard lock(m_mutex);
    const int32_t outside = m_session ? 0 : CurrentConfig().inkMode;
    return Call(DriverEntry::GetCurrentInkmode, WithoutArguments(DriverEntry::GetCurrentInkmode),
                Scope::Session, outside,
                [](VirtualPrinterSession& session) { return Outcome{session.Config().inkMode}; });
}

template <class Work>
int32_t VirtualPrinterDevice::Call(DriverEntry entry, const std::string& call, Scope scope,
                                   int32_t outsideResult, Work work) {
    VirtualPrinterSession* session = SessionFor(scope);
    if (session == nullptr) {
        LogOutside(Result(call, outsideResult));
        return outsideResult;
    }
    if (session->CountCall(entry)) return Injected(call);
    const Outcome outcome = work(*session);
    session->Log().Line(Result(call, outcome.result, outcome.note));
    return outcome.result;
}

int32_t VirtualPrinterDevice::EndSession(DriverEntry entry) {
    const std::string call = WithoutArguments(entry);
    if (!m_session) {
        LogOutside(Result(call, 0));
        return 0;
    }
    // A failed end leaves the session open, as a printer that did not take the command would.
    if (m_session->CountCall(entry)) return Injected(call);
    m_session->Log().Line(Result(call, 1));
    CloseSession(DriverEntryName(entry));
    return 1;
}

int32_t VirtualPrinterDevice::Injected(const std::string& call) {
    const int32_t result = m_session->Config().failResult;
    m_session->Log().Line(Result(call, result, "injected failure"));
    TraceLine("session %d: %s = %d (injected failure)", m_session->Number(), call.c_str(), result);
    return result;
}

void VirtualPrinterDevice::CloseSession(std::string_view end) {
    m_session->Close(end);
    m_session.reset();
}

VirtualPrinterSession* VirtualPrinterDevice::SessionFor(Scope scope) const {
    if (!m_session || (scope == Scope::Job && !m_session->JobStarted())) return nullptr;
    return m_session.get();
}

VirtualPrinterConfig VirtualPrinterDevice::CurrentConfig() const {
    return m_session ? m_session->Config() : VirtualPrinterConfig::Load(m_libraryFolder);
}

void VirtualPrinterDevice::LogOutside(std::string_view line) const {
    const std::filesystem::path folder = CurrentConfig().outputFolder;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    CallLog log(folder / "outside.log");
    if (!log.IsOpen()) {
        std::fprintf(stderr, "VirtualPrinter: cannot write %s: %.*s\n", (folder / "outside.log").c_str(),
                     static_cast<int>(line.size()), line.data());
        return;
    }
    log.Line(line);
}

void VirtualPrinterDevice::LogAnywhere(std::string_view line) {
    if (m_session) {
        m_session->Log().Line(line);
    } else {
        LogOutside(line);
    }
}
