// The Tessarin program.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/CommandLine.h"
#include "shell/HeadlessRunner.h"
#if TESSARIN_WITH_GUI
#include "shell/TessarinApp.h"
#endif

int main(int argc, char** argv) {
    const auto processStart = std::chrono::steady_clock::now();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto commandLine = CommandLine::Parse(args, error);
    if (!commandLine) {
        std::fprintf(stderr, "Tessarin: %s\n%s", error.c_str(), CommandLine::Usage().c_str());
        return 2;
    }
    if (commandLine->bHelp) {
        std::fputs(CommandLine::Usage().c_str(), stdout);
        return 0;
    }
#if TESSARIN_WITH_GUI
    if (!commandLine->bHeadless) return CTessarinApp::Run(argc, argv, std::move(*commandLine), processStart);
#else
    (void)processStart;
    if (!commandLine->bHeadless) {
        std::fputs("Tessarin: this build has no window; running as a headless service.\n", stderr);
        commandLine->bHeadless = true;
    }
#endif
    return CHeadlessRunner(std::move(*commandLine)).Run();
}
