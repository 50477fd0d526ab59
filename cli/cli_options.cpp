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
    for (int i = 1; i < argc; ++i) {
        std::string_view arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            o.command = Command::Help;
            parsed.ok = true;
            return parsed;
        }
        if (arg == "--version") {
            o.command = Command::Version;
            parsed.ok = true;
            return parsed;
        }
        if (arg == "--check") {
            o.command = Command::Check;
        } else if (arg == "--print-script") {
            o.command = Command::PrintScript;
        } else if (arg == "--report") {
            o.printReport = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--set" || arg.starts_with("--set=")) {
            std::string_view setting;
            if (arg == "--set") {
                if (i + 1 >= argc) {
                    parsed.error = "--set needs an option, as in --set clients=10";
                    return parsed;
                }
                setting = argv[++i];
            } else {
                setting = arg.substr(6);
            }
            if (setting.find('=') == std::string_view::npos) {
                parsed.error = "--set " + std::string(setting) + ": expected name=value, as in --set clients=10";
                return parsed;
            }
            o.settings.emplace_back(setting);
        } else if (arg.starts_with("--")) {
            parsed.error = "unknown option " + std::string(arg) + " (try --help)";
            return parsed;
        } else if (isVariable(arg)) {
            o.engineArgs.emplace_back(arg);
        } else if (o.scriptPath.empty()) {
            o.scriptPath.assign(arg);
        } else {
            parsed.error = "more than one test script given: " + o.scriptPath + " and " + std::string(arg);
            return parsed;
        }
    }
    if (o.scriptPath.empty()) {
        parsed.error = "no test script file given (try --help)";
        return parsed;
    }
    parsed.ok = true;
    return parsed;
}

const char* usageText() {
    return "Usage: velkrun [--set NAME=VALUE ...] [--report] [--quiet] SCRIPT [-name=value ...]\n"
           "       velkrun --check SCRIPT [-name=value ...]\n"
           "       velkrun --print-script SCENARIO.vts\n"
           "       velkrun --help | --version\n"
           "\n"
           "Runs the load test described by the test script SCRIPT and writes its report.\n"
           "SCRIPT may also be a scenario file of the desktop program (a name ending in\n"
           ".vts): its test script is made with your saved global settings (or their\n"
           "defaults; velkrun says which) and the file name as the project name.\n"
           "\n"
           "  --set NAME=VALUE  set a general option after the script is read, e.g.\n"
           "                    --set clients=50 --set requests=10 (repeatable).\n"
           "  --report          also print the report on standard output.\n"
           "  --quiet           no progress display.\n"
           "  --check           only parse the script and print what the engine reports\n"
           "                    about it; exit 1 when it does not parse.\n"
           "  --print-script    print the test script made of the scenario and stop.\n"
           "  --help            show this text.\n"
           "  --version         show the engine version.\n"
           "\n"
           "Arguments -name=value and /name=value set global variables that the script\n"
           "reads with $gvar(name,default); an argument that begins with \"/\" and has\n"
           "another \"/\" before its \"=\" is a path.  velkrun's own options begin with \"--\".\n"
           "\n"
           "The report file is written as the script's reportdir and outfile options say;\n"
           "Ctrl+C stops the run and still writes the report.\n"
           "\n"
           "Exit status: 0 the run completed; 1 the script cannot be read or does not\n"
           "parse, or an option is refused; 2 a usage error; 3 the run could not start or\n"
           "completed no request; 4 the report file could not be written; 130 stopped by\n"
           "Ctrl+C (the report is still written).\n";
}

}  // namespace velk::cli
