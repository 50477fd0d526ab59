#include "cli/compare_command.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/results/comparison_text.h"
#include "app/results/run_comparison.h"

namespace velk::cli {
namespace {

using velk::results::ComparisonFormat;

struct CompareOptions {
    std::string baseline, current;
    ComparisonFormat format = ComparisonFormat::Table;
    velk::results::RegressionLimits limits;
};

bool parseLimit(const char* text, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v < 0 || v > 1e9) return false;
    out = v;
    return true;
}

bool parse(int argc, const char* const* argv, CompareOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        const bool takesValue = arg == "--compare-format" || arg == "--compare-percent" ||
                                arg == "--compare-ms" || arg == "--compare-error-points";
        if (arg == "--compare") {
            if (i + 2 >= argc) {
                error = "--compare needs two files, as in --compare baseline.json current.json";
                return false;
            }
            o.baseline = argv[++i];
            o.current = argv[++i];
        } else if (takesValue && i + 1 >= argc) {
            error = std::string(arg) + " needs a value";
            return false;
        } else if (arg == "--compare-format") {
            const std::string_view f(argv[++i]);
            if (f == "table") {
                o.format = ComparisonFormat::Table;
            } else if (f == "markdown") {
                o.format = ComparisonFormat::Markdown;
            } else if (f == "junit") {
                o.format = ComparisonFormat::Junit;
            } else {
                error =
                    "--compare-format " + std::string(f) + ": expected table, markdown or junit";
                return false;
            }
        } else if (takesValue) {
            double& limit = arg == "--compare-percent" ? o.limits.percent
                            : arg == "--compare-ms"    ? o.limits.latencyMs
                                                       : o.limits.errorPoints;
            if (!parseLimit(argv[++i], limit)) {
                error = std::string(arg) + " " + argv[i] + ": expected a number from 0 up";
                return false;
            }
        } else {
            error = std::string(arg) +
                    ": --compare takes two files and the --compare-... options only (try --help)";
            return false;
        }
    }
    if (o.baseline.empty()) {
        error = "--compare needs two files, as in --compare baseline.json current.json";
        return false;
    }
    return true;
}

}  // namespace

bool isCompareCommand(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--compare") return true;
    return false;
}

int runCompareCommand(int argc, const char* const* argv) {
    CompareOptions o;
    std::string error;
    if (!parse(argc, argv, o, error)) {
        std::fprintf(stderr, "velkrun: %s\n", error.c_str());
        return 2;
    }
    velk::results::ComparedRun baseline, current;
    if (!velk::results::readComparedRun(o.baseline, baseline, error) ||
        !velk::results::readComparedRun(o.current, current, error)) {
        std::fprintf(stderr, "velkrun: cannot compare: %s\n", error.c_str());
        return 1;
    }
    const velk::results::Comparison comparison =
        velk::results::compareRuns(baseline, current, o.limits);
    std::fputs(velk::results::comparisonText(comparison, o.format).c_str(), stdout);
    std::fflush(stdout);
    if (o.format != ComparisonFormat::Table)
        std::fprintf(stderr, "velkrun: compare: %s\n",
                     velk::results::comparisonVerdict(comparison).c_str());
    return comparison.regressions() > 0 ? 5 : 0;
}

}  // namespace velk::cli
