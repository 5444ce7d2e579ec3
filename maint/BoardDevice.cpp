#include "maint/BoardDevice.h"

const char* TransferStatusText(TransferStatus status) {
    switch (status) {
        case TransferStatus::Completed:
            return "completed";
        case TransferStatus::TimedOut:
            return "timed out";
        case TransferStatus::Cancelled:
            return "cancelled";
        case TransferStatus::Failed:
            return "failed";
    }
    return "failed";
}

CBoardDevice::Found CBoardDevice::OpenFirst(BoardIdentity wanted, std::string& error) {
    std::vector<BoardIdentity> boards = Enumerate();
    if (boards.empty()) return Found::NoBoard;
    bool matched = false;
    for (size_t n = 0; n < boards.size(); ++n) {
        if (boards[n] != wanted) continue;
        matched = true;
        if (Open(n, error)) return Found::Opened;
    }
    return matched ? Found::OpenFailed : Found::NoMatch;
}
