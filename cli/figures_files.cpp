#include "cli/figures_files.h"

#include <cstdio>
#include <string>
#include <utility>

#include "app/results/html_report.h"
#include "app/results/summary_json.h"
#include "cli/output_file.h"

namespace velk::cli {

int writeFigures(const std::optional<results::PassFigures>& figures, const CliOptions& options,
                 const char* program) {
    if (!wantsFigures(options)) return 0;
    if (!figures) return 4;
    int status = 0;
    const std::pair<const std::string*, std::string> files[] = {
        {&options.summaryPath,
         options.summaryPath.empty() ? "" : summaryJson(*figures, options.thresholds)},
        {&options.htmlPath,
         options.htmlPath.empty() ? "" : htmlReport(*figures, options.thresholds)},
    };
    for (const auto& [path, content] : files) {
        if (path->empty()) continue;
        if (const Status written = writeOutputFile(*path, content)) {
            std::fprintf(stderr, "%s: wrote %s\n", program, path->c_str());
        } else {
            std::fprintf(stderr, "%s: cannot write %s\n", program, written.message().c_str());
            status = 4;
        }
    }
    return status;
}

}  // namespace velk::cli
