#include <gtest/gtest.h>

#include <array>
#include <future>
#include <thread>

#include "TestSupport.h"
#include "maint/HeadRecord.h"
#include "maint/SimulatedBoard.h"
#include "maint/SimulatedBoardDevice.h"
#include "maint/USBDevice.h"

using namespace std::chrono_literals;

namespace {

constexpr BoardIdentity kBoardIds{0x1234, 0x5678};

std::span<const uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string AsText(std::span<const uint8_t> bytes, size_t length) {
    return {reinterpret_cast<const char*>(bytes.data()), length};
}

class UsbDeviceTest : public ::testing::Test {
protected:
    void Configure(BoardIdentity ids, int inAddress = 0x81, int outAddress = 0x01, bool simulated = false) {
        testsupport::WriteFile(m_config, "[USB]\nVendorID=" + std::to_string(ids.vendorId) +
                                             "\nProductID=" + std::to_string(ids.productId) +
                                             "\nEPInAddr=" + std::to_string(inAddress) +
                                             "\nEPOutAddr=" + std::to_string(outAddress) +
                                             "\nSimulated=" + (simulated ? "1" : "0") + "\n");
    }

    static std::shared_ptr<CSimulatedBoard> Board(BoardIdentity ids) {
        return std::make_shared<CSimulatedBoard>(ids, 0x81, 0x01);
    }

    std::unique_ptr<CUSBDevice> Open(std::vector<std::shared_ptr<CSimulatedBoard>> boards) {
        return std::make_unique<CUSBDevice>(m_config,
                                            std::make_unique<CSimulatedBoardDevice>(std::move(boards)));
    }

    testsupport::TempDir m_dir;
    std::filesystem::path m_config = m_dir / "Tessarin.ini";
};

// Records the size of every read and answers with a full buffer, as a board sending whole packets does.
class PacketBoardDevice final : public CBoardDevice {
public:
    explicit PacketBoardDevice(std::vector<size_t>& readSizes) : m_readSizes(readSizes) {}
    std::vector<BoardIdentity> Enumerate() override { return {kBoardIds}; }
    bool Open(size_t, std::string&) override { return m_open = true; }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    uint16_t VendorID() const override { return kBoardIds.vendorId; }
    uint16_t ProductID() const override { return kBoardIds.productId; }
    const std::vector<CBoardEndpoint>& Endpoints() const override { return m_endpoints; }
    TransferResult Transfer(const CBoardEndpoint&, std::span<uint8_t> buffer, std::chrono::milliseconds,
                            std::stop_token) override {
        m_readSizes.push_back(buffer.size());
        std::fill(buffer.begin(), buffer.end(), 'x');
        return {TransferStatus::Completed, buffer.size()};
    }

private:
    std::vector<size_t>& m_readSizes;
    bool m_open = false;
    std::vector<CBoardEndpoint> m_endpoints = {{0, 0, 64, 0}, {0x81, CBoardEndpoint::Bulk, 512, 0}};
};

}  // namespace

TEST_F(UsbDeviceTest, TheMatchingBoardWithTheLowestNumberIsTaken) {
    Configure(kBoardIds);
    auto other = Board({0x1234, 0x9999});
    auto first = Board(kBoardIds);
    auto second = Board(kBoardIds);
    auto device = Open({other, first, second});
    ASSERT_TRUE(device->IsOpen());
    EXPECT_TRUE(device->OpenError().empty());

    EXPECT_TRUE(device->Write(AsBytes("$PC\r"), 1s).Ok());
    EXPECT_EQ(first->Received(), std::vector<std::string>{"$PC\r"});
    EXPECT_TRUE(second->Received().empty());
    EXPECT_TRUE(other->Received().empty());
}

TEST_F(UsbDeviceTest, NoBoardAtAllFailsTheOpenWithAMessageInsteadOfEndingTheProgram) {
    Configure(kBoardIds);
    testsupport::TraceCapture trace;
    auto device = Open({});
    EXPECT_FALSE(device->IsOpen());
    EXPECT_NE(device->OpenError(), "");
    EXPECT_NE(trace.Text().find("DeviceCount = 0"), std::string::npos);
    EXPECT_FALSE(device->Write(AsBytes("$PC\r"), 1s).Ok());
    std::array<uint8_t, 16> buffer{};
    EXPECT_FALSE(device->Read(buffer, 1s).Ok());
}

TEST_F(UsbDeviceTest, BoardsWithOtherIdsAreNotOpened) {
    Configure(kBoardIds);
    testsupport::TraceCapture trace;
    auto device = Open({Board({0x1234, 0x0001}), Board({0x4321, 0x5678})});
    EXPECT_FALSE(device->IsOpen());
    EXPECT_NE(device->OpenError().find("0x1234"), std::string::npos);
    EXPECT_NE(trace.Text().find("Can't open the device of VendorID = 0x1234, ProductID = 0x5678!"),
              std::string::npos);
}

