// The libusb back end against an emulated board: umockdev-run fakes /sys and /dev/bus/usb for a child
// process and answers its usbfs requests from a script, so enumeration, open, interface claim and bulk
// transfers run through the real libusb code. The test runs this test binary again under umockdev-run;
// the child does the transfers. Skipped where libusb is not built in, umockdev is missing, or a sanitizer
// runtime would have to share the process with umockdev's preloaded library.

#include <gtest/gtest.h>

#if defined(TESSARIN_WITH_LIBUSB)

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

#include "TestSupport.h"
#include "maint/HeadRecord.h"
#include "maint/USBDevice.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kChildConfig = "TESSARIN_UMOCKDEV_CONFIG";
const std::filesystem::path kBoardData = std::filesystem::path(TESSARIN_TEST_DATA_DIR) / "maint";

bool SanitizerBuild() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
}

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// In the child: the emulated board (1234:5678, bulk 0x01 and 0x81) answers the query with one record.
void TalkToTheEmulatedBoard(const char* config) {
    CUSBDevice device(config);
    ASSERT_TRUE(device.IsOpen()) << device.OpenError();
    TransferResult sent = device.Write(headrecord::kQuery, 5s);
    EXPECT_TRUE(sent.Ok()) << TransferStatusText(sent.status);
    EXPECT_EQ(sent.length, headrecord::kQuery.size());
    std::array<uint8_t, 1000> buffer{};
    TransferResult group = device.Read(buffer, 5s);
    ASSERT_TRUE(group.Ok()) << TransferStatusText(group.status);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), group.length),
              "$P0A225210+05-12450448300\r");
}

}  // namespace

TEST(UsbLibusbTest, QueryAndGroupTravelThroughLibusb) {
    if (const char* config = std::getenv(kChildConfig)) {
        TalkToTheEmulatedBoard(config);
        return;
    }
    if (SanitizerBuild())
        GTEST_SKIP() << "umockdev's preloaded library cannot run beside a sanitizer runtime";
    if (!std::filesystem::exists("/usr/bin/umockdev-run")) GTEST_SKIP() << "umockdev is not installed";

    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "Tessarin.ini",
                           "[USB]\nVendorID=4660\nProductID=22136\nEPInAddr=129\nEPOutAddr=1\n");
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    std::string command = std::string(kChildConfig) + "=" + Quoted(dir / "Tessarin.ini") +
                          " umockdev-run -d " + Quoted(kBoardData / "board.umockdev") +
                          " -i /dev/bus/usb/001/002=" + Quoted(kBoardData / "board.ioctl") + " -- " +
                          Quoted(self) + " --gtest_filter=UsbLibusbTest.* > " + Quoted(dir / "child.log") +
                          " 2>&1";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << testsupport::ReadFile(dir / "child.log");
}

#endif
