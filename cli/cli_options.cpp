#include "cli/cli_options.h"

#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/metrics_run.h"
#include "cli/shard_options.h"

namespace velk::cli {
namespace {

// "-name=value" always, and "/name=value" when no "/" comes before the "=";
// anything else beginning with "/" is an absolute path.
bool isVariable(std::string_view arg) {
    if (arg.starts_with("-")) return true;
    if (!arg.starts_with("/")) return false;
    size_t eq = arg.find('=');
    return eq != std::string_view::npos &&
           arg.substr(1, eq - 1).find('/') == std::string_view::npos;
}

// "FROM:TO:STEP": FROM and TO 0..9999999, STEP -999..999.
bool parseCycleRange(std::string_view text, CliOptions& o) {
    int values[3];
    for (int i = 0; i < 3; ++i) {
        const size_t colon = i < 2 ? text.find(':') : text.size();
        if (colon == std::string_view::npos) return false;
        const std::string part(text.substr(0, colon));
        char* end = nullptr;
        const long v = part.empty() ? -1 : std::strtol(part.c_str(), &end, 10);
        const long low = i < 2 ? 0 : -999, high = i < 2 ? 9999999 : 999;
        if (part.empty() || *end != '\0' || v < low || v > high) return false;
        values[i] = int(v);
        text.remove_prefix(colon < text.size() ? colon + 1 : colon);
    }
    o.cycleFrom = values[0];
    o.cycleTo = values[1];
    o.cycleStep = values[2];
    return true;
}

// --results, --cycle and --pause: handled tells whether the argument was one
// of them; false with parsed.error set when its value is refused.
bool parseBatchOption(int argc, const char* const* argv, int& i, ParsedCli& parsed, bool& handled) {
    CliOptions& o = parsed.options;
    const std::string_view arg(argv[i]);
    handled = arg == "--results" || arg == "--cycle" || arg == "--pause";
    if (!handled) return true;
    const int needed = arg == "--cycle" ? 2 : 1;
    if (i + needed >= argc) {
        parsed.error =
            std::string(arg) + (arg == "--results" ? " needs a file name, as in --results run.rlt"
                                : arg == "--cycle"
                                    ? " needs an option and a range, as in --cycle clients 10:50:10"
                                    : " needs a number of seconds, as in --pause 5");
        return false;
    }
    if (arg == "--results") {
        o.resultsPath = argv[++i];
    } else if (arg == "--cycle") {
        const std::string_view name(argv[++i]);
        if (name != "clients" && name != "requests") {
            parsed.error =
                "--cycle " + std::string(name) + ": the cycled option is clients or requests";
            return false;
        }
        o.cycling = true;
        o.cycleByIterations = name == "requests";
        if (!parseCycleRange(argv[++i], o)) {
            parsed.error = "--cycle " + std::string(name) + " " + argv[i] +
                           ": expected FROM:TO:STEP, FROM and TO 0..9999999, STEP -999..999";
            return false;
        }
    } else {
        char* end = nullptr;
        const long seconds = std::strtol(argv[++i], &end, 10);
        if (!*argv[i] || *end != '\0' || seconds < 0 || seconds > 9999999) {
            parsed.error = std::string("--pause ") + argv[i] + ": expected seconds, 0..9999999";
            return false;
        }
        o.pause = true;
        o.pauseSeconds = int(seconds);
    }
    return true;
}

// --summary, --html and --threshold: handled as for parseBatchOption.
bool parseFiguresOption(int argc, const char* const* argv, int& i, ParsedCli& parsed,
                        bool& handled) {
    CliOptions& o = parsed.options;
    const std::string_view arg(argv[i]);
    handled = arg == "--summary" || arg == "--html" || arg == "--threshold";
    if (!handled) return true;
    if (i + 1 >= argc) {
        parsed.error = std::string(arg) +
                       (arg == "--summary" ? " needs a file name, as in --summary run.json"
                        : arg == "--html"  ? " needs a file name, as in --html run.html"
                                           : " needs an expression, as in --threshold 'p95<300'");
        return false;
    }
    const std::string value = argv[++i];
    if (arg == "--summary") {
        o.summaryPath = value;
    } else if (arg == "--html") {
        o.htmlPath = value;
    } else {
        StatusOr<Threshold> threshold = velk::results::parseThreshold(value);
        if (!threshold) {
            parsed.error = threshold.status().message();
            return false;
        }
        o.thresholds.push_back(std::move(*threshold));
    }
    return true;
}

// The outputs that would go to standard output: two there would run into each
// other, and neither could be read.
std::vector<std::string> standardOutputs(const CliOptions& o) {
    std::vector<std::string> outputs;
    if (o.printReport) outputs.emplace_back("--report");
    const std::pair<const std::string*, const char*> files[] = {{&o.summaryPath, "--summary -"},
                                                                {&o.htmlPath, "--html -"},
                                                                {&o.resultsPath, "--results -"},
                                                                {&o.shardOut, "--shard-out -"},
                                                                {&o.mergeOut, "--merge -"}};
    for (const auto& [path, name] : files)
        if (*path == "-") outputs.emplace_back(name);
    return outputs;
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
        } else if (arg == "--verify") {
            o.command = Command::Verify;
        } else if (arg == "--report") {
            o.printReport = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg.starts_with("--progress=")) {
            const std::string_view mode = arg.substr(11);
            if (mode == "tty") {
                o.progress = ProgressMode::Tty;
            } else if (mode == "plain") {
                o.progress = ProgressMode::Plain;
            } else if (mode == "none") {
                o.progress = ProgressMode::None;
            } else {
                parsed.error = std::string(arg) +
                               ": expected --progress=tty, --progress=plain or --progress=none";
                return parsed;
            }
        } else if (arg == "--threads") {
            const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
            char* end = nullptr;
            const long n = value != nullptr ? std::strtol(value, &end, 10) : 0;
            if (value == nullptr || end == value || *end != '\0' || n < 1 || n > 1024) {
                parsed.error =
                    "--threads needs a number of event-loop threads from 1 to 1024, as in "
                    "--threads 4";
                return parsed;
            }
            o.loopThreads = int(n);
            ++i;
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
                parsed.error = "--set " + std::string(setting) +
                               ": expected name=value, as in --set clients=10";
                return parsed;
            }
            o.settings.emplace_back(setting);
        } else if (bool batch = false; !parseBatchOption(argc, argv, i, parsed, batch) || batch) {
            if (!parsed.error.empty()) return parsed;
        } else if (bool share = false; !parseShardOption(argc, argv, i, parsed, share) || share) {
            if (!parsed.error.empty()) return parsed;
        } else if (bool figures = false;
                   !parseFiguresOption(argc, argv, i, parsed, figures) || figures) {
            if (!parsed.error.empty()) return parsed;
        } else if (bool metrics = false;
                   !parseMetricsOption(argc, argv, i, parsed, metrics) || metrics) {
            if (!parsed.error.empty()) return parsed;
        } else if (arg.starts_with("--")) {
            parsed.error = "unknown option " + std::string(arg) + " (try --help)";
            return parsed;
        } else if (isVariable(arg)) {
            o.engineArgs.emplace_back(arg);
        } else if (o.scriptPath.empty()) {
            o.scriptPath.assign(arg);
        } else if (!o.mergeOut.empty()) {
            o.shardFiles.emplace_back(arg);
        } else {
            parsed.error =
                "more than one test script given: " + o.scriptPath + " and " + std::string(arg);
            return parsed;
        }
    }
    if (o.scriptPath.empty()) {
        parsed.error = "no test script file given (try --help)";
        return parsed;
    }
    if (o.shards > 0 && wantsFigures(o)) {
        parsed.error =
            "--summary, --html and --threshold go with the run or --merge, not with --shard";
        return parsed;
    }
    if (o.pause && !o.cycling) {
        parsed.error = "--pause goes with --cycle";
        return parsed;
    }
    if (!checkShardOptions(parsed) || !checkMetricsOptions(parsed)) return parsed;
    if (const std::vector<std::string> out = standardOutputs(o);
        o.command == Command::Run && out.size() > 1) {
        parsed.error = out[0] + " and " + out[1] +
                       " would both write to standard output, where neither could be read: "
                       "send all but one to a file";
        return parsed;
    }
    parsed.ok = true;
    return parsed;
}

