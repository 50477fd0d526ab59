#include "cli/scenario_command.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "app/scenario/scenario.h"
#include "app/scenario/scenario_file.h"
#include "app/scenario/script_generator.h"
#include "app/settings/global_settings.h"
#include "app/settings/settings_file.h"
#include "cli/test_loader.h"

namespace velk::cli {
namespace {

// The engine keeps at most 63 bytes of a project name and refuses the whole
// script when it is longer.
constexpr size_t kMaxProjectName = 63;

void loadGlobalSettings(velk::settings::GlobalSettings& settings) {
    velk::settings::SettingsFile store;
    int read = 0;
    const bool all = settings.load(store, &read);
    const std::string file = store.filePath();
    if (all)
        std::fprintf(stderr, "velkrun: global settings from %s\n", file.c_str());
    else if (read > 0)
        std::fprintf(
            stderr, "velkrun: global settings from %s, defaults after its first unreadable value\n",
            file.c_str());
    else
        std::fprintf(stderr, "velkrun: global settings: the defaults (none saved in %s)\n",
                     file.c_str());
}

}  // namespace

bool isScenarioPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext == ".vts";
}

std::optional<GeneratedScript> scenarioScript(const CliOptions& options) {
    const std::string& path = options.scriptPath;
    velk::scenario::CScenario scenario;
    scenario.reset();
    if (const velk::Status loaded = velk::scenario::loadScenarioFile(scenario, path); !loaded) {
        const std::string& error = loaded.message();
        // The reader names the file in some messages only.
        if (error.find(path) == std::string::npos)
            std::fprintf(stderr, "velkrun: %s: %s\n", path.c_str(), error.c_str());
        else
            std::fprintf(stderr, "velkrun: %s\n", error.c_str());
        return std::nullopt;
    }
    // Like the desktop program's runner: nothing to generate without requests.
    if (scenario.requests().count() == 0) {
        std::fprintf(stderr, "velkrun: %s: the scenario has no requests\n", path.c_str());
        return std::nullopt;
    }
    GeneratedScript script;
    script.name = baseName(path);
    script.name.resize(script.name.size() - 4);
    scenario.general().projectName = script.name.substr(0, kMaxProjectName);

    velk::settings::GlobalSettings settings;
    loadGlobalSettings(settings);
    // The script's making checks the one-line fields first.
    velk::StatusOr<std::string> text = scenario.generateScript(settings);
    if (!text) {
        std::fprintf(stderr, "velkrun: %s: no test script can be made of this scenario: %s\n",
                     path.c_str(), text.status().message().c_str());
        return std::nullopt;
    }
    script.text = std::move(*text);
    // The engine takes the script as a C string: a NUL from some text in the
    // file would silently cut it short.
    if (script.text.find('\0') != std::string::npos) {
        std::fprintf(stderr, "velkrun: %s: a text in the scenario holds a NUL byte\n",
                     path.c_str());
        return std::nullopt;
    }
    return script;
}

int runPrintScript(const CliOptions& options) {
    if (!isScenarioPath(options.scriptPath)) {
        std::fprintf(stderr, "velkrun: --print-script needs a .vts scenario, not %s\n",
                     options.scriptPath.c_str());
        return 2;
    }
    std::optional<GeneratedScript> script = scenarioScript(options);
    if (!script) return 1;
    std::fwrite(script->text.data(), 1, script->text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace velk::cli
