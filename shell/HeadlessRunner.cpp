#include "shell/HeadlessRunner.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "platform/File.h"
#include "platform/ProgramDirectory.h"
#include "shell/ConsoleHost.h"
#include "shell/PrintServices.h"
#include "shell/TessarinConfig.h"
#include "shell/Trace.h"

namespace {

// SIGINT and SIGTERM arrive as readable data on a descriptor instead of interrupting some thread: they are
// blocked in every thread (threads started later inherit the mask) and read in the main loop.
platform::File BlockTerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return platform::File(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

bool WaitForSignal(const platform::File& signals, std::chrono::milliseconds timeout) {
    pollfd pfd{signals.Fd(), POLLIN, 0};
    return ::poll(&pfd, 1, static_cast<int>(timeout.count())) > 0;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "Tessarin: %s\n", message.c_str());
    return 2;
}

}  // namespace

int CHeadlessRunner::Run() {
    const CommandLine& cl = m_commandLine;
    if (!cl.home.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(cl.home, ec)) return Fail("the program directory " + cl.home.string() + " does not exist");
        platform::SetProgramDirectory(cl.home);
    }
    const CTessarinConfig config = CTessarinConfig::Load(platform::ProgramDirectory());

    // Without a printer library nothing can print: say so at once rather than fail every job.
    CConsoleHost host(stdout, stderr, ::isatty(STDOUT_FILENO) != 0);
    host.SetLayout(cl.nXCopies, cl.nXSpacing, cl.nYCopies, cl.nYSpacing);
    CPrintServices services(config, host);
    std::string error;
    if (!services.CheckPrinterLibrary(error)) return Fail(error);

    platform::File signals = BlockTerminationSignals();
    if (!services.StartServer(cl.nPort, error)) return Fail(error);
    if (cl.nPort != 0) std::printf("listening for jobs on TCP port %d\n", cl.nPort);
    if (!config.hotFolder.empty()) std::printf("watching the hot folder %s\n", config.hotFolder.c_str());
    std::fflush(stdout);
    for (const auto& file : cl.jobFiles) {
        auto job = std::make_shared<CPrintJob>(std::filesystem::absolute(file).string(), cl.nYCopies);
        host.AddPrintJob(job);
        services.Engine().AddPrintJob(job);
    }
    services.StartEngine();

    // Idle twice in a row, a moment apart, so a job between two hands is not missed.
    int idleChecks = 0;
    bool interrupted = false;
    while (!interrupted) {
        interrupted = WaitForSignal(signals, std::chrono::milliseconds(100));
        // Nobody clears a job list here: ended jobs are let go, or a service running for months keeps
        // every job it ever printed.
        host.ForgetEndedJobs();
        services.Engine().RemoveEndedJobs();
        if (!cl.bExitWhenIdle) continue;
        const bool idle = services.IsIdle();
        idleChecks = idle ? idleChecks + 1 : 0;
        if (idleChecks >= 3) break;
    }
    if (interrupted) std::printf("\nstopping; a job being printed is cancelled\n");
    services.Stop();
    std::fflush(stdout);
    if (interrupted) return 1;
    return host.UnfinishedCount() == 0 ? 0 : 1;
}
