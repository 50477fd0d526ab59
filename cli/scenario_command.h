#pragma once
// velkrun's side of .vts scenarios: the file is loaded through the scenario
// model and turned into a test script with the user's global settings, as the
// desktop program does before a run.
#include <optional>
#include <string>

#include "cli/cli_options.h"

namespace velk::cli {

// True for a path ending in ".vts" (any case).
bool isScenarioPath(const std::string& path);

struct GeneratedScript {
    std::string name;  // the test's name: the file name without ".vts"
    std::string text;
};

// Loads the scenario and generates its script; nothing after printing why not.
// Says on standard error where the global settings came from.
std::optional<GeneratedScript> scenarioScript(const CliOptions& options);

// --print-script: the generated script on standard output.
int runPrintScript(const CliOptions& options);

}  // namespace velk::cli
