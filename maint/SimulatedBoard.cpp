#include "maint/SimulatedBoard.h"

#include <algorithm>

namespace {

constexpr std::string_view kQuery = "$PC\r";
constexpr uint8_t kBulkAttributes = CBoardEndpoint::Bulk;

std::string_view AsText(std::span<const uint8_t> data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

}  // namespace

CSimulatedBoard::CSimulatedBoard(BoardIdentity identity, uint8_t inAddress, uint8_t outAddress)
    : m_identity(identity), m_inAddress(inAddress), m_outAddress(outAddress), m_records(kRecords) {}

std::shared_ptr<CSimulatedBoard> CSimulatedBoard::Plugged() {
    static const std::shared_ptr<CSimulatedBoard> board =
        std::make_shared<CSimulatedBoard>(BoardIdentity{}, 0x81, 0x01);
    return board;
}

void CSimulatedBoard::Configure(BoardIdentity identity, uint8_t inAddress, uint8_t outAddress) {
    std::lock_guard lock(m_mutex);
    m_identity = identity;
    m_inAddress = inAddress;
    m_outAddress = outAddress;
}

BoardIdentity CSimulatedBoard::Identity() const {
    std::lock_guard lock(m_mutex);
    return m_identity;
}

std::vector<CBoardEndpoint> CSimulatedBoard::Endpoints() const {
    std::lock_guard lock(m_mutex);
    return {
        {0, CBoardEndpoint::Control, kControlPacketSize, 0},
        {m_outAddress, kBulkAttributes, kBulkPacketSize, 0},
        {m_inAddress, kBulkAttributes, kBulkPacketSize, 0},
    };
}

TransferResult CSimulatedBoard::Receive(std::span<const uint8_t> data, std::chrono::milliseconds timeout,
                                        std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    if (m_behaviour.refuseWrites) return {TransferStatus::Failed, 0};
    if (m_behaviour.holdWrites) {
        ++m_pendingWrites;
        m_changed.notify_all();
        bool taken = m_changed.wait_for(lock, stop, timeout, [this] { return !m_behaviour.holdWrites; });
        --m_pendingWrites;
        if (!taken) return {stop.stop_requested() ? TransferStatus::Cancelled : TransferStatus::TimedOut, 0};
    }
    m_received.emplace_back(AsText(data));
    if (AsText(data) == kQuery)
        QueueAnswers();
    else
        TakeHeadRecord(data);
    m_changed.notify_all();
    return {TransferStatus::Completed, data.size()};
}

void CSimulatedBoard::TakeHeadRecord(std::span<const uint8_t> data) {
    std::string_view text = AsText(data);
    bool isRecord = text.size() == kRecordSize && text.starts_with("$P") && text[2] >= '0' &&
                    text[2] <= '7' && text[3] >= 'A' && text[3] <= 'D' && text.back() == '\r';
    if (isRecord) m_records[static_cast<size_t>((text[2] - '0') * 4 + (text[3] - 'A'))] = text;
}

std::string CSimulatedBoard::StoredRecord(int slot) const {
    const std::string& stored = m_records[static_cast<size_t>(slot)];
    if (!stored.empty()) return stored;
    std::string blank = "$P";
    blank += static_cast<char>('0' + slot / 4);
    blank += static_cast<char>('A' + slot % 4);
    blank += std::string(21, '0') + "\r";
    return blank;
}

void CSimulatedBoard::QueueAnswers() {
    if (m_behaviour.silent) return;
    m_answers.clear();
    for (int slot = 0; slot < kRecords; ++slot) m_answers.push_back(StoredRecord(slot));
}

TransferResult CSimulatedBoard::Answer(std::span<uint8_t> buffer, std::chrono::milliseconds timeout,
                                       std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    if (m_behaviour.stallAfterGroups >= 0 && m_answered >= m_behaviour.stallAfterGroups)
        return {TransferStatus::Failed, 0};
    ++m_pendingReads;
    m_changed.notify_all();
    bool answered = m_changed.wait_for(lock, stop, timeout, [this] { return !m_answers.empty(); });
    --m_pendingReads;
    if (!answered) return {stop.stop_requested() ? TransferStatus::Cancelled : TransferStatus::TimedOut, 0};
    std::string answer = std::move(m_answers.front());
    m_answers.pop_front();
    ++m_answered;
    size_t length = std::min(buffer.size(), answer.size());
    std::copy_n(answer.begin(), length, buffer.begin());
    return {TransferStatus::Completed, length};
}

std::vector<std::string> CSimulatedBoard::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

void CSimulatedBoard::SetBehaviour(Behaviour behaviour) {
    std::lock_guard lock(m_mutex);
    m_behaviour = behaviour;
    m_answered = 0;
    m_changed.notify_all();
}

bool CSimulatedBoard::WaitForPendingRead(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_pendingReads > 0; });
}

bool CSimulatedBoard::WaitForPendingWrite(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_pendingWrites > 0; });
}

void CSimulatedBoard::Reset() {
    std::lock_guard lock(m_mutex);
    m_behaviour = {};
    m_received.clear();
    m_records.assign(kRecords, {});
    m_answers.clear();
    m_answered = 0;
    m_changed.notify_all();
}
