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

velk::Status parse(int argc, const char* const* argv, CompareOptions& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        const bool takesValue = arg == "--compare-format" || arg == "--compare-percent" ||
                                arg == "--compare-ms" || arg == "--compare-error-points";
        if (arg == "--compare") {
            if (i + 2 >= argc) {
                return {velk::StatusCode::kInvalid,
                        "--compare needs two files, as in --compare baseline.json current.json"};
            }
            o.baseline = argv[++i];
            o.current = argv[++i];
        } else if (takesValue && i + 1 >= argc) {
            return {velk::StatusCode::kInvalid, std::string(arg) + " needs a value"};
        } else if (arg == "--compare-format") {
            const std::string_view f(argv[++i]);
            if (f == "table") {
                o.format = ComparisonFormat::Table;
            } else if (f == "markdown") {
                o.format = ComparisonFormat::Markdown;
            } else if (f == "junit") {
                o.format = ComparisonFormat::Junit;
            } else {
                return {velk::StatusCode::kInvalid, "--compare-format " + std::string(f) +
                                                        ": expected table, markdown or junit"};
            }
        } else if (takesValue) {
            double& limit = arg == "--compare-percent" ? o.limits.percent
                            : arg == "--compare-ms"    ? o.limits.latencyMs
                                                       : o.limits.errorPoints;
            if (!parseLimit(argv[++i], limit)) {
                return {velk::StatusCode::kInvalid,
                        std::string(arg) + " " + argv[i] + ": expected a number from 0 up"};
            }
        } else {
            return {
                velk::StatusCode::kInvalid,
                std::string(arg) +
                    ": --compare takes two files and the --compare-... options only (try --help)"};
        }
    }
    if (o.baseline.empty()) {
        return {velk::StatusCode::kInvalid,
                "--compare needs two files, as in --compare baseline.json current.json"};
    }
    return velk::Status::ok();
}

}  // namespace

bool isCompareCommand(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--compare") return true;
    return false;
}

int runCompareCommand(int argc, const char* const* argv) {
    CompareOptions o;
    if (const velk::Status parsed = parse(argc, argv, o); !parsed) {
        std::fprintf(stderr, "velkrun: %s\n", parsed.message().c_str());
        return 2;
    }
    const auto cannotCompare = [](const velk::Status& status) {
        std::fprintf(stderr, "velkrun: cannot compare: %s\n", status.message().c_str());
        return 1;
    };
    const auto baseline = velk::results::readComparedRun(o.baseline);
    if (!baseline) return cannotCompare(baseline.status());
    const auto current = velk::results::readComparedRun(o.current);
    if (!current) return cannotCompare(current.status());
    const velk::results::Comparison comparison =
        velk::results::compareRuns(*baseline, *current, o.limits);
    std::fputs(velk::results::comparisonText(comparison, o.format).c_str(), stdout);
    std::fflush(stdout);
    if (o.format != ComparisonFormat::Table)
        std::fprintf(stderr, "velkrun: compare: %s\n",
                     velk::results::comparisonVerdict(comparison).c_str());
    return comparison.regressions() > 0 ? 5 : 0;
}

}  // namespace velk::cli
