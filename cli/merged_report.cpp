#include "cli/merged_report.h"

#include <cstdio>
#include <optional>

#include "app/base/terminal_text.h"
#include "app/results/collect_pass.h"
#include "app/results/rlt_file.h"
#include "app/results/thresholds.h"
#include "cli/closing_line.h"
#include "cli/figures_files.h"
#include "cli/output_file.h"

namespace velk::cli {
namespace {

void writeToStream(void* sink, const char* text) {
    std::fputs(base::escapeControlsKeepLines(text).c_str(), static_cast<std::FILE*>(sink));
}

}  // namespace

int missingUsers(TestSet* set) {
    TestInfo info{};
    GetInfo(set, &info);
    if (info.nodetails) return -1;
    int missing = 0;
    for (int32_t user = 0; user < info.users; ++user) missing += GetResults(set, user) == nullptr;
    return missing;
}

int reportMergedRun(TestSet* set, const CliOptions& options, const std::string& rltPath,
                    const char* program) {
    int status = 0;
    std::optional<results::PassFigures> figures;
    if (rltPath.empty()) {
        if (SaveResults(set, nullptr, nullptr, nullptr) != 0) status = 4;
        if (options.printReport) SaveResults(set, stdout, writeToStream, nullptr);
        figures = results::collectFigures(set);
    } else {
        // The record writes the report file too, as a pass of the desktop program does.
        int32_t saved = 0;
        auto record = velk::results::collectPass(set, "all users", nullptr, &saved, &figures);
        if (saved != 0) status = 4;
        if (options.printReport) {
            std::string report = record->report;
            std::erase(report, '\r');
            std::fputs(base::escapeControlsKeepLines(report).c_str(), stdout);
        }
        if (const Status written = writeOutputFile(rltPath, velk::results::rltFileBytes({record}));
            !written) {
            std::fprintf(stderr, "%s: cannot write %s\n", program, written.message().c_str());
            status = 4;
        }
    }
    std::fflush(stdout);
    const int figuresStatus = writeFigures(figures, options, program);
    TestInfo info{};
    GetInfo(set, &info);
    if (int missing = missingUsers(set); missing > 0)
        std::fprintf(stderr, "%s: warning: %d of %d users have no results (is a shard missing?)\n",
                     program, missing, info.users);
    std::fprintf(stderr, "%s: %d users: %s\n", program, info.users,
                 closingFigures(figures, tallyResults(set)).c_str());
    if (figures && !checkThresholds(options.thresholds, *figures, program) && status == 0) return 5;
    return status != 0 ? status : figuresStatus;
}

}  // namespace velk::cli
