#include "cli/test_loader.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/scenario/scenario_file.h"
#include "cli/engine_output.h"
#include "cli/output_file.h"
#include "cli/scenario_command.h"

namespace velk::cli {
namespace {

std::string trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return {};
    const size_t end = text.find_last_not_of(" \t\r");
    return text.substr(start, end + 1 - start);
}

// Calls take(line number, lower-case name, value) for each option line of the
// general section.
template <typename Take>
void forEachGeneralOption(const std::string& text, Take take) {
    bool general = true;
    size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int line = 1; pos < text.size(); ++line) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string item = trimmed(text.substr(pos, end - pos));
        pos = end + 1;
        if (item.empty() || item[0] == ';') continue;
        if (item[0] == '[') {
            std::string header = item.substr(
                1, item.find(']') == std::string::npos ? std::string::npos : item.find(']') - 1);
            for (char& c : header) c = char(std::tolower(static_cast<unsigned char>(c)));
            general = header == "general";
            continue;
        }
        if (!general) continue;
        const size_t eq = item.find('=');
        std::string name = trimmed(item.substr(0, eq));
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (!take(line, name, eq == std::string::npos ? std::string() : item.substr(eq + 1)))
            return;
    }
}

// The leading digits of an integer value, as the engine reads them; -1 when the
// value does not begin with a digit or holds a variable the engine fills in.
int64_t leadingNumber(const std::string& value) {
    if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0])) ||
        value.find('$') != std::string::npos)
        return -1;
    int64_t number = 0;
    for (size_t i = 0; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i)
        number = std::min<int64_t>(number * 10 + (value[i] - '0'), INT32_MAX);
    return number;
}

// The engine refuses an option it does not know without a word: find the first
// general option line that a fresh test set refuses, and name it.
void explainSilentFailure(const std::string& path, const std::string& text) {
    TestSetPtr scratch(CreateTestSet());
    if (!scratch) return;
    forEachGeneralOption(text, [&](int line, const std::string& name, const std::string& value) {
        // Variables are put in by the engine: such a value proves nothing here.
        if (value.find('$') != std::string::npos) return true;
        if (ParseGeneralParam(scratch.get(), name.c_str(), value.c_str())) return true;
        std::fprintf(stderr,
                     "velkrun: %s: line %d: unknown option \"%s\" (or a value it refuses)\n",
                     path.c_str(), line, name.c_str());
        return false;
    });
}

// Whether the engine has a general option of this name: some value of it is
// taken by a fresh test set.
bool isKnownOption(const std::string& name) {
    TestSetPtr scratch(CreateTestSet());
    if (!scratch) return false;
    muteEngineMessages(true);
    bool known = false;
    for (const char* value : {"1", "0", "GET", "x", "/", "60"})
        if (!known && ParseGeneralParam(scratch.get(), name.c_str(), value)) known = true;
    muteEngineMessages(false);
    return known;
}

}  // namespace

int32_t literalIntegerOption(const std::string& text, const std::vector<std::string>& settings,
                             const std::string& name) {
    int64_t value = 0;
    forEachGeneralOption(text, [&](int, const std::string& option, const std::string& given) {
        if (option == name) value = std::max<int64_t>(leadingNumber(given), 0);
        return true;
    });
    for (const std::string& setting : settings) {
        const size_t eq = setting.find('=');
        if (eq != std::string::npos && setting.compare(0, eq, name) == 0 && eq == name.size())
            value = std::max<int64_t>(leadingNumber(setting.substr(eq + 1)), 0);
    }
    return int32_t(value);
}

std::string literalTextOption(const std::string& text, const std::vector<std::string>& settings,
                              const std::string& name) {
    std::string value;
    forEachGeneralOption(text, [&](int, const std::string& option, const std::string& given) {
        if (option == name) value = trimmed(given);
        return true;
    });
    for (const std::string& setting : settings) {
        const size_t eq = setting.find('=');
        if (eq == name.size() && setting.compare(0, eq, name) == 0) value = setting.substr(eq + 1);
    }
    return value.find('$') == std::string::npos ? value : std::string();
}

std::vector<std::string> requestSections(const std::string& text) {
    static const char* const kOtherSections[] = {"general",  "initseq", "testseq", "finalseq",
                                                 "includes", "header",  "script"};
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = trimmed(text.substr(pos, end - pos));
        pos = end + 1;
        const size_t close = line.find(']');
        if (line.empty() || line[0] != '[' || close == std::string::npos) continue;
        const std::string name = line.substr(1, close - 1);
        std::string lower = name;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (std::find(std::begin(kOtherSections), std::end(kOtherSections), lower) ==
            std::end(kOtherSections))
            names.push_back(name);
    }
    return names;
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readScript(const CliOptions& options, std::string& name, std::string& text) {
    if (isScenarioPath(options.scriptPath)) {
        std::optional<GeneratedScript> script = scenarioScript(options);
        if (!script) return false;
        name = std::move(script->name);
        text = std::move(script->text);
        return true;
    }
    StatusOr<std::string> read = readInputFile(options.scriptPath, kMaxScriptBytes);
    if (!read) {
        std::fprintf(stderr, "velkrun: cannot read test script %s\n",
                     read.status().message().c_str());
        return false;
    }
    text = std::move(*read);
    name = baseName(options.scriptPath);
    return true;
}

TestSetPtr loadTest(const CliOptions& options, int32_t* maxtime) {
    std::string name, text;
    if (!readScript(options, name, text)) return nullptr;
    if (maxtime != nullptr) *maxtime = literalIntegerOption(text, options.settings, "maxtime");
    return parseTest(options, name, text);
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
    // A check also says what is likely a mistake but still reads.
    if (options.command == Command::Check) ParseGeneralParam(set.get(), "warnings", "1");
    const int messagesBefore = engineMessageCount();
    if (!ParseTest(set.get(), name.c_str(), text.c_str())) {
        if (engineMessageCount() == messagesBefore) explainSilentFailure(options.scriptPath, text);
        std::fprintf(
            stderr, "velkrun: %s: the test script %sdoes not parse\n", options.scriptPath.c_str(),
            isScenarioPath(options.scriptPath) ? "made of this scenario (see --print-script) "
                                               : "");
        return nullptr;
    }
    for (const std::string& setting : options.settings) {
        if (!SetProperty(set.get(), setting.c_str())) {
            std::fprintf(stderr, "velkrun: --set %s: %s\n", setting.c_str(),
                         isKnownOption(setting.substr(0, setting.find('=')))
                             ? "the value is wrong for this option"
                             : "no such option");
            return nullptr;
        }
    }
    if (options.loopThreads > 0 && !SetLoopThreads(set.get(), options.loopThreads)) return nullptr;
    TestInfo info{};
    GetInfo(set.get(), &info);
    if (info.iterations >= 0 && info.sequenceLength == 0) {
        std::fprintf(stderr, "velkrun: %s: Error: empty test sequence! (no request section)\n",
                     options.scriptPath.c_str());
        return nullptr;
    }
    return set;
}

}  // namespace velk::cli
