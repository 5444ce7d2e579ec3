#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The options of the Tessarin program:
//   Tessarin [--home DIR] [--port N] [--x-copies N] [--x-spacing N] [--y-copies N] [--y-spacing N] [JOBFILE]
//   Tessarin --headless [same options] [--exit-when-idle] [JOBFILE...]
struct CommandLine {
    bool bHeadless = false;
    bool bExitWhenIdle = false;
    bool bHelp = false;
    std::filesystem::path home;  // empty: the executable's folder
    int32_t nPort = 9100;        // 0: no TCP print server
    int32_t nXCopies = 1;
    int32_t nXSpacing = 0;
    int32_t nYCopies = 1;
    int32_t nYSpacing = 0;
    std::vector<std::filesystem::path> jobFiles;

    // Nothing on a bad option: `error` then says what is wrong, in a sentence for the operator.
    static std::optional<CommandLine> Parse(const std::vector<std::string>& args, std::string& error);
    static std::string Usage();
};
