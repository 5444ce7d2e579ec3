#include <gtest/gtest.h>

#include <vector>

#include "maint/UsbRequest.h"

using namespace usbrequest;

namespace {

std::vector<uint8_t> Bytes(std::span<const uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

// The 38-byte header of a request: what a driver built for the original layout must find.
std::vector<uint8_t> Header(std::vector<uint8_t> request) {
    request.resize(kTransferRecordSize);
    return request;
}

}  // namespace

TEST(UsbRequestTest, TransferRecordPutsEveryFieldAtItsOffsetLittleEndian) {
    TransferFields fields{
        .requestType = 0xA1,
        .request = 0xB2,
        .value = 0x0403,
        .index = 0x0605,
        .length = 0x0807,
        .timeoutSeconds = 0x0C0B0A09,
        .endpointAddress = 0x82,
        .dataOffset = 0x21201F1E,
        .dataLength = 0x25242322,
    };
    std::vector<uint8_t> expected = {
        0xA1, 0xB2, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,  // request type, request, value, index, length
        0x09, 0x0A, 0x0B, 0x0C,                          // control time-out
        0x00, 0x82,                                      // reserved, endpoint
        0,    0,    0,    0,    0,    0,    0,    0,     // NT and USBD status, the driver's to fill
        0,    0,    0,    0,    0,    0,    0,    0,     // isochronous packet records
        0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25,  // data offset, data length
    };
    EXPECT_EQ(Bytes(EncodeTransfer(fields)), expected);
}

TEST(UsbRequestTest, DirectTransferCarriesOnlyTheEndpoint) {
    std::vector<uint8_t> expected(kTransferRecordSize, 0);
    expected[13] = 0x81;
    EXPECT_EQ(Bytes(DirectTransfer(0x81)), expected);
}

TEST(UsbRequestTest, BufferedTransferAppendsTheDataAreaAfterTheRecord) {
    const std::vector<uint8_t> data = {'$', 'P', 'C', '\r'};
    std::vector<uint8_t> out = BufferedTransfer(0x01, data);
    ASSERT_EQ(out.size(), kTransferRecordSize + data.size());
    EXPECT_EQ(Header(out),
              Bytes(EncodeTransfer({.endpointAddress = 0x01, .dataOffset = 38, .dataLength = 4})));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + kTransferRecordSize, out.end()), data);

    std::vector<uint8_t> in = BufferedTransfer(0x81, size_t{1024});
    ASSERT_EQ(in.size(), kTransferRecordSize + 1024);
    EXPECT_EQ(Header(in),
              Bytes(EncodeTransfer({.endpointAddress = 0x81, .dataOffset = 38, .dataLength = 1024})));
}

TEST(UsbRequestTest, DescriptorReadsAreStandardGetDescriptorRequests) {
    struct Case {
        uint8_t type;
        uint8_t index;
        uint16_t length;
        uint8_t valueLow;
        uint8_t valueHigh;
    } cases[] = {
        {1, 0, 18, 0x00, 0x01},   // device descriptor: a 56-byte request
        {2, 1, 9, 0x01, 0x02},    // head of the second configuration descriptor
        {3, 0, 255, 0x00, 0x03},  // language list
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> request = DescriptorRequest(c.type, c.index, c.length);
        ASSERT_EQ(request.size(), kTransferRecordSize + c.length) << int(c.type);
        EXPECT_EQ(request[0], 0x80);
        EXPECT_EQ(request[1], 6);
        EXPECT_EQ(request[2], c.valueLow);
        EXPECT_EQ(request[3], c.valueHigh);
        EXPECT_EQ(request[6] | request[7] << 8, c.length);
        EXPECT_EQ(request[8], 5) << "control transfers wait 5 seconds";
        EXPECT_EQ(request[30], 38);
        EXPECT_EQ(request[34] | request[35] << 8, c.length);
    }
}

TEST(UsbRequestTest, StatusWordsAreReadBackFromTheRecord) {
    std::vector<uint8_t> record(kTransferRecordSize + 18, 0);
    EXPECT_TRUE(DecodeStatus(record)->Succeeded());

    record[14] = 0x01;  // NT status 0xC0000001
    record[17] = 0xC0;
    record[18] = 0x04;  // USBD status 0x80000004
    record[21] = 0x80;
    std::optional<DriverStatus> status = DecodeStatus(record);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->ntStatus, 0xC0000001u);
    EXPECT_EQ(status->usbdStatus, 0x80000004u);
    EXPECT_FALSE(status->Succeeded());

    EXPECT_FALSE(DecodeStatus(std::span(record).first(kTransferRecordSize - 1)));
}

TEST(UsbRequestTest, TransferSizeRecordIsAddressThenSizeWithoutGap) {
    EXPECT_EQ(Bytes(TransferSizeRecord(0x81, 1024)), (std::vector<uint8_t>{0x81, 0x00, 0x04, 0x00, 0x00}));
    EXPECT_EQ(Bytes(TransferSizeRecord(0x82, 0x12345678)),
              (std::vector<uint8_t>{0x82, 0x78, 0x56, 0x34, 0x12}));
}

TEST(UsbRequestTest, ReadLengthIsRoundedUpToWholePackets) {
    struct Case {
        uint32_t size, packet, expected;
    } cases[] = {
        {1000, 64, 1024}, {1000, 512, 1024}, {1024, 512, 1024}, {1025, 512, 1536},
        {1, 64, 64},      {0, 64, 0},        {1000, 0, 1000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RoundUpToPackets(c.size, c.packet), c.expected) << c.size << " on " << c.packet;
}

TEST(UsbRequestTest, EndpointPacketSizeCountsHighBandwidthTransactions) {
    struct Case {
        uint16_t wMaxPacketSize;
        uint32_t expected;
    } cases[] = {
        {0x0040, 64},    // full-speed bulk
        {0x0200, 512},   // high-speed bulk
        {0x0C00, 2048},  // 1024 bytes, one additional transaction
        {0x1400, 3072},  // 1024 bytes, two additional transactions
        {0xE040, 64},    // reserved bits do not count
    };
    for (const Case& c : cases)
        EXPECT_EQ(EndpointMaxPacketSize(c.wMaxPacketSize), c.expected) << c.wMaxPacketSize;
}

TEST(UsbRequestTest, OldDriversGetBufferedTransfers) {
    EXPECT_TRUE(UsesBufferedTransfers(0x01050499));
    EXPECT_TRUE(UsesBufferedTransfers(0));
    EXPECT_FALSE(UsesBufferedTransfers(0x01050500));
    EXPECT_FALSE(UsesBufferedTransfers(0x02000000));
}

TEST(UsbRequestTest, BytesTransferredLeaveOutTheRecord) {
    EXPECT_EQ(BytesTransferred(56, 38), 18u);
    EXPECT_EQ(BytesTransferred(38, 38), 0u);
    EXPECT_EQ(BytesTransferred(0, 38), 0u);
    EXPECT_EQ(BytesTransferred(1024, 0), 1024u);
}
