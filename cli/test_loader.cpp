#include "test_loader.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "scenario_command.h"

namespace velk::cli {

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

TestSetPtr loadTest(const CliOptions& options) {
    if (isScenarioPath(options.scriptPath)) {
        std::optional<GeneratedScript> script = scenarioScript(options);
        if (!script) return nullptr;
        return parseTest(options, script->name, script->text);
    }
    std::ifstream in(options.scriptPath, std::ios::binary);
    std::string text;
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        std::fprintf(stderr, "velkrun: cannot read test script %s\n", options.scriptPath.c_str());
        return nullptr;
    }
    return parseTest(options, baseName(options.scriptPath), text);
}

TestSetPtr parseTest(const CliOptions& options, const std::string& name, const std::string& text) {
    TestSetPtr set(CreateTestSet());
    if (!set) {
        std::fprintf(stderr, "velkrun: out of memory\n");
        return nullptr;
    }
    // The engine cuts option arguments at their "=", so it gets its own copies.
    std::vector<std::string> args = options.engineArgs;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (!ParseCommandLine(set.get(), int32_t(args.size()), argv.data())) return nullptr;

    // Reports and logs are named after the project; the script may name it itself.
    ParseGeneralParam(set.get(), "projectname", name.substr(0, 63).c_str());
    if (!ParseTest(set.get(), name.c_str(), text.c_str())) {
        std::fprintf(stderr, "velkrun: %s: the test script %sdoes not parse\n", options.scriptPath.c_str(),
                     isScenarioPath(options.scriptPath) ? "made of this scenario (see --print-script) " : "");
        return nullptr;
    }
    for (const std::string& setting : options.settings) {
        if (!SetProperty(set.get(), setting.c_str())) {
            std::fprintf(stderr, "velkrun: --set %s: no such option, or the value is refused\n", setting.c_str());
            return nullptr;
        }
    }
    return set;
}

}  // namespace velk::cli
