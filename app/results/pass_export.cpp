#include "app/results/pass_export.h"

#include <cstring>

#include "app/base/file_io.h"
#include "app/results/html_report.h"
#include "app/results/summary_json.h"

namespace velk::results {

StatusOr<const PassFigures*> runFiguresOf(const CResultsStore& pass) {
    if (!pass.figures)
        return {StatusCode::kInvalid,
                std::string(kNoPercentiles) + ": the pass \"" + pass.title +
                    "\" was saved without the figures a report is made of. Run the test again "
                    "to export it."};
    if (!pass.figures->totals)
        return {StatusCode::kInvalid,
                "The pass \"" + pass.title +
                    "\" was saved by an earlier version, without the status codes, traffic and "
                    "times a report is made of. Run the test again to export it."};
    return &*pass.figures;
}

std::string exportBaseName(const CResultsStore& pass) {
    std::string name = pass.figures && pass.figures->totals ? pass.figures->totals->testName : "";
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    if (name.empty()) return pass.title;
    if (pass.batchNumber != 0 && !pass.cycleLabel.empty())
        name += " - " + pass.cycleLabel + "=" + std::to_string(pass.cycleValue);
    return name;
}

std::string exportText(const PassFigures& figures, ExportFormat format) {
    return format == ExportFormat::kHtmlReport ? htmlReport(figures, {}, kDesktopMaker)
                                               : summaryJson(figures, {});
}

Status exportPass(const CResultsStore& pass, ExportFormat format, const std::string& path) {
    const StatusOr<const PassFigures*> figures = runFiguresOf(pass);
    if (!figures) return figures.status();
    const int err = velk::base::replaceFileWhole(path, exportText(**figures, format));
    if (err != 0)
        return {StatusCode::kIo, "Failed to export the pass.\n" + path + ": " + std::strerror(err) +
                                     "\nThe file on the disk was not changed."};
    return Status::ok();
}

}  // namespace velk::results
