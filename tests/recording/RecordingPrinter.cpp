#include "RecordingPrinter.h"

#include "PrinterDriver.h"

#define RECORDING_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

RecordingState& State() {
    static RecordingState state;
    return state;
}

int32_t Record(const char* entry, int32_t arg, const void* data, size_t size, int32_t result) {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    RecordedCall call{entry, arg, {}};
    if (data) call.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    s.calls.push_back(std::move(call));
    s.changed.notify_all();
    return result;
}

int32_t WriteCount() {
    int32_t n = 0;
    for (const auto& c : State().calls) n += c.entry == "WriteRipData";
    return n;
}

}  // namespace

RECORDING_EXPORT RecordingState* RecordingPrinter_State() { return &State(); }

RECORDING_EXPORT int32_t InitPrinter(int32_t mode) {
    int32_t result;
    {
        std::lock_guard lock(State().mutex);
        result = State().initResult;
    }
    return Record("InitPrinter", mode, nullptr, 0, result);
}

RECORDING_EXPORT int32_t StartPrint(const void* head, int32_t zero) {
    int32_t result;
    {
        std::lock_guard lock(State().mutex);
        result = State().startResult;
    }
    return Record("StartPrint", zero, head, 48, result);
}

RECORDING_EXPORT int32_t WriteRipData(const void* data, int32_t count) {
    auto& s = State();
    int32_t number;
    int32_t result = count;
    std::function<void(int32_t)> hook;
    {
        std::lock_guard lock(s.mutex);
        number = WriteCount() + 1;
        if (s.writeFailAt == number) result = s.writeResult;
        hook = s.onWrite;
    }
    Record("WriteRipData", count, data, count > 0 ? static_cast<size_t>(count) : 0, result);
    if (hook) hook(number);
    return result;
}

RECORDING_EXPORT int32_t EndRipData() { return Record("EndRipData", 0, nullptr, 0, 1); }
RECORDING_EXPORT int32_t AbortPrint() { return Record("AbortPrint", 0, nullptr, 0, 1); }
RECORDING_EXPORT int32_t PausePrint() { return Record("PausePrint", 0, nullptr, 0, 1); }
RECORDING_EXPORT int32_t ResumePrint() { return Record("ResumePrint", 0, nullptr, 0, 1); }
RECORDING_EXPORT int32_t SkipLines() { return Record("SkipLines", 0, nullptr, 0, 1); }
RECORDING_EXPORT int32_t EndPrint() { return Record("EndPrint", 0, nullptr, 0, 1); }
RECORDING_EXPORT int32_t ChangeFeedingData(int32_t v) { return Record("ChangeFeedingData", v, nullptr, 0, 1); }
RECORDING_EXPORT int32_t GetCurrentPass() { return Record("GetCurrentPass", 0, nullptr, 0, 4); }
RECORDING_EXPORT int32_t ChangeBidData(int32_t v) { return Record("ChangeBidData", v, nullptr, 0, 1); }
RECORDING_EXPORT int32_t GetCurrentInkmode() { return Record("GetCurrentInkmode", 0, nullptr, 0, 0); }
RECORDING_EXPORT int32_t SettingDialog(void* parent) {
    return Record("SettingDialog", parent ? 1 : 0, nullptr, 0, 7);
}
