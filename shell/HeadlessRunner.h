#pragma once

#include "shell/CommandLine.h"

// Tessarin without a window: the print engine with its hot-folder watch and the TCP print server, progress
// on the console. SIGINT and SIGTERM cancel what prints and end the program.
class CHeadlessRunner {
public:
    explicit CHeadlessRunner(CommandLine commandLine) : m_commandLine(std::move(commandLine)) {}

    // The exit status: 0 when every job ended with its output finished (or none came), 1 when some job did
    // not, 2 when the service could not start.
    int Run();

private:
    CommandLine m_commandLine;
};
