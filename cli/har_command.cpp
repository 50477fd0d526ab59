#include "cli/har_command.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "app/base/terminal_text.h"
#include "app/recorder/har_import.h"
#include "app/recorder/script_values.h"
#include "app/scenario/scenario.h"
#include "app/scenario/scenario_file.h"

namespace velk::cli {
namespace {

using base::escapeControls;

const char* placeName(recorder::ScriptValueProposal::Place place) {
    switch (place) {
        case recorder::ScriptValueProposal::Place::Header:
            return "header";
        case recorder::ScriptValueProposal::Place::JsonField:
            return "JSON field";
        case recorder::ScriptValueProposal::Place::Parameter:
            return "parameter";
        case recorder::ScriptValueProposal::Place::Url:
            return "URL";
    }
    return "";
}

int usage(const std::string& what) {
    std::fprintf(stderr,
                 "velkrun: %s\nUsage: velkrun --import-har FILE.har --save-scenario OUT.vts "
                 "[--no-proposals] [--keep-static]\n",
                 what.c_str());
    return 2;
}

}  // namespace

bool isImportHarCommand(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::string_view(argv[i]) == "--import-har") return true;
    return false;
}

int runImportHarCommand(int argc, const char* const* argv) {
    std::string harPath, outPath;
    bool proposals = true, keepStatic = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if ((arg == "--import-har" || arg == "--save-scenario") && i + 1 < argc) {
            (arg == "--import-har" ? harPath : outPath) = argv[++i];
        } else if (arg == "--no-proposals") {
            proposals = false;
        } else if (arg == "--keep-static") {
            keepStatic = true;
        } else {
            return usage("--import-har: unexpected argument " + escapeControls(arg));
        }
    }
    if (harPath.empty()) return usage("--import-har needs a HAR file");
    if (outPath.empty()) return usage("--import-har needs --save-scenario OUT.vts");

    const StatusOr<recorder::HarVisit> read = recorder::readHarFile(harPath, keepStatic);
    if (!read) {
        std::fprintf(stderr, "velkrun: %s\n",
                     base::escapeControlsKeepLines(read.status().message()).c_str());
        return 1;
    }
    const recorder::HarVisit& visit = *read;
    scenario::CScenario scenario;
    scenario.reset();
    scenario::CRequest::resetIdCounter();
    const std::vector<recorder::ScriptExchange> exchanges =
        recorder::addHarRequests(scenario, visit);
    std::printf("Imported %zu requests from %s", exchanges.size(), escapeControls(harPath).c_str());
    if (visit.staticLeftOut > 0)
        std::printf(" (%d static files left out; --keep-static keeps them)", visit.staticLeftOut);
    std::printf(".\n");
    for (const std::string& note : visit.notes) std::printf("  %s\n", escapeControls(note).c_str());

    const std::vector<recorder::ScriptValueProposal> found =
        recorder::proposeScriptValues(exchanges);
    for (const recorder::ScriptValueProposal& p : found)
        std::printf("Proposal: request %d, %s %s: %s\n  from the %s (%s)\n", p.requestId,
                    placeName(p.place), escapeControls(p.name).c_str(),
                    escapeControls(p.expression).c_str(), escapeControls(p.origin).c_str(),
                    p.rule.c_str());
    if (found.empty()) {
        std::printf("No values to propose.\n");
    } else if (proposals) {
        std::lock_guard<scenario::CRequestsContainer> guard(scenario.requests());
        const int32_t applied = recorder::applyScriptValues(scenario.requests(), found);
        std::printf("Applied %d of %zu proposals.\n", applied, found.size());
    } else {
        std::printf(
            "Proposals refused (--no-proposals): the recorded values are replayed as "
            "they are.\n");
    }
    if (const Status saved = scenario::saveScenarioFile(scenario, outPath); !saved) {
        std::fprintf(stderr, "velkrun: %s\n",
                     base::escapeControlsKeepLines(saved.message()).c_str());
        return 1;
    }
    std::printf("Saved %s.\n", escapeControls(outPath).c_str());
    return 0;
}

}  // namespace velk::cli
