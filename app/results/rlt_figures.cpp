#include "app/results/rlt_figures.h"

#include <cmath>
#include <utility>

namespace velk::results {
namespace {

// The trailer's marker and version, and the tag of the totals section.
constexpr int32_t kFiguresMarker = 0x464b4c56;  // "VLKF"
constexpr int32_t kFiguresVersion = 1;
constexpr int32_t kTotalsTag = 0x544b4c56;  // "VLKT"
constexpr const char* kBadFigures =
    "%1 holds damaged percentiles; the passes were loaded without them.";

void writeLatency(RltWriter& out, const LatencyFigures& f) {
    out.putString(f.name);
    out.putInt64(f.count);
    for (int64_t e : f.errors) out.putInt64(e);
    out.putDouble(f.minMs);
    out.putDouble(f.meanMs);
    out.putDouble(f.maxMs);
    out.putDouble(f.stddevMs);
    for (double p : f.percentilesMs) out.putDouble(p);
    out.putInt(f.paced);
    out.putInt64(f.intendedCount);
    out.putDouble(f.intendedMaxMs);
    for (double p : f.intendedPercentilesMs) out.putDouble(p);
}

void writeLag(RltWriter& out, const LoopLagFigures& lag) {
    out.putInt64(lag.samples);
    out.putDouble(lag.p50Ms);
    out.putDouble(lag.p99Ms);
    out.putDouble(lag.maxMs);
}

void writeTotals(RltWriter& out, const RunTotals& t) {
    out.putString(t.testName);
    out.putInt64(t.startTime);
    out.putInt64(t.endTime);
    out.putInt64(t.durationMs);
    out.putInt(t.users);
    out.putInt(t.iterations);
    out.putInt64(t.httpRequests);
    out.putInt64(int64_t(t.bytesSent));
    out.putInt64(int64_t(t.bytesReceived));
    out.putInt(int32_t(t.statusCodes.size()));
    for (const auto& [code, count] : t.statusCodes) {
        out.putInt(code);
        out.putInt(count);
    }
    out.putInt(int32_t(t.loopLag.size()));
    for (const LoopLagFigures& lag : t.loopLag) writeLag(out, lag);
    writeLag(out, t.allLoopsLag);
    out.putString(t.lagWarning);
    out.putDouble(t.httpRequestsPerSecond);
    out.putInt(t.httpRateOverWholeRun ? 1 : 0);
}

}  // namespace

void writeFigures(RltWriter& out, const std::vector<ResultsStorePtr>& records) {
    out.putInt(kFiguresMarker);
    out.putInt(kFiguresVersion);
    out.putInt(int32_t(records.size()));
    for (const ResultsStorePtr& record : records) {
        const std::optional<PassFigures>& f = record->figures;
        out.putInt(f ? 1 : 0);
        if (!f) continue;
        const size_t lengthAt = out.size();
        out.putInt(0);
        out.putInt(int32_t(f->requests.size()));
        for (const LatencyFigures& l : f->requests) writeLatency(out, l);
        writeLatency(out, f->overall);
        out.putInt(f->spanMs);
        out.putInt(int32_t(f->timeline.size()));
        for (const TimelineSpan& s : f->timeline) {
            out.putInt(s.requests);
            out.putInt(s.errors);
            out.putInt(s.usersActive);
        }
        if (f->totals) {
            out.putInt(kTotalsTag);
            const size_t totalsAt = out.size();
            out.putInt(0);
            writeTotals(out, *f->totals);
            out.setInt(totalsAt, int32_t(out.size() - totalsAt - 4));
        }
        out.setInt(lengthAt, int32_t(out.size() - lengthAt - 4));
    }
}

namespace {

// A time in milliseconds as a run can give it: finite, not negative.
bool sound(double ms) {
    return std::isfinite(ms) && ms >= 0;
}

bool readLatency(RltReader& in, LatencyFigures& f) {
    in.getString(f.name, PassFiguresLimits::kMaxNameBytes, kBadFigures);
    in.getInt64(f.count);
    for (int64_t& e : f.errors) in.getInt64(e);
    in.getDouble(f.minMs);
    in.getDouble(f.meanMs);
    in.getDouble(f.maxMs);
    in.getDouble(f.stddevMs);
    for (double& p : f.percentilesMs) in.getDouble(p);
    in.getInt(f.paced);
    in.getInt64(f.intendedCount);
    in.getDouble(f.intendedMaxMs);
    for (double& p : f.intendedPercentilesMs) in.getDouble(p);
    if (!in.ok()) return false;
    const auto countable = [](int64_t n) { return n >= 0 && n <= PassFiguresLimits::kMaxCount; };
    bool good = countable(f.count) && countable(f.intendedCount) &&
                (f.paced == 0 || f.paced == 1) && sound(f.minMs) && sound(f.meanMs) &&
                sound(f.maxMs) && sound(f.stddevMs) && sound(f.intendedMaxMs);
    for (int64_t e : f.errors) good = good && countable(e);
    for (double p : f.percentilesMs) good = good && sound(p);
    for (double p : f.intendedPercentilesMs) good = good && sound(p);
    return good || in.refuse(kBadFigures);
}

bool readLag(RltReader& in, LoopLagFigures& lag) {
    in.getInt64(lag.samples);
    in.getDouble(lag.p50Ms);
    in.getDouble(lag.p99Ms);
    in.getDouble(lag.maxMs);
    if (!in.ok()) return false;
    return (lag.samples >= 0 && sound(lag.p50Ms) && sound(lag.p99Ms) && sound(lag.maxMs)) ||
           in.refuse(kBadFigures);
}

bool soundTime(int64_t seconds) {
    return seconds >= 0 && seconds <= PassFiguresLimits::kMaxTime;
}

bool readTotals(RltReader& in, size_t sectionEnd, RunTotals& t) {
    in.getString(t.testName, PassFiguresLimits::kMaxTestNameBytes, kBadFigures);
    in.getInt64(t.startTime);
    in.getInt64(t.endTime);
    in.getInt64(t.durationMs);
    in.getInt(t.users);
    in.getInt(t.iterations);
    in.getInt64(t.httpRequests);
    int64_t sent = 0, received = 0;
    in.getInt64(sent);
    in.getInt64(received);
    if (!in.ok()) return false;
    if (!soundTime(t.startTime) || !soundTime(t.endTime) || t.durationMs < 0 || t.users < 0 ||
        t.iterations < -1 || t.httpRequests < 0 || sent < 0 || received < 0)
        return in.refuse(kBadFigures);
    t.bytesSent = uint64_t(sent);
    t.bytesReceived = uint64_t(received);
    // One count per status code at most, in ascending order.
    int32_t codes = 0;
    if (!in.getCount(codes, 8, sizeof(t.statusCodes[0]), 1000, kBadFigures)) return false;
    t.statusCodes.resize(size_t(codes));
    int32_t previous = -1;
    for (auto& [code, count] : t.statusCodes) {
        in.getInt(code);
        in.getInt(count);
        if (!in.ok()) return false;
        if (code <= previous || code > 999 || count <= 0) return in.refuse(kBadFigures);
        previous = code;
    }
    int32_t loops = 0;
    if (!in.getCount(loops, 32, sizeof(LoopLagFigures), PassFiguresLimits::kMaxLoops, kBadFigures))
        return false;
    t.loopLag.resize(size_t(loops));
    for (LoopLagFigures& lag : t.loopLag)
        if (!readLag(in, lag)) return false;
    if (!readLag(in, t.allLoopsLag)) return false;
    in.getString(t.lagWarning, PassFiguresLimits::kMaxWarningBytes, kBadFigures);
    if (!in.ok()) return false;
    // The HTTP request rate came later: a section that ends here has none.
    if (in.position() >= sectionEnd) return true;
    int32_t overWholeRun = 0;
    in.getDouble(t.httpRequestsPerSecond);
    in.getInt(overWholeRun);
    if (!in.ok()) return false;
    if (!(t.httpRequestsPerSecond >= -1 && t.httpRequestsPerSecond < 1e12) ||
        (overWholeRun != 0 && overWholeRun != 1))
        return in.refuse(kBadFigures);
    t.httpRateOverWholeRun = overWholeRun == 1;
    return true;
}

// The sections between the timeline and end: the totals, when there, and a
// later version's, stepped over.
bool readSections(RltReader& in, size_t end, PassFigures& f) {
    while (in.ok() && in.position() + 8 <= end) {
        int32_t tag = 0, length = 0;
        if (!in.getInt(tag) || !in.getInt(length)) return false;
        if (length < 0 || size_t(length) > end - in.position()) return in.refuse(kBadFigures);
        const size_t sectionEnd = in.position() + size_t(length);
        if (tag == kTotalsTag) {
            if (f.totals) return in.refuse(kBadFigures);
            RunTotals totals;
            if (!readTotals(in, sectionEnd, totals)) return false;
            if (in.position() > sectionEnd) return in.refuse(kBadFigures);
            f.totals = std::move(totals);
        }
        if (!in.skipTo(sectionEnd)) return false;
    }
    return in.ok();
}

bool readPassFigures(RltReader& in, PassFigures& f) {
    // A request's figures take at least 150 bytes of the file.
    int32_t requests = 0;
    if (!in.getCount(requests, 150, sizeof(LatencyFigures), PassFiguresLimits::kMaxRequests,
                     kBadFigures))
        return false;
    f.requests.resize(size_t(requests));
    for (LatencyFigures& l : f.requests)
        if (!readLatency(in, l)) return false;
    if (!readLatency(in, f.overall)) return false;
    int32_t spans = 0;
    if (!in.getInt(f.spanMs)) return false;
    if (f.spanMs <= 0 || f.spanMs > (1 << 30)) return in.refuse(kBadFigures);
    if (!in.getCount(spans, 12, sizeof(TimelineSpan), PassFiguresLimits::kMaxSpans, kBadFigures))
        return false;
    f.timeline.resize(size_t(spans));
    for (TimelineSpan& s : f.timeline) {
        in.getInt(s.requests);
        in.getInt(s.errors);
        in.getInt(s.usersActive);
        if (in.ok() && (s.requests < 0 || s.errors < 0 || s.usersActive < 0))
            return in.refuse(kBadFigures);
    }
    return in.ok();
}

}  // namespace

void readFigures(RltReader& in, std::vector<std::shared_ptr<CResultsStore>>& records) {
    if (in.atEnd()) return;  // written before the figures were kept
    int32_t marker = 0, version = 0, count = 0;
    if (!in.getInt(marker) || marker != kFiguresMarker || !in.getInt(version) ||
        version < kFiguresVersion || !in.getInt(count) || count != int32_t(records.size())) {
        in.refuse(kBadFigures);
        return;
    }
    for (auto& record : records) {
        int32_t present = 0;
        if (!in.getInt(present)) return;
        if (present == 0) continue;
        if (present != 1) {
            in.refuse(kBadFigures);
            return;
        }
        int32_t length = 0;
        if (!in.getInt(length)) return;
        if (length < 0) {
            in.refuse(kBadFigures);
            return;
        }
        const size_t end = in.position() + size_t(length);
        PassFigures figures;
        if (!readPassFigures(in, figures)) return;
        // Figures that run past their own length are damaged; fields after
        // the known ones are a later version's.
        if (in.position() > end) {
            in.refuse(kBadFigures);
            return;
        }
        if (!readSections(in, end, figures) || !in.skipTo(end)) return;
        // The warning shows beside the report of an opened file too.
        if (figures.totals && record->lagWarning.empty())
            record->lagWarning = figures.totals->lagWarning;
        record->figures = std::move(figures);
    }
}

}  // namespace velk::results
