#include "results/save_results.h"

#include <cmath>
#include <limits>

#include "base/message.h"
#include "results/outfile_name.h"
#include "results/report_environment.h"
#include "results/report_file.h"
#include "results/run_statistics.h"

namespace velk {
namespace {

// Out-of-range values would be undefined when converted; they saturate instead.
int32_t toInt32(double value) {
    if (!(value > std::numeric_limits<int32_t>::min())) return value < 0 ? INT32_MIN : 0;
    if (value >= double(std::numeric_limits<int32_t>::max())) return INT32_MAX;
    return int32_t(value);
}

int32_t toInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return INT32_MAX;
    if (value < std::numeric_limits<int32_t>::min()) return INT32_MIN;
    return int32_t(value);
}

ReportHeaderFacts gatherHeaderFacts(const ReportInput& in) {
    ReportHeaderFacts facts;
    if (in.options.reportinfo != 1) return facts;
    facts.started = ctimeText(in.times.wallStart);
    facts.finished = ctimeText(in.times.wallEnd);
    facts.userName = currentUserName();
    facts.hostName = hostName();
    return facts;
}

}  // namespace

SummaryRecord makeSummary(const RunStatistics& s, const GeneralOptions& o) {
    SummaryRecord r{};
    if (o.summarytimes == 1) {
        r.requestsPerSecondX1000 = toInt32(s.requestsPerSecond * 1000.0);
        r.msPerRequestX1000 = toInt32(s.msPerRequest * 1000.0);
        r.totalRequests = toInt32(s.totalRequestsMade);
    }
    r.serverBandwidth = s.hasDuration ? s.serverBandwidth : 0.0;
    r.userBandwidth = s.hasDuration ? s.userBandwidth : 0.0;
    r.totalErrors = toInt32(s.errors.total);
    return r;
}

int32_t saveResults(const ReportInput& input, void* sink, ReportWriter writer,
                    SummaryRecord* summary, std::string* testNameOut) {
    const GeneralOptions& o = input.options;
    // From here on the test is known by its scenario's name.
    const std::string& testName = o.projectname;
    if (testNameOut) *testNameOut = testName;

    std::string fileName;
    if (!o.outfile.empty())
        fileName = expandOutfileTemplate(
            o.outfile, OutfileFields{o, testName, input.currentServer, localClock(wallClockNow())});

    RunStatistics stats = computeStatistics(input);
    if (summary) *summary = makeSummary(stats, o);

    if (writer) {
        writeReport(input, stats, gatherHeaderFacts(input), writer, sink);
        return 0;
    }
    if (o.outfile.empty() || o.reportdir.empty()) return 0;
    // The script names a file in the report directory, never a place elsewhere.
    if (!isSafeReportName(fileName)) {
        report("Refused results file name %s: it must name a file inside the report directory!\n",
               fileName.c_str());
        return -1;
    }
    std::string path = reportFilePath(o.reportdir, fileName);
    if (isHiddenReportName(fileName)) {
        report("Refused results file %s: a hidden file cannot take a report!\n", path.c_str());
        return -1;
    }
    ReportFile file(path, o.appendresult == 1);
    writeReport(input, stats, gatherHeaderFacts(input), &ReportFile::write, &file);
    switch (file.close()) {
        case ReportFile::Outcome::kWritten:
            break;
        case ReportFile::Outcome::kCannotOpen:
            report("Failed to open results file: %s!\n", path.c_str());
            return -1;
        case ReportFile::Outcome::kNotAReport:
            report(
                "Refused results file %s: it exists and is not a VELK report (the file was not "
                "changed)!\n",
                path.c_str());
            return -1;
        case ReportFile::Outcome::kCannotWrite:
            report("Failed to write results file: %s!\n", path.c_str());
            return -1;
    }
    // The script chose where the report went: say where.
    report("Results written to file: %s\n", path.c_str());
    return 0;
}

}  // namespace velk
