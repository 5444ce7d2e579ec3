#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "maint/BoardEndpoint.h"

struct BoardIdentity {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool operator==(const BoardIdentity&) const = default;
};

enum class TransferStatus { Completed, TimedOut, Cancelled, Failed };

struct TransferResult {
    TransferStatus status = TransferStatus::Failed;
    size_t length = 0;  // bytes that went out or came in, also when the transfer did not complete
    bool Ok() const { return status == TransferStatus::Completed; }
};

const char* TransferStatusText(TransferStatus status);

// Access to the printer's controller board, whatever carries it: the vendor's kernel driver on Windows,
// libusb here, or a simulated board for tests and demonstrations.
//
// Boards are numbered in the order Enumerate lists them. Open, Close and Enumerate belong to one thread;
// once open, a transfer on the IN endpoint and one on the OUT endpoint may run at the same time from
// different threads, which is how the head tool sends while its receive thread reads.
class CBoardDevice {
public:
    virtual ~CBoardDevice() = default;
    CBoardDevice() = default;
    CBoardDevice(const CBoardDevice&) = delete;
    CBoardDevice& operator=(const CBoardDevice&) = delete;

    // The boards present now, in device-number order; Open takes an index into the last such list.
    virtual std::vector<BoardIdentity> Enumerate() = 0;
    // Opens board n (closing whatever was open); false with `error` saying why.
    virtual bool Open(size_t n, std::string& error) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual uint16_t VendorID() const = 0;
    virtual uint16_t ProductID() const = 0;
    // The endpoints of the selected interface setting; slot 0 is the control endpoint. Empty when closed.
    virtual const std::vector<CBoardEndpoint>& Endpoints() const = 0;

    // One bulk transfer in the endpoint's direction, of buffer.size() bytes out or up to that many in.
    // Waits at most `timeout`; a transfer that times out, or whose stop is requested while it waits, is
    // cancelled before the call returns, so the board's next answer goes to the next read.
    virtual TransferResult Transfer(const CBoardEndpoint& endpoint, std::span<uint8_t> buffer,
                                    std::chrono::milliseconds timeout, std::stop_token stop) = 0;

    enum class Found { Opened, NoBoard, NoMatch, OpenFailed };
    // Opens the board with these ids that has the lowest device number; when that one cannot be opened
    // (another program holds it, no permission) the next one with the same ids is tried.
    Found OpenFirst(BoardIdentity wanted, std::string& error);
};
