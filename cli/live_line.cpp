#include "cli/live_line.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/runner/live_figures.h"

namespace velk::cli {
namespace {

constexpr int kMinBar = 12;  // "[" + 10 + "]"
constexpr int kMaxBar = 32;

struct Field {
    std::string text;        // empty for the bar
    int rank;                // dropped from the highest rank down
    std::string brief = {};  // shown instead of text while the field before it is shown
    bool present = true;
};

// What a field shows, given the fields before it.
const std::string& shownText(const std::vector<Field>& fields, size_t i) {
    const Field& field = fields[i];
    return !field.brief.empty() && i > 0 && fields[i - 1].present ? field.brief : field.text;
}

std::string printed(const char* format, double a, double b = 0) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

std::string barText(double fraction, int width) {
    const int inside = width - 2;
    const int filled = std::clamp(int(fraction * inside), 0, inside);
    return "[" + std::string(size_t(filled), '#') + std::string(size_t(inside - filled), '-') + "]";
}

// "2 errors (1.5%: HTTP 2)", "0 errors", or nothing while not known.
std::string errorText(const LiveFigures& f) {
    static const char* const kNames[4] = {"network", "HTTP", "failed check", "time-out"};
    if (f.errors[0] < 0) return {};
    int64_t all = 0;
    for (int32_t n : f.errors) all += std::max(n, 0);
    std::string text = printed(all == 1 ? "%.0f error" : "%.0f errors", double(all));
    if (all == 0) return text;
    text += f.made > 0 ? printed(" (%.1f%%:", 100.0 * double(all) / double(std::max(f.made, all)))
                       : std::string(" (");
    bool first = true;
    for (int i = 0; i < 4; ++i) {
        if (f.errors[i] <= 0) continue;
        text += first && f.made <= 0 ? "" : (first ? " " : ", ");
        text += kNames[i] + printed(" %.0f", f.errors[i]);
        first = false;
    }
    return text + ")";
}

}  // namespace

double liveFraction(const LiveFigures& f) {
    double fraction = -1;
    if (f.total > 0) fraction = double(std::min(f.made, f.total)) / double(f.total);
    if (f.total == 0) fraction = 1;
    if (f.maxtime > 0) fraction = std::max(fraction, double(f.elapsedMs) / (f.maxtime * 1000.0));
    return std::min(fraction, 1.0);
}

std::string renderLiveLine(const LiveFigures& f, int width, bool bar) {
    const double fraction = liveFraction(f);
    const bool known = fraction >= 0;
    // Counted from the last report, so the estimate goes down between reports.
    const int64_t left =
        runner::secondsLeft(f.total, f.made, f.rate, f.maxtime, f.elapsedMs, f.reportAgeMs);
    std::vector<Field> fields;
    if (known && bar) fields.push_back({"", 4});
    if (known) fields.push_back({printed("%3.0f%%", fraction * 100), 0});
    // The engine counts the requests of the test sequence (the initial and final
    // sequences and redirects are not among them), or a script's requests.
    const std::string what = f.total >= 0 ? "test-sequence" : "script";
    const std::string count = f.total >= 0 ? printed("%.0f/%.0f ", double(f.made), double(f.total))
                                           : printed("%.0f ", double(f.made));
    fields.push_back({count + what + " requests", f.total >= 0 ? 5 : 0});
    // Beside the count the rate needs no name of its own.
    const std::string rate = f.rate < 0 ? std::string("--") : printed("%.1f", f.rate);
    fields.push_back({rate + " " + what + " req/s", 1, rate + "/s"});
    fields.push_back({runner::durationText(f.elapsedMs / 1000) + " elapsed", 6});
    if (left >= 0) fields.push_back({runner::durationText(left) + " left", 2});
    if (const std::string errors = errorText(f); !errors.empty()) fields.push_back({errors, 3});
    fields.push_back({f.active >= 0 ? printed(f.users == 1 ? "%.0f/%.0f user" : "%.0f/%.0f users",
                                              f.active, f.users)
                                    : printed(f.users == 1 ? "%.0f user" : "%.0f users", f.users),
                      7});

    auto length = [&fields] {
        int n = -2;  // two spaces between fields
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i].present)
                n += (fields[i].text.empty() ? kMinBar : int(shownText(fields, i).size())) + 2;
        return std::max(n, 0);
    };
    // The last column stays free: writing there makes some terminals wrap.
    const int room = bar ? width - 1 : 1 << 20;
    while (length() > room) {
        Field* least = nullptr;
        for (Field& field : fields)
            if (field.present && (least == nullptr || field.rank > least->rank)) least = &field;
        if (least == nullptr || least->rank == 0) break;
        least->present = false;
    }
    // A line cut at the terminal's edge would wrap and leave stale rows.
    if (length() > room) return {};
    const int barWidth = std::min(kMaxBar, kMinBar + room - length());
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!fields[i].present) continue;
        if (!line.empty()) line += "  ";
        line += fields[i].text.empty() ? barText(fraction, barWidth) : shownText(fields, i);
    }
    return line;
}

}  // namespace velk::cli
