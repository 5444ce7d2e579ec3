// The nozzle tool's files of any text: Align/TempVol.txt (the values kept between sessions) and
// Align/default.txt (the voltage curves). What was loaded is saved, and what was saved loads back whole.

#include <memory>

#include "FuzzSupport.h"
#include "maint/NozzleVoltageModel.h"
#include "maint/USBDevice.h"

namespace {

using headrecord::kHeads;
using headrecord::kRowValues;

std::unique_ptr<CNozzleVoltageModel> Model() {
    // No board: a send goes as far as building the records and then stops.
    return std::make_unique<CNozzleVoltageModel>(fuzzsupport::ScratchDir(),
                                                 [](const std::filesystem::path&) { return nullptr; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::SilenceTrace();
    fuzzsupport::FuzzInput in(data, size);
    const auto model = Model();
    fuzzsupport::WriteFile(model->TempVolPath(), in.Long());
    fuzzsupport::WriteFile(model->CurvePath(), in.Rest());

    model->LoadValues();
    for (int head = 0; head < kHeads; ++head) {
        for (int field = 0; field < kRowValues; ++field) {
            const auto f = static_cast<headrecord::Field>(field);
            FUZZ_CHECK(!CNozzleVoltageModel::FormatValue(model->Value(head, f)).empty());
        }
    }
    const CNozzleVoltageModel::Outcome sent = model->Send();
    FUZZ_CHECK(!sent.ok && !sent.message.empty());

    FUZZ_CHECK(model->SaveValues());
    const std::string saved = fuzzsupport::ReadFile(model->TempVolPath());
    const auto again = Model();
    FUZZ_CHECK(again->LoadValues());
    for (int head = 0; head < kHeads; ++head) FUZZ_CHECK(again->Colour(head) == model->Colour(head));
    FUZZ_CHECK(again->SaveValues());
    FUZZ_CHECK(fuzzsupport::ReadFile(again->TempVolPath()) == saved);
    return 0;
}
