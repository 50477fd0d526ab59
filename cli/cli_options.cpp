#include "cli_options.h"

#include <string_view>

namespace velk::cli {
namespace {

// "-name=value" always, and "/name=value" when no "/" comes before the "=";
// anything else beginning with "/" is an absolute path.
bool isVariable(std::string_view arg) {
    if (arg.starts_with("-")) return true;
    if (!arg.starts_with("/")) return false;
    size_t eq = arg.find('=');
    return eq != std::string_view::npos && arg.substr(1, eq - 1).find('/') == std::string_view::npos;
}

}  // namespace

ParsedCli parseCli(int argc, const char* const* argv) {
    ParsedCli parsed;
    CliOptions& o = parsed.options;
    o.engineArgs.push_back(argc > 0 && argv[0] ? argv[0] : "velkrun");
    bool commandGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg(argv[i]);
        if (arg.starts_with("--")) {
            Command c;
            if (arg == "--check") c = Command::Check;
            else if (arg == "--help") c = Command::Help;
            else if (arg == "--version") c = Command::Version;
            else {
                parsed.error = "unknown option " + std::string(arg) + " (try --help)";
                return parsed;
            }
            if (c == Command::Help || c == Command::Version) {
                o.command = c;
                parsed.ok = true;
                return parsed;
            }
            o.command = c;
            commandGiven = true;
            continue;
        }
        if (isVariable(arg))
            o.engineArgs.emplace_back(arg);
        else
            o.scriptPath.assign(arg);
    }
    if (!commandGiven) {
        parsed.error = "no command given (try --help)";
        return parsed;
    }
    if (o.scriptPath.empty()) {
        parsed.error = "no test script file given (try --help)";
        return parsed;
    }
    parsed.ok = true;
    return parsed;
}

const char* usageText() {
    return "Usage: velkrun --check [-name=value | /name=value ...] SCRIPT\n"
           "       velkrun --help | --version\n"
           "\n"
           "  --check     parse the test script SCRIPT and print what the engine reports\n"
           "              about it (users, iterations, test sequence); exit 1 on an error.\n"
           "  --help      show this text.\n"
           "  --version   show the engine version.\n"
           "\n"
           "Arguments -name=value and /name=value set global variables that the script\n"
           "reads with $gvar(name,default); an argument that begins with \"/\" and has\n"
           "another \"/\" before its \"=\" is a path.  velkrun's own options begin with \"--\".\n";
}

}  // namespace velk::cli
