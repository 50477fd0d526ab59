#include "results/run_statistics.h"

#include <algorithm>
#include <limits>
#include <map>

#include "results/aggregate_record.h"
#include "results/saturating.h"

namespace velk {
namespace {

double ratio(double numerator, double denominator) {
    return denominator != 0 ? numerator / denominator : 0.0;
}

PositionStatistics toMilliseconds(const PositionTally& t) {
    PositionStatistics s;
    if (t.empty()) return s;
    s.known = true;
    s.minimumMs = t.minimum * 0.001;
    s.averageMs = double(t.sum) / double(t.count) * 0.001;
    s.maximumMs = t.maximum * 0.001;
    return s;
}

void countDetailed(const ReportInput& in, std::vector<PositionTally>& tallies,
                   ErrorTotals& errors) {
    bool showBad = in.options.showbadresults != 0;
    for (const UserRecord* user : in.users) {
        if (!user || user->results.mode() != ResultMode::Detailed) continue;
        const UserResults& r = user->results;
        int32_t positions = std::min(r.positions(), int32_t(tallies.size()));
        for (int32_t i = 0; i < r.iterations(); ++i) {
            if (!isIterationShown(r, i, showBad)) continue;
            for (int32_t k = 0; k < positions; ++k) {
                int32_t code = r.cell(k, i);
                if (code >= 0)
                    tallies[size_t(k)].add(code);
                else
                    errors.count(code);
            }
        }
    }
}

void countScripted(const ReportInput& in, ErrorTotals& errors) {
    for (const UserRecord* user : in.users) {
        if (!user) continue;
        for (const ScriptedResult& r : user->results.scripted()) errors.count(r.value);
    }
}

void countAggregatedErrors(const ErrorCounters& c, ErrorTotals& errors) {
    errors.http = c.http.load(std::memory_order_relaxed);
    errors.network = c.network.load(std::memory_order_relaxed);
    errors.fail = c.fail.load(std::memory_order_relaxed);
    errors.timeout = c.timeout.load(std::memory_order_relaxed);
    errors.total = errors.http + errors.network + errors.fail + errors.timeout;
}

// The request rate over the time in which all users that made requests were
// running: from the latest start to the earliest end, counted by the shared
// request counter.  Too short a window falls back to the whole test.
// Users whose results came from several processes read several counters: each
// counter gives the requests its own users sent in the window, and the window's
// requests are their sum.
RequestRate rateOf(const ReportInput& in) {
    RequestRate s;
    struct Window {
        bool any = false;
        int64_t latestStart = 0, earliestEnd = 0;
        int64_t sentAtLatestStart = 0, sentAtEarliestEnd = 0;
    };
    std::map<int32_t, Window> domains;
    Window all;
    for (const UserRecord* user : in.users) {
        if (!user || user->requestsMade <= 0) continue;
        for (Window* w : {&all, &domains[user->counterDomain]}) {
            if (!w->any || user->startTick > w->latestStart) {
                w->latestStart = user->startTick;
                w->sentAtLatestStart = user->sentAtStart;
            }
            if (!w->any || user->endTick < w->earliestEnd) {
                w->earliestEnd = user->endTick;
                w->sentAtEarliestEnd = user->sentAtEnd;
            }
            w->any = true;
        }
    }
    bool any = all.any;
    s.measured = any;
    int64_t latestStart = all.latestStart, earliestEnd = all.earliestEnd;
    int64_t sentAtLatestStart = 0, sentAtEarliestEnd = 0;
    for (const auto& [domain, w] : domains) {
        sentAtLatestStart += w.sentAtLatestStart;
        sentAtEarliestEnd += w.sentAtEarliestEnd;
    }
    if (!any || earliestEnd < latestStart + int64_t(in.options.exacttiminginterval)) {
        s.approximated = true;
        latestStart = 0;
        earliestEnd = in.times.durationMs;
        sentAtLatestStart = 0;
        sentAtEarliestEnd = in.counters.httpRequests.load(std::memory_order_relaxed);
    }
    int64_t requests = sentAtEarliestEnd - sentAtLatestStart;
    double window = double(earliestEnd - latestStart);
    if (requests <= 0 || window <= 0) return s;
    s.msPerRequest = window / double(requests);
    s.requestsPerSecond = 1000.0 / s.msPerRequest;
    return s;
}

}  // namespace

void ErrorTotals::count(int32_t code) {
    if (code >= 0 || code == kNotRun) return;
    ++total;
    switch (code) {
        case kResultHttp:
            ++http;
            break;
        case kResultNetwork:
            ++network;
            break;
        case kResultFail:
            ++fail;
            break;
        case kResultTimeout:
            ++timeout;
            break;
        default:
            break;
    }
}

RequestRate computeRequestRate(const ReportInput& input) {
    return rateOf(input);
}

bool isIterationShown(const UserResults& results, int32_t iteration, bool showBadResults) {
    if (showBadResults) return true;
    for (int32_t k = 0; k < results.positions(); ++k)
        if (results.cell(k, iteration) < 0) return false;
    return true;
}

RunStatistics computeStatistics(const ReportInput& in) {
    RunStatistics s;
    const GeneralOptions& o = in.options;
    size_t positions = in.sequenceNames.size();

    std::vector<PositionTally> tallies(positions);
    if (in.scriptDriven) {
        countScripted(in, s.errors);
    } else if (o.nodetails != 0) {
        tallies = tallyAggregated(in.users, positions);
        countAggregatedErrors(in.errors, s.errors);
    } else {
        countDetailed(in, tallies, s.errors);
    }
    for (const PositionTally& t : tallies) s.positions.push_back(toMilliseconds(t));

    for (size_t i = 0; i < in.users.size(); ++i) {
        const UserRecord* user = in.users[i];
        if (!user) continue;
        s.bytesSent = addSaturated(s.bytesSent, user->bytesSent);
        s.bytesReceived = addSaturated(s.bytesReceived, user->bytesReceived);
        s.totalRequestsMade = addSaturated(s.totalRequestsMade, int64_t(user->requestsMade));
        if (user->requestsMade <= 0) continue;
        UserRate rate;
        rate.userNumber = int32_t(i + 1);
        rate.requests = user->requestsMade;
        rate.workTimeMs = user->endTick - user->startTick;
        rate.requestsPerSecond = ratio(rate.requests * 1000.0, double(rate.workTimeMs));
        rate.msPerRequest = double(rate.workTimeMs) / rate.requests;
        s.userRates.push_back(rate);
    }

    s.durationMs = in.times.durationMs;
    s.hasDuration = s.durationMs > 0;
    if (s.hasDuration) {
        s.serverBandwidth = (double(s.bytesSent) + double(s.bytesReceived)) / double(s.durationMs);
        s.userBandwidth = o.clients > 0 ? s.serverBandwidth / o.clients : 0.0;
    }

    const RequestRate rate = rateOf(in);
    s.approximated = rate.approximated;
    s.requestsPerSecond = rate.requestsPerSecond;
    s.msPerRequest = rate.msPerRequest;

    for (int code = 0; code < HttpCounters::kStatusCodes; ++code) {
        int32_t n = in.counters.statusCodes[size_t(code)].load(std::memory_order_relaxed);
        if (n > 0) s.statusCodes.push_back({code, n});
    }
    return s;
}

}  // namespace velk
