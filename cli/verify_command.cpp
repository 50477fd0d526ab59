#include "cli/verify_command.h"

#include <cstdio>

#include "app/runner/scenario_verify.h"
#include "app/scenario/scenario.h"
#include "app/scenario/scenario_file.h"
#include "app/settings/global_settings.h"
#include "app/settings/settings_file.h"
#include "cli/scenario_command.h"

namespace velk::cli {

int runVerifyCommand(const CliOptions& options) {
    const std::string& path = options.scriptPath;
    if (!isScenarioPath(path)) {
        std::fprintf(stderr, "velkrun: --verify takes a scenario file (.vts), not %s\n",
                     path.c_str());
        return 1;
    }
    scenario::CScenario scenario;
    scenario.reset();
    if (const Status loaded = scenario::loadScenarioFile(scenario, path); !loaded) {
        std::fprintf(stderr, "velkrun: %s\n", loaded.message().c_str());
        return 1;
    }
    // The same settings a run of the scenario takes.
    settings::GlobalSettings settings;
    settings::SettingsFile store;
    settings.load(store, nullptr);
    StatusOr<runner::VerifyPlan> plan = runner::prepareVerify(scenario, settings);
    if (!plan) {
        std::fprintf(stderr, "velkrun: %s: %s\n", path.c_str(), plan.status().message().c_str());
        return 1;
    }
    plan->engineArgs = options.engineArgs;
    const StatusOr<runner::VerifyReport> report = runner::runVerify(*plan);
    if (!report) {
        std::fprintf(stderr, "velkrun: %s: %s\n", path.c_str(), report.status().message().c_str());
        return 1;
    }
    std::fputs(report->text().c_str(), stdout);
    std::fflush(stdout);
    return report->differs() ? kVerifyDiffers : 0;
}

}  // namespace velk::cli
