#pragma once
// LiveFigures: what the runner page shows of a run in progress, worked out
// from one reading of the run taken once a second: the texts of the live
// panel and the per-second series of its two charts.  Plain data, no clock of
// its own, so that what a person sees can be checked without a run.
//
// Memory is bounded: the series keep the last kMaxPoints seconds.
// One thread (the user-interface thread) owns an instance.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "velkcore.h"

namespace velk::runner {

// The run as read at one moment (Runner::liveReading).
struct LiveReading {
    bool running = false;
    int64_t elapsedMs = 0;  // since the pass began
    int64_t made = 0;       // requests made so far in the pass
    int64_t total = -1;     // requests expected, below 0 while not known
    int32_t usersActive = 0;
    int32_t users = 0;           // all users of the pass
    int32_t errors[4] = {};      // network, HTTP, failed check, time-out
    int32_t maxtimeSeconds = 0;  // the pass's time limit, 0 for none
    // Response times of the last whole second in milliseconds, below 0 when
    // nothing was timed in it.
    double p50 = -1, p95 = -1, p99 = -1;
    // Batch runs: the pass running (1, 2, ...; 0 for a single run), its value
    // of the cycled option, the next value (below 0: the last pass) and
    // whether the run is waiting between passes.
    int32_t pass = 0;
    int32_t passValue = 0;
    int32_t nextValue = -1;
    bool pausing = false;
    bool byIterations = false;
};

// What the engine counts live of set's running pass, read into r: users
// running and errors by class (false when it counts nothing yet), and the
// requests made (r.made rises to the engine's count, never falls) with the
// last whole second's percentiles.  The desktop's live panel and velkrun's
// live line both read a run this way.  Any thread, while set runs.
bool readLiveCounters(TestSet* set, LiveReading& r);
bool readLiveFigures(TestSet* set, LiveReading& r);

// Seconds until the run ends: the sooner of the time limit (maxtimeSeconds,
// 0 for none) and the requests left at rate; below 0 when neither says.
// countAgeMs: how long ago made was counted, so that the estimate goes down
// between counts.
int64_t secondsLeft(int64_t total, int64_t made, double rate, int32_t maxtimeSeconds,
                    int64_t elapsedMs, int64_t countAgeMs = 0);

// "m:ss", or "h:mm:ss" from an hour on.
std::string durationText(int64_t seconds);

struct LivePoint {
    double second = 0;  // since the pass began
    double requestsPerSecond = 0;
    double errorsPerSecond = 0;
    double p50 = -1, p95 = -1, p99 = -1;  // below 0: nothing timed
};

struct LiveTexts {
    std::string elapsed;    // "0:42"
    std::string remaining;  // "1:10", "unknown"
    std::string requests;   // "170 of 750", "170"
    std::string rate;       // "35.2/s" of those requests, "-" while not known
    std::string errors;     // "3 (1.8%): network 1 (33%), HTTP 2 (67%)", "none"
    std::string users;      // "40 of 100"
    std::string pass;       // batch runs: "Pass 2: Users=20; next Users=30"; else empty
};

// Requests per second over the last kSeconds of readings: the one rate the
// desktop program's live panel and velkrun's live line show.  Readings come
// about once a second (the panel) or every so often (the engine's progress
// reports); the window keeps the newest reading at least kSeconds old.
class RecentRate {
public:
    static constexpr int kSeconds = 5;

    void reset() { m_marks.clear(); }
    // The requests made by elapsedMs into the pass.
    void add(int64_t elapsedMs, int64_t made);
    // Below 0 while unknown: fewer than two readings, or too short a span.
    double perSecond() const;

private:
    static constexpr int64_t kMinSpanMs = 200;
    struct Mark {
        int64_t elapsedMs;
        int64_t made;
    };
    std::deque<Mark> m_marks;
};

class LiveFigures {
public:
    static constexpr size_t kMaxPoints = 600;
    // The rate shown is over the last this many seconds.
    static constexpr int kRateSeconds = RecentRate::kSeconds;

    // Forgets every reading (a new run).
    void reset();
    // Takes the reading of the next second.  A reading of another pass, or one
    // whose clock went back, starts the series again.
    void add(const LiveReading& reading);

    const std::deque<LivePoint>& points() const { return m_points; }
    const LiveReading& last() const { return m_last; }
    // Requests per second over the last kRateSeconds, below 0 while unknown.
    double recentRate() const;
    LiveTexts texts() const;

private:
    struct Mark {
        int64_t elapsedMs;
        int64_t made;
    };
    std::deque<LivePoint> m_points;
    std::optional<Mark> m_previous;  // the last reading of the pass
    RecentRate m_rate;
    LiveReading m_last;
    bool m_have = false;
    int64_t m_lastErrors = 0;
};

}  // namespace velk::runner
