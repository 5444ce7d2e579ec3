#include "shell/CommandLine.h"

#include <charconv>
#include <climits>

namespace {

bool ParseInt(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    int64_t parsed = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

struct NumberOption {
    const char* name;
    int32_t CommandLine::*field;
    int32_t low, high;
};

// X spacing may be negative (it shortens the cell), but never below what leaves a byte of a row.
constexpr NumberOption kNumberOptions[] = {
    {"--port", &CommandLine::nPort, 0, 65535},
    {"--x-copies", &CommandLine::nXCopies, 1, INT32_MAX},
    {"--x-spacing", &CommandLine::nXSpacing, INT32_MIN / 2, INT32_MAX / 2},
    {"--y-copies", &CommandLine::nYCopies, 1, INT32_MAX},
    {"--y-spacing", &CommandLine::nYSpacing, 0, INT32_MAX},
};

}  // namespace

std::optional<CommandLine> CommandLine::Parse(const std::vector<std::string>& args, std::string& error) {
    CommandLine cl;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--headless") {
            cl.bHeadless = true;
        } else if (arg == "--exit-when-idle") {
            cl.bExitWhenIdle = true;
        } else if (arg == "-h" || arg == "--help") {
            cl.bHelp = true;
        } else if (arg == "--home") {
            if (i + 1 >= args.size()) {
                error = "--home needs a folder";
                return std::nullopt;
            }
            cl.home = args[++i];
        } else if (arg.starts_with("--")) {
            const NumberOption* option = nullptr;
            for (const auto& o : kNumberOptions)
                if (arg == o.name) option = &o;
            if (!option) {
                error = "unknown option " + arg;
                return std::nullopt;
            }
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], option->low, option->high, cl.*(option->field))) {
                error = arg + " needs a whole number from " + std::to_string(option->low) + " to " +
                        std::to_string(option->high);
                return std::nullopt;
            }
            ++i;
        } else {
            cl.jobFiles.emplace_back(arg);
        }
    }
    if (cl.bExitWhenIdle && !cl.bHeadless) {
        error = "--exit-when-idle goes with --headless";
        return std::nullopt;
    }
    if (!cl.bHeadless && cl.jobFiles.size() > 1) {
        error = "the window opens one job file; use --headless to print several";
        return std::nullopt;
    }
    return cl;
}

std::string CommandLine::Usage() {
    return "usage: Tessarin [--home DIR] [--port N] [--x-copies N] [--x-spacing N] [--y-copies N] [--y-spacing N] "
           "[JOBFILE]\n"
           "       Tessarin --headless [same options] [--exit-when-idle] [JOBFILE...]\n"
           "  --home DIR        program directory (Tessarin.ini, printer libraries, Language/); default: the\n"
           "                    executable's folder\n"
           "  --port N          TCP print server port, default 9100; 0 turns the server off\n"
           "  --x-copies N      copies across the media (default 1)\n"
           "  --x-spacing N     bytes between copies across (default 0)\n"
           "  --y-copies N      copies of each job (default 1)\n"
           "  --y-spacing N     blank line sets after each copy (default 0)\n"
           "  --headless        no window: print service on the console\n"
           "  --exit-when-idle  end once the queue is done; status 0 only when every job printed\n";
}
