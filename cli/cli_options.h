#pragma once
// What the user asked velkrun for.  velkrun's own options begin with "--"; every
// other argument goes to the engine ("-name=value" and "/name=value" global
// variables) or names the test script, so the two cannot collide.
#include <string>
#include <vector>

#include "app/results/thresholds.h"

namespace velk::cli {

// Thresholds are judged in the application core, which the desktop program shares.
using velk::results::Threshold;

enum class Command { Run, Check, PrintScript, Verify, Help, Version };

// How progress is shown while a test runs: Auto is a live line when standard
// error is a terminal and plain lines otherwise.
enum class ProgressMode { Auto, Tty, Plain, None };

struct CliOptions {
    Command command = Command::Run;
    // Variable arguments for the engine, program name first, as ParseCommandLine
    // takes them.
    std::vector<std::string> engineArgs;
    // The test script file, or a .vts scenario.
    std::string scriptPath;
    // General options to set after the script is parsed ("name=value").
    std::vector<std::string> settings;
    bool printReport = false;                    // --report: the report on standard output too
    bool quiet = false;                          // --quiet: no progress display
    ProgressMode progress = ProgressMode::Auto;  // --progress=tty|plain|none
    int loopThreads = 0;  // --threads N: event-loop threads for the users (0: one per processor)

    // The run's figures for CI: --summary FILE.json, --html FILE.html and
    // --threshold EXPR (repeatable).
    std::string summaryPath;
    std::string htmlPath;
    std::vector<Threshold> thresholds;

    // Batch runs and results files, as the desktop program's runner makes them.
    std::string resultsPath;  // --results FILE.rlt: the collected passes
    bool cycling = false;     // --cycle clients|requests FROM:TO:STEP
    bool cycleByIterations = false;
    int cycleFrom = 0;
    int cycleTo = 0;
    int cycleStep = 0;
    bool pause = false;  // --pause SECONDS between passes
    int pauseSeconds = 0;

    // Runs shared by several machines (shard_options.cpp).
    int shard = 0;                        // --shard K/N: run the users i with i % N == K
    int shards = 0;                       // 0: no --shard
    std::string shardOut;                 // --shard-out FILE: the shard's results
    std::string mergeOut;                 // --merge OUT.rlt: merge shard results
    std::vector<std::string> shardFiles;  // the shard results to merge

    // Live figures for a scraper (metrics_run.cpp): --metrics ADDRESS:PORT,
    // --metrics-public to allow an address that is not loopback, and
    // --metrics-linger SECONDS to keep serving the last figures after the run.
    std::string metricsAddress;
    bool metricsPublic = false;
    int metricsLingerSeconds = 15;
};

struct ParsedCli {
    bool ok = false;
    std::string error;
    CliOptions options;
};

// Whether --summary, --html or --threshold asks for the run's figures.
inline bool wantsFigures(const CliOptions& o) {
    return !o.summaryPath.empty() || !o.htmlPath.empty() || !o.thresholds.empty();
}

ParsedCli parseCli(int argc, const char* const* argv);

// The --help text.
const char* usageText();

}  // namespace velk::cli
