#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "maint/BoardDevice.h"

// A controller board in software, for tests and for demonstrations without a printer. It keeps the head
// records it is sent and, asked with the query record, answers with its 32 records, one per read, the way
// the real board reports its settings back. Records it never received come back with zero fields.
//
// The host's transfers may come from several threads at once; every member is safe to call concurrently.
class CSimulatedBoard {
public:
    static constexpr uint8_t kControlPacketSize = 64;
    static constexpr uint32_t kBulkPacketSize = 512;

    // Faults a test can provoke.
    struct Behaviour {
        bool refuseWrites = false;  // every OUT transfer fails at once, as on a stalled pipe
        bool silent = false;        // the query is taken but never answered: reads time out
        int stallAfterGroups = -1;  // after this many answers every read fails at once; -1 never
        bool holdWrites = false;    // OUT transfers are not taken: they wait out their time-out or stop
    };

    CSimulatedBoard(BoardIdentity identity, uint8_t inAddress, uint8_t outAddress);
    CSimulatedBoard(const CSimulatedBoard&) = delete;
    CSimulatedBoard& operator=(const CSimulatedBoard&) = delete;

    // The board that `[USB] Simulated=1` plugs in. There is one per process, as there is one board on the
    // printer: it keeps what it was sent while the head tool opens and closes its device.
    static std::shared_ptr<CSimulatedBoard> Plugged();

    // Gives the board other ids and endpoint addresses (the plugged board takes the configured ones).
    void Configure(BoardIdentity identity, uint8_t inAddress, uint8_t outAddress);
    BoardIdentity Identity() const;
    // Control endpoint, bulk OUT, bulk IN.
    std::vector<CBoardEndpoint> Endpoints() const;

    // The host's OUT and IN transfers.
    // A held write waits at most `timeout`.
    TransferResult Receive(std::span<const uint8_t> data, std::chrono::milliseconds timeout = {},
                           std::stop_token stop = {});
    TransferResult Answer(std::span<uint8_t> buffer, std::chrono::milliseconds timeout, std::stop_token stop);

    // What a test looks at and sets.
    std::vector<std::string> Received() const;  // every OUT transfer, as bytes, in order
    void SetBehaviour(Behaviour behaviour);
    // True once a read is waiting for an answer (or was already waiting) within the time-out.
    bool WaitForPendingRead(std::chrono::milliseconds timeout) const;
    // The same for a write held by holdWrites.
    bool WaitForPendingWrite(std::chrono::milliseconds timeout) const;
    // Forgets every record, answer and fault.
    void Reset();

private:
    static constexpr int kRecords = 32;
    static constexpr size_t kRecordSize = 26;

    void TakeHeadRecord(std::span<const uint8_t> data);
    void QueueAnswers();
    std::string StoredRecord(int slot) const;

    mutable std::mutex m_mutex;
    mutable std::condition_variable_any m_changed;
    BoardIdentity m_identity;
    uint8_t m_inAddress;
    uint8_t m_outAddress;
    Behaviour m_behaviour;
    std::vector<std::string> m_received;
    std::vector<std::string> m_records;  // by head * 4 + letter; empty until received
    std::deque<std::string> m_answers;
    int m_answered = 0;
    int m_pendingReads = 0;
    int m_pendingWrites = 0;
};
