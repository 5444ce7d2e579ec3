// The C entries of the virtual printer's driver library. Each one hands over to the device and makes sure
// nothing thrown inside (a full disk, memory) unwinds into a caller written against a C interface.

#include <exception>

#include "DriverExport.h"
#include "PrinterDriver.h"
#include "VirtualPrinterDevice.h"
#include "shell/Trace.h"

namespace {

template <class Work>
int32_t Guarded(const char* entry, Work work) {
    try {
        return work(VirtualPrinterDevice::Instance());
    } catch (const std::exception& e) {
        TraceLine("%s failed: %s", entry, e.what());
    } catch (...) {
        TraceLine("%s failed", entry);
    }
    return -1;
}

}  // namespace

extern "C" {

TESSARIN_DRIVER_EXPORT int32_t InitPrinter(int32_t mode) {
    return Guarded("InitPrinter", [=](VirtualPrinterDevice& d) { return d.InitPrinter(mode); });
}

TESSARIN_DRIVER_EXPORT int32_t StartPrint(const void* ripHead48, int32_t zero) {
    return Guarded("StartPrint", [=](VirtualPrinterDevice& d) { return d.StartPrint(ripHead48, zero); });
}

TESSARIN_DRIVER_EXPORT int32_t WriteRipData(const void* data, int32_t count) {
    return Guarded("WriteRipData", [=](VirtualPrinterDevice& d) { return d.WriteRipData(data, count); });
}

TESSARIN_DRIVER_EXPORT int32_t EndRipData(void) {
    return Guarded("EndRipData", [](VirtualPrinterDevice& d) { return d.EndRipData(); });
}

TESSARIN_DRIVER_EXPORT int32_t AbortPrint(void) {
    return Guarded("AbortPrint", [](VirtualPrinterDevice& d) { return d.AbortPrint(); });
}

TESSARIN_DRIVER_EXPORT int32_t PausePrint(void) {
    return Guarded("PausePrint", [](VirtualPrinterDevice& d) { return d.PausePrint(); });
}

TESSARIN_DRIVER_EXPORT int32_t ResumePrint(void) {
    return Guarded("ResumePrint", [](VirtualPrinterDevice& d) { return d.ResumePrint(); });
}

TESSARIN_DRIVER_EXPORT int32_t SkipLines(void) {
    return Guarded("SkipLines", [](VirtualPrinterDevice& d) { return d.SkipLines(); });
}

TESSARIN_DRIVER_EXPORT int32_t EndPrint(void) {
    return Guarded("EndPrint", [](VirtualPrinterDevice& d) { return d.EndPrint(); });
}

TESSARIN_DRIVER_EXPORT int32_t ChangeFeedingData(int32_t value) {
    return Guarded("ChangeFeedingData", [=](VirtualPrinterDevice& d) { return d.ChangeFeedingData(value); });
}

TESSARIN_DRIVER_EXPORT int32_t GetCurrentPass(void) {
    return Guarded("GetCurrentPass", [](VirtualPrinterDevice& d) { return d.GetCurrentPass(); });
}

TESSARIN_DRIVER_EXPORT int32_t ChangeBidData(int32_t value) {
    return Guarded("ChangeBidData", [=](VirtualPrinterDevice& d) { return d.ChangeBidData(value); });
}

TESSARIN_DRIVER_EXPORT int32_t GetCurrentInkmode(void) {
    return Guarded("GetCurrentInkmode", [](VirtualPrinterDevice& d) { return d.GetCurrentInkmode(); });
}

}  // extern "C"

// A signature drifting from the interface would only show as a crash in the loading program.
static_assert(std::is_same_v<decltype(&InitPrinter), PFN_InitPrinter>);
static_assert(std::is_same_v<decltype(&StartPrint), PFN_StartPrint>);
static_assert(std::is_same_v<decltype(&WriteRipData), PFN_WriteRipData>);
static_assert(std::is_same_v<decltype(&EndRipData), PFN_EndRipData>);
static_assert(std::is_same_v<decltype(&AbortPrint), PFN_AbortPrint>);
static_assert(std::is_same_v<decltype(&PausePrint), PFN_PausePrint>);
static_assert(std::is_same_v<decltype(&ResumePrint), PFN_ResumePrint>);
static_assert(std::is_same_v<decltype(&SkipLines), PFN_SkipLines>);
static_assert(std::is_same_v<decltype(&EndPrint), PFN_EndPrint>);
static_assert(std::is_same_v<decltype(&ChangeFeedingData), PFN_ChangeFeedingData>);
static_assert(std::is_same_v<decltype(&GetCurrentPass), PFN_GetCurrentPass>);
static_assert(std::is_same_v<decltype(&ChangeBidData), PFN_ChangeBidData>);
static_assert(std::is_same_v<decltype(&GetCurrentInkmode), PFN_GetCurrentInkmode>);
