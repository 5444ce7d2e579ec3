#pragma once

// Interface texts in the chosen language. Language/Language.ini names the language ([LAN] Language=english)
// and Language/<name>.ini holds its texts; both are read again at every call, so a language switch shows at
// the next lookup. Safe to call from any thread.

#include <string>
#include <string_view>

std::string GetLanguageText(std::string_view section, std::string_view key, std::string_view szDefault);
