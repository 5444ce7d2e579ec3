#pragma once

#include <cstdint>

// One endpoint of the controller board, as its descriptor describes it. A plain value: the back end that
// listed it performs the transfers, so a copy stays valid for as long as that device stays open.
struct CBoardEndpoint {
    enum Kind : uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

    uint8_t address = 0;     // bEndpointAddress; bit 7 set = IN
    uint8_t attributes = 0;  // bmAttributes
    uint32_t maxPacketSize = 0;
    uint8_t interval = 0;

    bool IsIn() const { return (address & 0x80) != 0; }
    Kind GetKind() const { return static_cast<Kind>(attributes & 3); }
    bool operator==(const CBoardEndpoint&) const = default;
};