TEST_F(UsbDeviceTest, SuccessTraceShowsTheIdsAndEndpoints) {
    Configure(kBoardIds);
    testsupport::TraceCapture trace;
    auto device = Open({Board(kBoardIds)});
    ASSERT_TRUE(device->IsOpen());
    EXPECT_NE(trace.Text().find("Start to open USB devece!"), std::string::npos);
    EXPECT_NE(trace.Text().find("Open USB success!\nVendorID = 0x1234, ProductID = 0x5678\n"
                                "EPInAddr = 0x81, EpOutAddr = 0x1!"),
              std::string::npos);
}

TEST_F(UsbDeviceTest, AnEndpointTheBoardLacksFailsOnlyItsDirection) {
    struct Case {
        const char* name;
        int inAddress;
        int outAddress;
        bool writes;
        bool reads;
    } cases[] = {
        {"OUT address not offered", 0x81, 0x02, false, true},
        {"IN address not offered", 0x83, 0x01, true, false},
        {"IN configured as an OUT address", 0x01, 0x01, true, false},
        {"control endpoint configured", 0x81, 0x00, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure(kBoardIds, c.inAddress, c.outAddress);
        auto board = Board(kBoardIds);
        auto device = Open({board});
        ASSERT_TRUE(device->IsOpen());
        EXPECT_EQ(device->Write(headrecord::kQuery, 1s).Ok(), c.writes);
        board->Receive(headrecord::kQuery);  // an answer waits whether or not the write went out
        std::array<uint8_t, 64> buffer{};
        EXPECT_EQ(device->Read(buffer, 1s).Ok(), c.reads);
    }
}

TEST_F(UsbDeviceTest, ReadAsksForWholePacketsAndKeepsWhatFits) {
    Configure(kBoardIds);
    std::vector<size_t> readSizes;
    CUSBDevice device(m_config, std::make_unique<PacketBoardDevice>(readSizes));
    ASSERT_TRUE(device.IsOpen());
    std::vector<uint8_t> buffer(1000, 0);
    TransferResult result = device.Read(buffer, 1s);
    EXPECT_TRUE(result.Ok());
    EXPECT_EQ(result.length, 1000u);
    EXPECT_EQ(readSizes, std::vector<size_t>{1024});
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 'x'), 1000);

    std::vector<uint8_t> whole(512, 0);
    device.Read(whole, 1s);
    EXPECT_EQ(readSizes.back(), 512u) << "a buffer of whole packets is read into directly";
}

TEST_F(UsbDeviceTest, ATimedOutReadIsCancelledAndTheNextAnswerGoesToTheNextRead) {
    Configure(kBoardIds);
    auto board = Board(kBoardIds);
    auto device = Open({board});
    std::array<uint8_t, 64> buffer{};
    EXPECT_EQ(device->Read(buffer, 20ms).status, TransferStatus::TimedOut);

    ASSERT_TRUE(device->Write(headrecord::kQuery, 1s).Ok());
    TransferResult first = device->Read(buffer, 1s);
    ASSERT_TRUE(first.Ok());
    EXPECT_EQ(AsText(buffer, first.length), "$P0A000000000000000000000\r");
}

TEST_F(UsbDeviceTest, AStopRequestEndsAWaitingReadAtOnce) {
    Configure(kBoardIds);
    auto board = Board(kBoardIds);
    auto device = Open({board});
    std::stop_source stop;
    auto reading = std::async(std::launch::async, [&] {
        std::array<uint8_t, 64> buffer{};
        return device->Read(buffer, 60s, stop.get_token()).status;
    });
    ASSERT_TRUE(board->WaitForPendingRead(10s));
    stop.request_stop();
    ASSERT_EQ(reading.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(reading.get(), TransferStatus::Cancelled);

    std::array<uint8_t, 64> buffer{};
    EXPECT_EQ(device->Read(buffer, 1s, stop.get_token()).status, TransferStatus::Cancelled)
        << "a stop requested before the read begins";
}

TEST_F(UsbDeviceTest, OpenOnAnOpenDeviceKeepsItWithoutReadingTheFileAgain) {
    Configure(kBoardIds);
    auto device = Open({Board(kBoardIds)});
    ASSERT_TRUE(device->IsOpen());
    Configure({1, 1});
    EXPECT_TRUE(device->Open(m_config));
    EXPECT_TRUE(device->Write(headrecord::kQuery, 1s).Ok());
}

TEST_F(UsbDeviceTest, SimulatedKeyPlugsInABoardWithTheConfiguredIdsAndAddresses) {
    Configure({0x0ABC, 0x0DEF}, 0x82, 0x02, true);
    auto board = CSimulatedBoard::Plugged();
    board->Reset();
    CUSBDevice device(m_config);
    ASSERT_TRUE(device.IsOpen()) << device.OpenError();
    EXPECT_EQ(board->Identity(), (BoardIdentity{0x0ABC, 0x0DEF}));
    ASSERT_TRUE(device.Write(headrecord::kQuery, 1s).Ok());
    EXPECT_EQ(board->Received(), std::vector<std::string>{"$PC\r"});
    std::array<uint8_t, 64> buffer{};
    EXPECT_TRUE(device.Read(buffer, 1s).Ok());
    board->Reset();
}
