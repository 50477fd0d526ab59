#include "app/results/collect_pass.h"

#include <ctime>
#include <utility>

namespace velk::results {
namespace {

void appendReport(void* sink, const char* text) {
    if (text) static_cast<std::string*>(sink)->append(text);
}

std::string clockTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

void fillSummaryTimings(TestSet* set, CResultsStore& r) {
    r.summaryForm = 1;
    r.users = 1;
    r.iterations = 1;
    const auto* stats = static_cast<const int32_t*>(GetResults(set, 0));
    std::vector<std::vector<int32_t>> row(size_t(r.sequenceLength));
    for (size_t k = 0; k < row.size(); ++k) {
        row[k] = {0, 0, 0, 0, 0};
        if (stats)
            for (size_t j = 0; j < 4; ++j) row[k][j] = stats[k * 4 + j];
    }
    r.timings.push_back(std::move(row));
}

void fillDetailedTimings(TestSet* set, CResultsStore& r, int32_t iterations) {
    r.timings.resize(size_t(r.users));
    for (int32_t user = 0; user < r.users; ++user) {
        auto& row = r.timings[size_t(user)];
        row.resize(size_t(r.sequenceLength));
        const auto* const* codes = static_cast<const int32_t* const*>(GetResults(set, user));
        if (!codes) continue;
        for (size_t k = 0; k < row.size(); ++k) {
            const int32_t* list = codes[k];
            if (!list) continue;
            if (iterations < 0) {
                // Script-driven: the list starts with its own length.
                const int32_t n = list[0] > 0 ? list[0] : 0;
                row[k].assign(list + 1, list + 1 + n);
                r.iterations = n;
            } else {
                row[k].assign(list, list + iterations);
            }
        }
    }
}

}  // namespace

const char* cycleLabel(bool byIterations) {
    return byIterations ? "Iterations" : "Virtual users";
}

std::string withCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

std::shared_ptr<CResultsStore> collectPass(TestSet* set, const std::string& passTitle,
                                           const CycleInfo* cycle, int32_t* saveStatus,
                                           std::optional<PassFigures>* figuresRead) {
    auto record = std::make_shared<CResultsStore>();
    CResultsStore& r = *record;
    std::string report;
    VelkSummary summary{};
    SaveResults(set, &report, appendReport, &summary);
    const int32_t saved = SaveResults(set, nullptr, nullptr, nullptr);
    if (saveStatus) *saveStatus = saved;

    TestInfo info{};
    GetInfo(set, &info);
    r.report = withCrLf(report);
    char warning[512];
    if (GetLagWarning(set, warning, sizeof warning)) r.lagWarning = warning;
    r.users = info.users > 0 ? info.users : 0;
    r.sequenceLength = info.sequenceLength > 0 ? info.sequenceLength : 0;
    r.iterations = info.iterations;
    r.requestsPerSecond = float(summary.requestsPerSecondX1000) / 1000.0f;
    r.msPerRequest = float(summary.msPerRequestX1000) / 1000.0f;
    r.serverBandwidth = summary.serverBandwidth;
    r.userBandwidth = summary.userBandwidth;
    r.totalRequests = summary.totalRequests;
    r.totalErrors = summary.totalErrors;
    if (cycle) {
        r.batchNumber = cycle->batchNumber;
        r.cycleValue = cycle->value;
        r.cycleLabel = cycleLabel(cycle->byIterations);
        r.cycleByIterations = cycle->byIterations ? 1 : 0;
    }
    r.entryNames.resize(size_t(r.sequenceLength));
    for (size_t k = 0; k < r.entryNames.size() && info.sequenceNames; ++k)
        if (info.sequenceNames[k]) r.entryNames[k] = info.sequenceNames[k];

    if (info.nodetails)
        fillSummaryTimings(set, r);
    else
        fillDetailedTimings(set, r, info.iterations);
    // Read after SaveResults, which names the test as the report does.
    std::optional<PassFigures> figures = collectFigures(set);
    if (figures && timesRequests(*figures)) r.figures = figures;
    if (figuresRead) *figuresRead = std::move(figures);
    r.title = clockTime() + " - " + passTitle;
    return record;
}

}  // namespace velk::results
