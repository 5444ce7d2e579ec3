// The settings library of the virtual printer. A real printer shows its maker's settings dialog here; on
// Linux there is none, so the call is only recorded, in settings.log of the output folder, for the tests
// and demos that check Tessarin opened the printer settings.

#include <time.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <mutex>
#include <type_traits>

#include "DriverExport.h"
#include "LibraryLocation.h"
#include "PrinterDriver.h"
#include "VirtualPrinterConfig.h"

namespace {

std::string LocalTimeNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    char text[32] = "";
    if (::localtime_r(&now, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

void RecordSettingDialog() {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const std::filesystem::path folder = VirtualPrinterConfig::Load(LibraryFolder()).outputFolder;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::ofstream log(folder / "settings.log", std::ios::binary | std::ios::app);
    log << LocalTimeNow() << " SettingDialog() = 1\n";
    if (!log.flush()) std::fprintf(stderr, "VirtualPrinterSetting: cannot write %s\n", folder.c_str());
}

}  // namespace

extern "C" TESSARIN_DRIVER_EXPORT int32_t SettingDialog(void* /*parentWindow*/) {
    try {
        RecordSettingDialog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "VirtualPrinterSetting: %s\n", e.what());
    }
    // The dialog itself cannot fail, so neither does the call: the log is a by-product.
    return 1;
}

static_assert(std::is_same_v<decltype(&SettingDialog), PFN_SettingDialog>);
