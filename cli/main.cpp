// velkrun: the command-line host of the VELK engine.
#include <csignal>
#include <cstdio>
#include <new>

#include "cli/check_command.h"
#include "cli/cli_options.h"
#include "cli/compare_command.h"
#include "cli/engine_output.h"
#include "cli/har_command.h"
#include "cli/run_command.h"
#include "cli/scenario_command.h"
#include "cli/shard_command.h"
#include "cli/verify_command.h"
#include "velkcore.h"

namespace {

int runVelkrun(int argc, char** argv) {
    // Comparing two runs runs nothing: its own arguments, no test script.
    if (velk::cli::isCompareCommand(argc, argv)) return velk::cli::runCompareCommand(argc, argv);
    // So does importing a HAR file.
    if (velk::cli::isImportHarCommand(argc, argv))
        return velk::cli::runImportHarCommand(argc, argv);
    velk::cli::ParsedCli parsed = velk::cli::parseCli(argc, argv);
    if (!parsed.ok) {
        std::fprintf(stderr, "velkrun: %s\n", parsed.error.c_str());
        return 2;
    }
    const velk::cli::CliOptions& options = parsed.options;
    switch (options.command) {
        case velk::cli::Command::Help:
            std::fputs(velk::cli::usageText(), stdout);
            return 0;
        case velk::cli::Command::Version: {
            char version[128];
            GetCoreVersion(version);
            std::printf("velkrun (VELK engine %s)\n", version);
            return 0;
        }
        case velk::cli::Command::PrintScript:
            return velk::cli::runPrintScript(options);
        case velk::cli::Command::Verify: {
            InitKS(0, 0);
            velk::cli::installEngineOutput(velk::cli::ProgressMode::None);
            const int status = velk::cli::runVerifyCommand(options);
            CleanupKS();
            return status;
        }
        case velk::cli::Command::Check:
        case velk::cli::Command::Run:
            break;
    }
    InitKS(0, 0);
    velk::cli::installEngineOutput(options.quiet ? velk::cli::ProgressMode::None
                                                 : options.progress);
    int status = options.command == velk::cli::Command::Check ? velk::cli::runCheck(options)
                 : !options.mergeOut.empty()                  ? velk::cli::runMerge(options)
                 : options.shards > 0                         ? velk::cli::runShard(options)
                                                              : velk::cli::runLoadTest(options);
    CleanupKS();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe or terminal on standard error must not end the run before
    // its report is written: writes to it fail instead, and the progress
    // output stops (engine_output.cpp).
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return runVelkrun(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("velkrun: out of memory\n", stderr);
        return 1;
    }
}
