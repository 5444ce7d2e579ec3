#include "maint/UsbRequest.h"

#include <algorithm>

namespace usbrequest {

namespace {

constexpr size_t kOffsetRequestType = 0;
constexpr size_t kOffsetRequest = 1;
constexpr size_t kOffsetValue = 2;
constexpr size_t kOffsetIndex = 4;
constexpr size_t kOffsetLength = 6;
constexpr size_t kOffsetTimeout = 8;
constexpr size_t kOffsetEndpoint = 13;
constexpr size_t kOffsetNtStatus = 14;
constexpr size_t kOffsetUsbdStatus = 18;
constexpr size_t kOffsetDataOffset = 30;
constexpr size_t kOffsetDataLength = 34;

constexpr uint8_t kDeviceToHostStandardDevice = 0x80;
constexpr uint8_t kGetDescriptor = 6;
constexpr uint32_t kControlTimeoutSeconds = 5;

void Put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Get32(std::span<const uint8_t> bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[offset + static_cast<size_t>(i)];
    return value;
}

std::vector<uint8_t> RecordWithDataArea(TransferFields fields, size_t length) {
    fields.dataOffset = static_cast<uint32_t>(kTransferRecordSize);
    fields.dataLength = static_cast<uint32_t>(length);
    TransferRecord record = EncodeTransfer(fields);
    std::vector<uint8_t> request(kTransferRecordSize + length, 0);
    std::copy(record.begin(), record.end(), request.begin());
    return request;
}

}  // namespace

TransferRecord EncodeTransfer(const TransferFields& fields) {
    TransferRecord record{};
    record[kOffsetRequestType] = fields.requestType;
    record[kOffsetRequest] = fields.request;
    Put16(&record[kOffsetValue], fields.value);
    Put16(&record[kOffsetIndex], fields.index);
    Put16(&record[kOffsetLength], fields.length);
    Put32(&record[kOffsetTimeout], fields.timeoutSeconds);
    record[kOffsetEndpoint] = fields.endpointAddress;
    Put32(&record[kOffsetDataOffset], fields.dataOffset);
    Put32(&record[kOffsetDataLength], fields.dataLength);
    return record;
}

std::optional<DriverStatus> DecodeStatus(std::span<const uint8_t> record) {
    if (record.size() < kTransferRecordSize) return std::nullopt;
    return DriverStatus{Get32(record, kOffsetNtStatus), Get32(record, kOffsetUsbdStatus)};
}

TransferRecord DirectTransfer(uint8_t endpointAddress) {
    return EncodeTransfer({.endpointAddress = endpointAddress});
}

std::vector<uint8_t> BufferedTransfer(uint8_t endpointAddress, std::span<const uint8_t> data) {
    std::vector<uint8_t> request = RecordWithDataArea({.endpointAddress = endpointAddress}, data.size());
    std::copy(data.begin(), data.end(), request.begin() + kTransferRecordSize);
    return request;
}

std::vector<uint8_t> BufferedTransfer(uint8_t endpointAddress, size_t length) {
    return RecordWithDataArea({.endpointAddress = endpointAddress}, length);
}

std::vector<uint8_t> DescriptorRequest(uint8_t descriptorType, uint8_t descriptorIndex, uint16_t length) {
    TransferFields fields{
        .requestType = kDeviceToHostStandardDevice,
        .request = kGetDescriptor,
        .value = static_cast<uint16_t>(descriptorType << 8 | descriptorIndex),
        .length = length,
        .timeoutSeconds = kControlTimeoutSeconds,
    };
    return RecordWithDataArea(fields, length);
}

uint32_t BytesTransferred(uint32_t bytesReturned, uint32_t dataOffset) {
    return bytesReturned > dataOffset ? bytesReturned - dataOffset : 0;
}

std::array<uint8_t, kTransferSizeRecordSize> TransferSizeRecord(uint8_t endpointAddress, uint32_t size) {
    std::array<uint8_t, kTransferSizeRecordSize> record{};
    record[0] = endpointAddress;
    Put32(&record[1], size);
    return record;
}

uint32_t RoundUpToPackets(uint32_t size, uint32_t maxPacketSize) {
    if (maxPacketSize == 0) return size;
    uint32_t remainder = size % maxPacketSize;
    return remainder == 0 ? size : size + (maxPacketSize - remainder);
}

uint32_t EndpointMaxPacketSize(uint16_t wMaxPacketSize) {
    uint32_t packet = wMaxPacketSize & 0x7FFu;
    uint32_t perInterval = ((wMaxPacketSize >> 11) & 3u) + 1;
    return packet * perInterval;
}

bool UsesBufferedTransfers(uint32_t driverVersion) {
    return driverVersion < kFirstDirectDriverVersion;
}

}  // namespace usbrequest