const char* usageText() {
    return "Usage: velkrun [--set NAME=VALUE ...] [--report] [--quiet] [--progress=MODE]\n"
           "               [--summary FILE.json] [--html FILE.html] [--threshold EXPR ...]\n"
           "               [--results FILE.rlt] [--threads N]\n"
           "               [--metrics ADDRESS:PORT [--metrics-public] [--metrics-linger S]]\n"
           "               [--cycle clients|requests FROM:TO:STEP [--pause SECONDS]]\n"
           "               [--shard K/N --shard-out FILE]\n"
           "               SCRIPT [-name=value ...]\n"
           "       velkrun --merge OUT.rlt [--report] SCRIPT [-name=value ...] SHARD...\n"
           "       velkrun --compare BASELINE CURRENT [--compare-format table|markdown|junit]\n"
           "               [--compare-percent N] [--compare-ms N] [--compare-error-points N]\n"
           "       velkrun --check SCRIPT [-name=value ...]\n"
           "       velkrun --print-script SCENARIO.vts\n"
           "       velkrun --verify SCENARIO.vts [-name=value ...]\n"
           "       velkrun --import-har FILE.har --save-scenario OUT.vts [--no-proposals]\n"
           "               [--keep-static]\n"
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
           "  --progress=tty|plain|none\n"
           "                    how progress is shown: tty a line redrawn in place twice\n"
           "                    a second (the default on a terminal), plain a line every\n"
           "                    10 seconds (the default otherwise), none nothing.\n"
           "  --summary FILE    write the run's figures as JSON: percentiles per request,\n"
           "                    errors, status codes, traffic (the form is described by\n"
           "                    /usr/share/velk/summary-schema.json, in the source\n"
           "                    docs/summary-schema.json);\n"
           "                    with --cycle, the figures of the last pass.  FILE - is\n"
           "                    standard output (so for --html, --results, --shard-out);\n"
           "                    only one output may go there.\n"
           "  --html FILE       write a self-contained HTML report with charts.\n"
           "  --threshold EXPR  a pass/fail limit checked after the run, e.g. 'p95<300',\n"
           "                    'p99.9<1000', 'mean<100', 'errors<1%', 'rps>500' or for one\n"
           "                    request 'login:p95<200' (times in ms; repeatable).\n"
           "  --metrics ADDRESS:PORT\n"
           "                    serve the run's live figures for Prometheus at\n"
           "                    http://ADDRESS:PORT/metrics (a loopback address unless\n"
           "                    --metrics-public; port 0 picks a free one), and the last\n"
           "                    figures for --metrics-linger seconds after it (default 15).\n"
           "  --compare BASELINE CURRENT\n"
           "                    compare two runs (JSON summaries or .rlt files) per request;\n"
           "                    a rise past --compare-percent (10) and --compare-ms (5) for\n"
           "                    p50/p95/p99, or past 10% and --compare-error-points (1) for\n"
           "                    the error share, is a regression: exit status 5.\n"
           "  --threads N       run the users on N event-loop threads (default: one per\n"
           "                    processor); users driven by a script have a thread each.\n"
           "  --results FILE    keep the results of every pass in FILE (a .rlt results\n"
           "                    file that the desktop program opens with Open Results).\n"
           "  --cycle clients|requests FROM:TO:STEP\n"
           "                    a batch run: one pass with each value of the option from\n"
           "                    FROM towards TO by STEP (STEP may be negative; 0 runs one\n"
           "                    pass), with the desktop program's messages.\n"
           "  --pause SECONDS   with --cycle: wait this long between passes.\n"
           "  --shard K/N       run only the users i with i % N = K (K from 0) of a test\n"
           "                    shared by N machines; their results go to the file of\n"
           "                    --shard-out FILE, and no report is written.\n"
           "  --merge OUT.rlt   bring the SHARD files of one test together: the report\n"
           "                    of all users, and OUT.rlt for the desktop program.\n"
           "  --check           only parse the script and print what the engine reports\n"
           "                    about it; exit 1 when it does not parse.\n"
           "  --print-script    print the test script made of the scenario and stop.\n"
           "  --verify          play the scenario once with one user and list, per request,\n"
           "                    the recorded and replayed status, redirect, title and size;\n"
           "                    exit 6 when the replay differs from the recording.\n"
           "  --import-har      turn a browser's HAR file into a scenario saved with\n"
           "                    --save-scenario; print the script-value proposals and apply\n"
           "                    them (--no-proposals: do not); static files are left out\n"
           "                    (--keep-static: kept).\n"
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
           "Exit status (for every run, --cycle and --results too): 0 the run completed;\n"
           "1 the script cannot be read or does not parse, or an option is refused; 2 a\n"
           "usage error; 3 the run (or a pass of --cycle) could not start, completed no\n"
           "request or reached no server, or --metrics could not listen; 4 the report file\n"
           "(or the --summary, --html or --results file) could not be written; 5 a\n"
           "threshold failed or --compare found a regression; 6 --verify found\n"
           "differences; 130 stopped by Ctrl+C, 143 stopped by SIGTERM (the report is still "
           "written).\n";
}

}  // namespace velk::cli
