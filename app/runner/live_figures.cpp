#include "app/runner/live_figures.h"

#include <algorithm>
#include <cstdio>

namespace velk::runner {
namespace {

template <typename... Args>
std::string printed(const char* format, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

int64_t errorSum(const LiveReading& r) {
    int64_t all = 0;
    for (int32_t n : r.errors) all += std::max(n, 0);
    return all;
}

const char* cycled(bool byIterations) {
    return byIterations ? "Iterations" : "Users";
}

}  // namespace

bool readLiveCounters(TestSet* set, LiveReading& r) {
    VelkLiveCounters counters{};
    if (set == nullptr || GetLiveCounters(set, &counters) != 1) return false;
    r.usersActive = counters.usersActive;
    r.errors[0] = counters.networkErrors;
    r.errors[1] = counters.httpErrors;
    r.errors[2] = counters.failedChecks;
    r.errors[3] = counters.timeouts;
    return true;
}

bool readLiveFigures(TestSet* set, LiveReading& r) {
    VelkLiveFigures figures{};
    if (set == nullptr || GetLiveFigures(set, &figures) != 1) return false;
    // Progress reports come every two seconds; the engine's count is live.
    r.made = std::max<int64_t>(r.made, figures.requestsMade);
    if (figures.timed > 0) {
        r.p50 = figures.p50Ms;
        r.p95 = figures.p95Ms;
        r.p99 = figures.p99Ms;
    }
    return true;
}

int64_t secondsLeft(int64_t total, int64_t made, double rate, int32_t maxtimeSeconds,
                    int64_t elapsedMs, int64_t countAgeMs) {
    int64_t left = -1;
    if (total >= 0 && rate > 0)
        left = std::max<int64_t>(
            int64_t(double(std::max<int64_t>(total - made, 0)) / rate + 0.5) - countAgeMs / 1000,
            0);
    if (maxtimeSeconds > 0) {
        const int64_t byTime = std::max<int64_t>(int64_t(maxtimeSeconds) - elapsedMs / 1000, 0);
        left = left < 0 ? byTime : std::min(left, byTime);
    }
    return left;
}

std::string durationText(int64_t seconds) {
    seconds = std::max<int64_t>(seconds, 0);
    if (seconds >= 3600)
        return printed("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                       static_cast<long long>(seconds / 60 % 60),
                       static_cast<long long>(seconds % 60));
    return printed("%lld:%02lld", static_cast<long long>(seconds / 60),
                   static_cast<long long>(seconds % 60));
}

void LiveFigures::reset() {
    m_points.clear();
    m_previous.reset();
    m_rate.reset();
    m_last = LiveReading{};
    m_have = false;
    m_lastErrors = 0;
}

void LiveFigures::add(const LiveReading& r) {
    // Each pass of a batch run has a chart of its own; between passes (the
    // pause) the last pass's series stays on show.
    const bool newPass =
        !m_have || r.pass != m_last.pass || r.elapsedMs < m_last.elapsedMs || r.made < m_last.made;
    if (newPass && !r.pausing) {
        m_points.clear();
        m_previous.reset();
        m_rate.reset();
        m_lastErrors = 0;
    }
    if (!r.pausing) {
        const int64_t errors = errorSum(r);
        if (m_previous) {
            const Mark& prev = *m_previous;
            const double seconds =
                double(std::max<int64_t>(r.elapsedMs - prev.elapsedMs, 1)) / 1000;
            LivePoint p;
            p.second = double(r.elapsedMs) / 1000;
            p.requestsPerSecond = double(std::max<int64_t>(r.made - prev.made, 0)) / seconds;
            p.errorsPerSecond = double(std::max<int64_t>(errors - m_lastErrors, 0)) / seconds;
            p.p50 = r.p50;
            p.p95 = r.p95;
            p.p99 = r.p99;
            m_points.push_back(p);
            if (m_points.size() > kMaxPoints) m_points.pop_front();
        }
        m_lastErrors = errors;
        m_previous = Mark{r.elapsedMs, r.made};
        m_rate.add(r.elapsedMs, r.made);
    }
    m_last = r;
    m_have = true;
}

void RecentRate::add(int64_t elapsedMs, int64_t made) {
    m_marks.push_back({elapsedMs, made});
    // Past readings go while the next one is still at least the window old.
    while (m_marks.size() > 2 && elapsedMs - m_marks[1].elapsedMs >= int64_t(kSeconds) * 1000)
        m_marks.pop_front();
}

double RecentRate::perSecond() const {
    if (m_marks.size() < 2) return -1;
    const Mark& first = m_marks.front();
    const Mark& last = m_marks.back();
    // A span this short would make a rate of a single report's jitter.
    if (last.elapsedMs - first.elapsedMs < kMinSpanMs) return -1;
    return double(std::max<int64_t>(last.made - first.made, 0)) * 1000 /
           double(last.elapsedMs - first.elapsedMs);
}

double LiveFigures::recentRate() const {
    return m_rate.perSecond();
}

LiveTexts LiveFigures::texts() const {
    const LiveReading& r = m_last;
    LiveTexts t;
    t.elapsed = durationText(r.elapsedMs / 1000);
    const double rate = recentRate();
    const int64_t left = secondsLeft(r.total, r.made, rate, r.maxtimeSeconds, r.elapsedMs);
    t.remaining = left < 0 ? std::string("unknown") : durationText(left);
    t.requests = r.total >= 0 ? printed("%lld of %lld", static_cast<long long>(r.made),
                                        static_cast<long long>(r.total))
                              : printed("%lld", static_cast<long long>(r.made));
    t.rate = rate < 0 ? std::string("-") : printed("%.1f/s", rate);

    static const char* const kNames[4] = {"network", "HTTP", "failed check", "time-out"};
    const int64_t all = errorSum(r);
    // Shares of the requests made; a request counts once even when errors
    // outrun the progress report.
    const double base = double(std::max<int64_t>(std::max<int64_t>(r.made, all), 1));
    if (all == 0) {
        t.errors = "none";
    } else {
        t.errors =
            printed("%lld (%.1f%%):", static_cast<long long>(all), 100.0 * double(all) / base);
        bool first = true;
        for (int i = 0; i < 4; ++i) {
            if (r.errors[i] <= 0) continue;
            t.errors += printed("%s %s %d (%.1f%%)", first ? "" : ",", kNames[i], r.errors[i],
                                100.0 * double(r.errors[i]) / base);
            first = false;
        }
    }
    t.users = printed("%d of %d", r.usersActive, r.users);
    if (r.pass > 0) {
        const char* name = cycled(r.byIterations);
        t.pass = r.pausing ? printed("Waiting after pass %d (%s=%d)", r.pass, name, r.passValue)
                           : printed("Pass %d: %s=%d", r.pass, name, r.passValue);
        t.pass += r.nextValue >= 0 ? printed("; next %s=%d", name, r.nextValue)
                                   : std::string("; the last pass");
    }
    return t;
}

}  // namespace velk::runner
