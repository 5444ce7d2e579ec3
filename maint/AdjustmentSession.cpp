#include "maint/AdjustmentSession.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/PrinterLibrary.h"
#include "shell/Trace.h"

CAdjustmentSession::CAdjustmentSession(std::filesystem::path programDirectory,
                                       std::filesystem::path printerLibrary, Listener listener)
    : m_store(std::move(programDirectory)),
      m_printerLibrary(std::move(printerLibrary)),
      m_listener(std::move(listener)) {}

CAdjustmentSession::~CAdjustmentSession() = default;

int CAdjustmentSession::ParseEditText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        magnitude = std::min<int64_t>(magnitude * 10 + (text[i] - '0'), int64_t{INT_MAX} + 1);
    return static_cast<int>(std::clamp<int64_t>(negative ? -magnitude : magnitude, INT_MIN, INT_MAX));
}

bool CAdjustmentSession::IsBound() const {
    std::lock_guard lock(m_mutex);
    return m_library != nullptr;
}

std::optional<CAdjustmentSession::Stored> CAdjustmentSession::LastStored() const {
    std::lock_guard lock(m_mutex);
    return m_lastStored;
}

CAdjustmentSession::ListenerHandle::ListenerHandle(ListenerHandle&& other) noexcept
    : m_session(std::exchange(other.m_session, nullptr)), m_id(other.m_id) {}

CAdjustmentSession::ListenerHandle& CAdjustmentSession::ListenerHandle::operator=(
    ListenerHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        m_session = std::exchange(other.m_session, nullptr);
        m_id = other.m_id;
    }
    return *this;
}

CAdjustmentSession::ListenerHandle::~ListenerHandle() {
    Reset();
}

void CAdjustmentSession::ListenerHandle::Reset() {
    if (CAdjustmentSession* session = std::exchange(m_session, nullptr)) session->RemoveListener(m_id);
}

CAdjustmentSession::ListenerHandle CAdjustmentSession::AddListener(Listener listener) {
    std::lock_guard lock(m_listenersMutex);
    int id = m_nextListenerId++;
    m_listeners.emplace(id, std::move(listener));
    return ListenerHandle(this, id);
}

void CAdjustmentSession::RemoveListener(int id) {
    std::lock_guard lock(m_listenersMutex);
    m_listeners.erase(id);
}

template <typename Call>
void CAdjustmentSession::Notify(const Call& call) {
    call(m_listener);
    std::lock_guard lock(m_listenersMutex);
    for (const auto& [id, listener] : m_listeners) call(listener);
}

void CAdjustmentSession::SetAdjusting(bool adjusting) {
    m_adjusting = adjusting;
    Notify([adjusting](const Listener& l) {
        if (l.adjustingChanged) l.adjustingChanged(adjusting);
    });
}

void CAdjustmentSession::Report(const std::string& problem) {
    TraceLine("%s", problem.c_str());
    Notify([&problem](const Listener& l) {
        if (l.message) l.message(problem);
    });
}

// A binding that is already there is kept: Begin comes again at every resume of the same job.
void CAdjustmentSession::Begin() {
    SetAdjusting(true);
    if (IsBound()) return;
    if (m_printerLibrary.empty()) {
        TraceLine("工具栏对话框加载的打印机Dll路径为空");
        return;
    }
    std::string error;
    std::shared_ptr<const CPrinterLibrary> library = CPrinterLibrary::BindAdjustment(m_printerLibrary, error);
    if (!library) {
        TraceLine("%s", error.c_str());
        // Begin comes at every resume too: one message per run of failures is enough.
        if (!m_bindFailureReported.exchange(true))
            Report("打印机DLL路径为：" + m_printerLibrary.string() + "\n请检测打印机Dll是否存在");
        return;
    }
    m_bindFailureReported = false;
    std::lock_guard lock(m_mutex);
    if (!m_library) m_library = std::move(library);
}

// Without saving the corrections and the binding stay, for the next End(true) to store.
void CAdjustmentSession::End(bool bSave) {
    SetAdjusting(false);
    if (!bSave) return;
    std::vector<std::string> problems;
    Stored stored;
    {
        std::lock_guard lock(m_mutex);
        stored = StoreCorrections(problems);
        m_lastStored = stored;
    }
    for (const std::string& problem : problems) Report(problem);
    Notify([&stored](const Listener& l) {
        if (l.stored) l.stored(stored);
    });
}

// Takes the corrections and the binding as they are: clicks from now on count for the next job.
CAdjustmentSession::Stored CAdjustmentSession::StoreCorrections(std::vector<std::string>& problems) {
    int feed = m_feed.exchange(0);
    int bid = m_bid.exchange(0);
    std::shared_ptr<const CPrinterLibrary> library = std::exchange(m_library, nullptr);
    TraceLine("End of job: feed correction %d, bidirectional correction %d", feed, bid);
    Stored stored;
    stored.at = std::chrono::steady_clock::now();
    if (!library) {
        if (feed != 0 || bid != 0)
            problems.push_back("the printer library is not bound: the corrections were not stored");
        return stored;
    }
    std::string problem;
    stored.feed = m_store.StoreMachineFeed(library->GetCurrentPass(), feed, problem);
    if (!stored.feed) problems.push_back(std::exchange(problem, {}));
    stored.bid = m_store.StoreMachineBid(library->GetCurrentInkmode(), bid, problem);
    if (!stored.bid) problems.push_back(problem);
    return stored;
}

void CAdjustmentSession::StepFeed(int delta) {
    m_feed += delta;
    FeedChanged();
}

void CAdjustmentSession::StepBid(int delta) {
    m_bid += delta;
    BidChanged();
}

void CAdjustmentSession::SetFeed(int value) {
    m_feed = value;
    FeedChanged();
}

void CAdjustmentSession::SetBid(int value) {
    m_bid = value;
    BidChanged();
}

void CAdjustmentSession::FeedChanged() {
    TraceLine("步进微调编辑框消息相应");
    std::string problem;
    {
        std::lock_guard lock(m_mutex);
        if (!m_library) return;
        int feed = m_feed.load();
        TraceLine("Dll调整步进%d", feed);
        m_library->ChangeFeedingData(feed);
        m_store.WriteMaterialFeed(m_library->GetCurrentPass(), feed, problem);
    }
    if (!problem.empty()) Report(problem);
    TraceLine("步进微调编辑框消息相应end");
}

void CAdjustmentSession::BidChanged() {
    TraceLine("双向调整编辑框消息相应");
    std::string problem;
    {
        std::lock_guard lock(m_mutex);
        if (!m_library) return;
        int bid = m_bid.load();
        TraceLine("Dll调整双向%d", bid);
        m_library->ChangeBidData(bid);
        m_store.WriteMaterialBid(m_library->GetCurrentInkmode(), bid, problem);
    }
    if (!problem.empty()) Report(problem);
}
