#pragma once
// The live line velkrun shows while a test runs: a pure function of the run's
// figures and the room it has, so what a person sees can be checked without a run.
// Stateless and thread-safe.
#include <cstdint>
#include <string>

namespace velk::cli {

struct LiveFigures {
    int64_t elapsedMs = 0;
    int64_t made = 0;         // test-sequence (or script) requests made so far
    int64_t total = -1;       // test-sequence requests planned, -1 when a script drives the test
    int32_t users = 0;        // all users of the test
    int32_t maxtime = 0;      // time limit in seconds, 0 for none
    double rate = -1;         // requests per second of late, below 0 while not yet known
    int64_t reportAgeMs = 0;  // how long ago made and rate were reported
    int32_t active = -1;      // users running now, below 0 while not known
    // Errors so far: network, HTTP, failed check, time-out; below 0 while not known.
    int32_t errors[4] = {-1, -1, -1, -1};
};

// How far the run is, 0..1, or below 0 when neither a total nor a time limit says.
// The request count or the time limit, whichever ends the run first.
double liveFraction(const LiveFigures& f);

// The line in less than width characters.  With bar false (logs and pipes)
// there is neither bar nor width limit.  Narrow lines drop the least telling
// fields first: users, elapsed time, request count, bar; where even the shortest
// form does not fit, the line is empty (nothing is shown).  The counts and the
// rate name what they count: "470/600 test-sequence requests  120.1/s", or
// "120.1 test-sequence req/s" once the count is dropped.
std::string renderLiveLine(const LiveFigures& f, int width, bool bar);

}  // namespace velk::cli
