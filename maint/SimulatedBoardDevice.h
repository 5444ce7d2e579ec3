#pragma once

#include <memory>
#include <vector>

#include "maint/BoardDevice.h"
#include "maint/SimulatedBoard.h"

// The device layer over simulated boards, numbered in the order given.
class CSimulatedBoardDevice final : public CBoardDevice {
public:
    explicit CSimulatedBoardDevice(std::vector<std::shared_ptr<CSimulatedBoard>> boards);
    ~CSimulatedBoardDevice() override = default;

    std::vector<BoardIdentity> Enumerate() override;
    bool Open(size_t n, std::string& error) override;
    void Close() override;
    bool IsOpen() const override { return m_open != nullptr; }
    uint16_t VendorID() const override { return m_identity.vendorId; }
    uint16_t ProductID() const override { return m_identity.productId; }
    const std::vector<CBoardEndpoint>& Endpoints() const override { return m_endpoints; }
    TransferResult Transfer(const CBoardEndpoint& endpoint, std::span<uint8_t> buffer,
                            std::chrono::milliseconds timeout, std::stop_token stop) override;

private:
    std::vector<std::shared_ptr<CSimulatedBoard>> m_boards;
    std::shared_ptr<CSimulatedBoard> m_open;
    BoardIdentity m_identity;
    std::vector<CBoardEndpoint> m_endpoints;
};
