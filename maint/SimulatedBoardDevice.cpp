#include "maint/SimulatedBoardDevice.h"

#include <algorithm>

CSimulatedBoardDevice::CSimulatedBoardDevice(std::vector<std::shared_ptr<CSimulatedBoard>> boards)
    : m_boards(std::move(boards)) {}

std::vector<BoardIdentity> CSimulatedBoardDevice::Enumerate() {
    std::vector<BoardIdentity> identities;
    for (const auto& board : m_boards) identities.push_back(board->Identity());
    return identities;
}

bool CSimulatedBoardDevice::Open(size_t n, std::string& error) {
    Close();
    if (n >= m_boards.size()) {
        error = "there is no board number " + std::to_string(n);
        return false;
    }
    m_open = m_boards[n];
    m_identity = m_open->Identity();
    m_endpoints = m_open->Endpoints();
    return true;
}

void CSimulatedBoardDevice::Close() {
    m_open.reset();
    m_identity = {};
    m_endpoints.clear();
}

TransferResult CSimulatedBoardDevice::Transfer(const CBoardEndpoint& endpoint, std::span<uint8_t> buffer,
                                               std::chrono::milliseconds timeout, std::stop_token stop) {
    bool known = std::find(m_endpoints.begin(), m_endpoints.end(), endpoint) != m_endpoints.end();
    if (!m_open || !known || endpoint.GetKind() != CBoardEndpoint::Bulk) return {TransferStatus::Failed, 0};
    if (stop.stop_requested()) return {TransferStatus::Cancelled, 0};
    if (endpoint.IsIn()) return m_open->Answer(buffer, timeout, stop);
    return m_open->Receive(buffer, timeout, stop);
}
