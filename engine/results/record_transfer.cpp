#include "results/record_transfer.h"

#include <array>
#include <bit>

#include "base/byte_codec.h"

namespace velk {
namespace {

constexpr char kMagic[8] = {'V', 'E', 'L', 'K', 'S', 'H', 'R', 'D'};
constexpr uint32_t kVersion = 1;
// Longest name of a script-driven result kept; longer ones are refused as damage.
constexpr uint32_t kMaxResultName = 4096;
// Bytes of a user's block before its results.
constexpr size_t kUserHead = 4 + 8 + 8 + 4 * 3 + 8 * 2 + 8 * 2 + 1;
// Ranges of the figures a run can make; anything outside is damage, refused
// before it reaches sums that would overflow.  2^40 of anything is far beyond a
// run, and 2^17 shards of such counts still fit 64 bits.
constexpr int64_t kMaxCount = int64_t(1) << 40;
constexpr uint64_t kMaxBytes = uint64_t(1) << 50;
// Seconds since 1970 up to the end of the year 9999.
constexpr int64_t kMaxWallSeconds = 253402300799;
// Milliseconds of a run, or between ticks: about a hundred years.
constexpr int64_t kMaxSpanMs = int64_t(100) * 366 * 24 * 3600 * 1000;
// Ticks are written relative to the run's start; a user that never began
// writes minus that start, which is at most the machine's uptime.
constexpr int64_t kMaxTick = int64_t(1) << 46;
// Each position's latency block takes at least this many bytes: four error
// counts and two histograms of no buckets.
constexpr size_t kLatencyBlock = 4 * 8 + 2 * (5 * 8 + 4);

// A result a run can record: a time in microseconds, an error class, or not run.
bool isResultCode(int32_t v) {
    return v >= 0 || (v <= kResultNetwork && v >= kResultTimeout) || v == kNotRun;
}

bool isWallTime(int64_t seconds) {
    return seconds >= 0 && seconds <= kMaxWallSeconds;
}

// A text as its 4-byte length and its bytes.
void putText(ByteWriter& w, std::string_view text) {
    w.put(uint32_t(text.size()));
    w.putBytes(text);
}

void encodeHistogram(ByteWriter& w, const LatencyHistogram& h) {
    const LatencyHistogram::State s = h.state();
    w.put(s.count), w.put(s.minimum), w.put(s.maximum), w.put(s.sum), w.put(s.sumSquares);
    w.put(uint32_t(s.buckets.size()));
    for (const auto& [index, count] : s.buckets) w.put(index), w.put(count);
}

bool decodeHistogram(ByteReader& in, LatencyHistogram& h) {
    LatencyHistogram::State s;
    uint32_t n = 0;
    if (!in.get(s.count) || !in.get(s.minimum) || !in.get(s.maximum) || !in.get(s.sum) ||
        !in.get(s.sumSquares) || !in.get(n))
        return false;
    if (s.count < 0 || s.count > kMaxCount) return false;
    // Each bucket takes 12 bytes (kept in 16): the allocation stays within a third
    // more than the input.  Checking for 16 refused whole histograms with many
    // buckets, as measured (unrounded) times give.
    if (uint64_t(n) * 12 > in.remaining()) return false;
    s.buckets.resize(n);
    for (auto& [index, count] : s.buckets) {
        in.get(index), in.get(count);
        if (count < 0 || count > kMaxCount) return false;
    }
    return LatencyHistogram::fromState(s, h);
}

// The response-time histograms of each test-sequence position.
void encodeLatency(ByteWriter& w, const std::vector<RequestLatency>& latency) {
    w.put(uint32_t(latency.size()));
    for (const RequestLatency& r : latency) {
        for (int64_t e : r.errors()) w.put(e);
        encodeHistogram(w, r.times());
        encodeHistogram(w, r.intended());
    }
}

bool decodeLatency(ByteReader& in, const TransferShape& shape,
                   std::vector<RequestLatency>& latency) {
    uint32_t n = 0;
    // The test sequence's positions, then those of the initial and final
    // sequences (writers before these wrote the first only).
    if (!in.get(n) || (n != 0 && n < uint32_t(shape.positions)) ||
        (shape.mode == ResultMode::Scripted && n != 0))
        return false;
    latency.clear();
    if (uint64_t(n) * kLatencyBlock > in.remaining()) return false;
    for (uint32_t k = 0; k < n; ++k) {
        std::array<int64_t, 4> errors{};
        for (int64_t& e : errors)
            if (!in.get(e) || e < 0 || e > kMaxCount) return false;
        LatencyHistogram times, intended;
        if (!decodeHistogram(in, times) || !decodeHistogram(in, intended)) return false;
        latency.emplace_back(std::move(times), std::move(intended), errors);
    }
    return true;
}

void encodeUser(ByteWriter& w, const TransferShape& shape, int64_t startTick, int32_t index,
                const UserRecord& u) {
    w.put(index);
    w.put(u.startTick - startTick);
    w.put(u.endTick - startTick);
    w.put(u.requestsMade);
    w.put(u.sentAtStart);
    w.put(u.sentAtEnd);
    w.put(u.bytesSent);
    w.put(u.bytesReceived);
    w.put(u.sendTimeMs);
    w.put(u.receiveTimeMs);
    w.put(uint8_t(u.started ? 1 : 0));
    const UserResults& r = u.results;
    switch (shape.mode) {
        case ResultMode::Detailed:
            for (int32_t k = 0; k < shape.positions; ++k)
                for (int32_t i = 0; i < shape.iterations; ++i) w.put(r.cell(k, i));
            if (shape.timestamps)
                for (int32_t i = 0; i < shape.iterations; ++i) {
                    w.put(r.times(i).start);
                    w.put(r.times(i).end);
                }
            break;
        case ResultMode::Aggregated:
            for (int32_t k = 0; k < shape.positions; ++k) {
                w.put(r.minimum(k));
                w.put(r.maximum(k));
                w.put(r.count(k));
                w.put(r.sum(k));
            }
            break;
        case ResultMode::Scripted:
            w.put(uint32_t(r.scripted().size()));
            for (const ScriptedResult& s : r.scripted()) {
                putText(w, std::string_view(s.name).substr(0, kMaxResultName));
                w.put(s.value);
                w.put(s.start);
                w.put(s.end);
            }
            break;
    }
    encodeLatency(w, u.latency);
    // Fields added later go here, at the end of the user's block.
}

bool decodeResults(ByteReader& in, const TransferShape& shape, UserResults& r) {
    switch (shape.mode) {
        case ResultMode::Detailed: {
            const uint64_t cells = uint64_t(shape.positions) * uint64_t(shape.iterations);
            const uint64_t times = shape.timestamps ? uint64_t(shape.iterations) * 16 : 0;
            if (cells > in.remaining() / 4 || cells * 4 + times > in.remaining()) return false;
            // The results keep a row pointer per position even without iterations:
            // those bytes must be in the input too.
            if (uint64_t(shape.positions) * sizeof(void*) > in.remaining() + cells * 4)
                return false;
            r.prepare(ResultMode::Detailed, shape.positions, shape.iterations, shape.timestamps);
            for (int32_t k = 0; k < shape.positions; ++k)
                for (int32_t i = 0; i < shape.iterations; ++i) {
                    int32_t v = 0;
                    in.get(v);
                    if (!isResultCode(v)) return false;
                    r.setCell(k, i, v);
                }
            if (shape.timestamps)
                for (int32_t i = 0; i < shape.iterations; ++i) {
                    IterationTimes& t = r.times(i);
                    in.get(t.start);
                    in.get(t.end);
                    if ((t.start != 0 && !isWallTime(t.start)) ||
                        (t.end != 0 && !isWallTime(t.end)))
                        return false;
                }
            return true;
        }
        case ResultMode::Aggregated: {
            if (uint64_t(shape.positions) * 20 > in.remaining()) return false;
            r.prepare(ResultMode::Aggregated, shape.positions, shape.iterations, false);
            for (int32_t k = 0; k < shape.positions; ++k) {
                int32_t mn = 0, mx = 0, n = 0;
                int64_t sum = 0;
                in.get(mn), in.get(mx), in.get(n), in.get(sum);
                // Empty positions keep the "none yet" minimum of INT32_MAX.
                if (mn < 0 || mx < 0 || n < 0 || sum < 0 || sum > int64_t(n) * mx) return false;
                r.setAggregate(k, mn, mx, n, sum);
            }
            return true;
        }
        case ResultMode::Scripted: {
            r.prepare(ResultMode::Scripted, shape.positions, 0, false);
            uint32_t n = 0;
            // Each result takes at least 24 bytes: no allocation beyond the input.
            if (!in.get(n) || uint64_t(n) * 24 > in.remaining()) return false;
            r.scripted().reserve(n);
            for (uint32_t i = 0; i < n; ++i) {
                ScriptedResult s;
                uint32_t length = 0;
                std::string_view name;
                if (!in.get(length) || length > kMaxResultName || !in.getBytes(length, name))
                    return false;
                s.name.assign(name);
                if (!in.get(s.value) || !in.get(s.start) || !in.get(s.end) ||
                    !isResultCode(s.value) || (s.start != 0 && !isWallTime(s.start)) ||
                    (s.end != 0 && !isWallTime(s.end)))
                    return false;
                r.scripted().push_back(std::move(s));
            }
            return true;
        }
    }
    return false;
}

bool decodeUser(std::string_view block, const TransferShape& shape, int32_t& index, UserRecord& u) {
    ByteReader in(block);
    if (block.size() < kUserHead) return false;
    uint8_t started = 0;
    in.get(index), in.get(u.startTick), in.get(u.endTick), in.get(u.requestsMade);
    in.get(u.sentAtStart), in.get(u.sentAtEnd), in.get(u.bytesSent), in.get(u.bytesReceived);
    in.get(u.sendTimeMs), in.get(u.receiveTimeMs), in.get(started);
    u.started = started != 0;
    if (u.startTick < -kMaxTick || u.startTick > kMaxTick || u.endTick < -kMaxTick ||
        u.endTick > kMaxTick || (u.started && u.endTick < u.startTick) || u.requestsMade < 0 ||
        u.sentAtStart < 0 || u.sentAtEnd < u.sentAtStart || u.bytesSent > kMaxBytes ||
        u.bytesReceived > kMaxBytes || !(u.sendTimeMs >= 0 && u.sendTimeMs <= kMaxSpanMs) ||
        !(u.receiveTimeMs >= 0 && u.receiveTimeMs <= kMaxSpanMs))
        return false;
    if (!decodeResults(in, shape, u.results)) return false;
    // Blocks of writers before response-time histograms end here.
    return in.remaining() == 0 || decodeLatency(in, shape, u.latency);
}

}  // namespace

std::string encodeRecords(const TransferShape& shape, const RunTimes& times,
                          const HttpCounters& counters, const ErrorCounters& errors,
                          const std::vector<IndexedRecord>& users,
                          const std::vector<std::pair<uint32_t, std::string>>& sections) {
    ByteWriter w;
    for (char c : kMagic) w.put(c);
    w.put(kVersion);
    w.put(shape.clients), w.put(shape.positions), w.put(shape.iterations);
    w.put(int32_t(shape.mode)), w.put(int32_t(shape.timestamps ? 1 : 0));
    w.put(times.wallStart), w.put(times.wallEnd), w.put(times.durationMs);
    w.put(int64_t(counters.httpRequests.load()));
    w.put(errors.http.load()), w.put(errors.network.load()), w.put(errors.fail.load());
    w.put(errors.timeout.load());
    std::vector<std::pair<int32_t, int32_t>> codes;
    for (int32_t c = 0; c < HttpCounters::kStatusCodes; ++c)
        if (int32_t n = counters.statusCodes[size_t(c)].load(); n > 0) codes.emplace_back(c, n);
    w.put(uint32_t(codes.size()));
    for (auto [code, n] : codes) w.put(code), w.put(n);
    w.put(uint32_t(users.size()));
    for (const auto& [index, record] : users) {
        const size_t at = w.size();
        w.put(uint32_t(0));
        encodeUser(w, shape, times.startTick, index, *record);
        w.patch(at, uint32_t(w.size() - at - 4));
    }
    // Run-wide sections (tag, length, bytes).
    w.put(uint32_t(sections.size()));
    for (const auto& [tag, bytes] : sections) {
        w.put(tag);
        putText(w, bytes);
    }
    return w.take();
}

std::string encodeTimeline(int32_t bucketMs, const std::vector<TimelinePoint>& points) {
    ByteWriter w;
    w.put(bucketMs);
    w.put(uint32_t(points.size()));
    for (const TimelinePoint& p : points) w.put(p.requests), w.put(p.errors), w.put(p.usersActive);
    return w.take();
}

bool decodeTimeline(std::string_view bytes, int32_t& bucketMs, std::vector<TimelinePoint>& points) {
    ByteReader in(bytes);
    uint32_t n = 0;
    if (!in.get(bucketMs) || !in.get(n)) return false;
    // A span is the sample interval doubled some times; the points fit the bytes.
    if (bucketMs < RunTimeline::kSampleMs || bucketMs % RunTimeline::kSampleMs != 0 ||
        !std::has_single_bit(uint32_t(bucketMs / RunTimeline::kSampleMs)))
        return false;
    if (n > RunTimeline::kMaxPoints || uint64_t(n) * 12 != in.remaining()) return false;
    points.assign(n, TimelinePoint{});
    for (TimelinePoint& p : points) {
        in.get(p.requests), in.get(p.errors), in.get(p.usersActive);
        if (p.requests < 0 || p.errors < 0 || p.usersActive < 0) return false;
    }
    return true;
}

bool decodeRecords(std::string_view bytes, DecodedRecords& out, std::string& error,
                   const TransferShape* expected) {
    out = DecodedRecords{};
    ByteReader in(bytes);
    std::string_view magic;
    uint32_t version = 0;
    if (!in.getBytes(sizeof kMagic, magic) || magic != std::string_view(kMagic, sizeof kMagic)) {
        error = "not a file of VELK shard results";
        return false;
    }
    if (!in.get(version)) {
        error = "the shard results are cut short or damaged";
        return false;
    }
    if (version != kVersion) {
        error = "shard results of an unknown version " + std::to_string(version);
        return false;
    }
    TransferShape& shape = out.shape;
    TransferRun& run = out.run;
    int32_t mode = 0, timestamps = 0;
    uint32_t codes = 0, users = 0;
    error = "the shard results are cut short or damaged";
    if (!in.get(shape.clients) || !in.get(shape.positions) || !in.get(shape.iterations) ||
        !in.get(mode) || !in.get(timestamps) || !in.get(run.wallStart) || !in.get(run.wallEnd) ||
        !in.get(run.durationMs) || !in.get(run.httpRequests))
        return false;
    for (int32_t& e : run.errors)
        if (!in.get(e) || e < 0) return false;
    if (shape.clients < 0 || shape.positions < 0 || shape.iterations < 0 || mode < 0 || mode > 2)
        return false;
    shape.mode = ResultMode(mode);
    shape.timestamps = timestamps != 0;
    // Before anything is allocated for the users: the shape must be the test's own.
    if (expected != nullptr && !(shape == *expected)) {
        error = "they are of another test (users, sequence, iterations or result options differ)";
        return false;
    }
    if (!isWallTime(run.wallStart) || !isWallTime(run.wallEnd) || run.durationMs < 0 ||
        run.durationMs > kMaxSpanMs || run.httpRequests < 0 || run.httpRequests > kMaxCount)
        return false;
    if (!in.get(codes) || codes > uint32_t(HttpCounters::kStatusCodes)) return false;
    for (uint32_t i = 0; i < codes; ++i) {
        int32_t code = 0, n = 0;
        if (!in.get(code) || !in.get(n) || code < 0 || code >= HttpCounters::kStatusCodes || n < 0)
            return false;
        run.statusCodes.emplace_back(code, n);
    }
    // Each user takes at least a block length and its head.
    if (!in.get(users) || users > uint32_t(shape.clients) ||
        uint64_t(users) * (4 + kUserHead) > in.remaining())
        return false;
    for (uint32_t i = 0; i < users; ++i) {
        uint32_t length = 0;
        std::string_view block;
        if (!in.get(length) || !in.getBytes(length, block)) return false;
        auto record = std::make_unique<UserRecord>();
        int32_t index = -1;
        if (!decodeUser(block, shape, index, *record)) return false;
        if (index < 0 || index >= shape.clients) {
            error = "the shard results name a user outside the test";
            return false;
        }
        out.users.emplace_back(index, std::move(record));
    }
    uint32_t sections = 0;
    if (!in.get(sections) || uint64_t(sections) * 8 > in.remaining()) return false;
    for (uint32_t i = 0; i < sections; ++i) {
        uint32_t tag = 0, length = 0;
        std::string_view bytes;
        if (!in.get(tag) || !in.get(length) || !in.getBytes(length, bytes)) return false;
        out.sections.emplace_back(tag, std::string(bytes));
    }
    if (in.remaining() != 0) return false;
    error.clear();
    return true;
}

}  // namespace velk
