#pragma once

// The request records of the board's Windows kernel driver, as bytes. A Windows back end of CBoardDevice
// sends these with DeviceIoControl; they are kept apart from any back end so that their layout is checked
// on every platform.
//
// Every multi-byte field is little-endian and the records have no gaps between fields.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace usbrequest {

// I/O-control codes of the driver's device interface (device type 0x22).
inline constexpr uint32_t kGetDriverVersion = 0x00220000;
inline constexpr uint32_t kGetAltInterfaceSetting = 0x00220008;
inline constexpr uint32_t kSendControlTransfer = 0x00220020;
inline constexpr uint32_t kBufferedTransfer = 0x00220024;
inline constexpr uint32_t kSetTransferSize = 0x00220038;
inline constexpr uint32_t kAbortPipe = 0x00220044;
inline constexpr uint32_t kDirectTransfer = 0x0022004B;

// Drivers older than this take transfers only with the data inside the request record.
inline constexpr uint32_t kFirstDirectDriverVersion = 0x01050500;

inline constexpr size_t kTransferRecordSize = 38;
inline constexpr size_t kTransferSizeRecordSize = 5;

// The fields of the transfer record (the driver's SingleTransfer) that a caller sets.
struct TransferFields {
    uint8_t requestType = 0;  // bmRequestType, control transfers only
    uint8_t request = 0;      // bRequest
    uint16_t value = 0;       // wValue
    uint16_t index = 0;       // wIndex
    uint16_t length = 0;      // wLength
    uint32_t timeoutSeconds = 0;
    uint8_t endpointAddress = 0;
    uint32_t dataOffset = 0;  // from the start of the record; 0 when the data travels in the caller's buffer
    uint32_t dataLength = 0;
};

// The status words the driver writes back into a transfer record.
struct DriverStatus {
    uint32_t ntStatus = 0;
    uint32_t usbdStatus = 0;
    bool Succeeded() const { return ntStatus == 0 && usbdStatus == 0; }
};

using TransferRecord = std::array<uint8_t, kTransferRecordSize>;

TransferRecord EncodeTransfer(const TransferFields& fields);
// Nullopt for a record too short to hold them.
std::optional<DriverStatus> DecodeStatus(std::span<const uint8_t> record);

// A bulk or interrupt transfer whose data travels in the caller's own buffer (kDirectTransfer).
TransferRecord DirectTransfer(uint8_t endpointAddress);

// A bulk or interrupt transfer with the data after the record (kBufferedTransfer): the record and a data
// area of `length` bytes, holding `data` for an OUT transfer and zeros for an IN transfer.
std::vector<uint8_t> BufferedTransfer(uint8_t endpointAddress, std::span<const uint8_t> data);
std::vector<uint8_t> BufferedTransfer(uint8_t endpointAddress, size_t length);

// GET_DESCRIPTOR on endpoint 0 (kSendControlTransfer) with room for `length` bytes after the record.
std::vector<uint8_t> DescriptorRequest(uint8_t descriptorType, uint8_t descriptorIndex, uint16_t length);

// Bytes that reached the data area: what the driver returned less the part taken by the record itself.
uint32_t BytesTransferred(uint32_t bytesReturned, uint32_t dataOffset);

// The set-transfer-size record: endpoint address, then the 32-bit size.
std::array<uint8_t, kTransferSizeRecordSize> TransferSizeRecord(uint8_t endpointAddress, uint32_t size);

// The driver transfers whole packets, so a read must ask for whole packets: 1000 bytes on an endpoint of
// 64- or 512-byte packets become 1024.
uint32_t RoundUpToPackets(uint32_t size, uint32_t maxPacketSize);

// Bytes per service interval of an endpoint, from its descriptor's wMaxPacketSize: the packet size times
// the additional transactions of a high-bandwidth endpoint.
uint32_t EndpointMaxPacketSize(uint16_t wMaxPacketSize);

bool UsesBufferedTransfers(uint32_t driverVersion);

}  // namespace usbrequest
