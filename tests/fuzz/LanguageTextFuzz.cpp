// Interface texts from language files of any bytes, with any language name in Language.ini.

#include "FuzzSupport.h"
#include "platform/ProgramDirectory.h"
#include "shell/LanguageText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::SilenceTrace();
    static const bool home = [] {
        platform::SetProgramDirectory(fuzzsupport::ScratchDir());
        return true;
    }();
    (void)home;
    fuzzsupport::FuzzInput in(data, size);
    const std::string section(in.Short(40));
    const std::string key(in.Short(40));
    const auto language = fuzzsupport::ScratchDir() / "Language";
    fuzzsupport::WriteFile(language / "Language.ini", in.Long());
    const std::string_view texts = in.Rest();
    fuzzsupport::WriteFile(language / "english.ini", texts);
    fuzzsupport::WriteFile(language / "chinese.ini", texts);

    for (const auto& [s, k] : {std::pair<std::string, std::string>{section, key},
                               {"MENU", "IDS_FILE"}, {"PANE", "IDS_PRINT_PANE"}}) {
        const std::string text = GetLanguageText(s, k, "built-in");
        FUZZ_CHECK(text.size() <= 254 * 4);
    }
    return 0;
}
