#include "app/results/rlt_file.h"

#include <sys/stat.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#include "app/base/file_io.h"

namespace velk::results {
namespace {

constexpr int32_t kSchema = 1;

class RltWriter {
public:
    void putInt(int32_t v) { putRaw(&v, 4); }
    void putFloat(float v) { putRaw(&v, 4); }
    void putDouble(double v) { putRaw(&v, 8); }
    void putInt64(int64_t v) { putRaw(&v, 8); }
    size_t size() const { return m_bytes.size(); }
    // Overwrites the int at offset (a length known only afterwards).
    void setInt(size_t offset, int32_t v) { std::memcpy(m_bytes.data() + offset, &v, 4); }
    void putString(std::string_view s) {
        const size_t n = s.size();
        if (n < 255) {
            putByte(uint8_t(n));
        } else if (n < 65534) {
            putByte(255);
            putByte(uint8_t(n & 0xff));
            putByte(uint8_t(n >> 8));
        } else {
            putByte(255);
            putByte(255);
            putByte(255);
            putInt(int32_t(uint32_t(n)));
        }
        m_bytes.append(s);
    }
    const std::string& bytes() const { return m_bytes; }

private:
    void putByte(uint8_t b) { m_bytes.push_back(char(b)); }
    // Little-endian items: the host order on the machines we build for.
    void putRaw(const void* p, size_t n) {
        static_assert(std::endian::native == std::endian::little);
        m_bytes.append(static_cast<const char*>(p), n);
    }
    std::string m_bytes;
};

const char kPastEnd[] = "An attempt was made to access %1 past its end.";
const char kBadSchema[] = "%1 contains an incorrect schema.";

// Reads items from untrusted bytes; after the first error every read fails,
// and error() says why (a format with %1 for the file's name).
class RltReader {
public:
    explicit RltReader(std::string_view bytes)
        : m_bytes(bytes),
          m_budget(RltLimits::kMemoryFloor + bytes.size() * RltLimits::kMemoryPerFileByte) {}

    bool getInt(int32_t& v) { return getRaw(&v, 4); }
    bool getFloat(float& v) { return getRaw(&v, 4); }
    bool getDouble(double& v) { return getRaw(&v, 8); }
    bool getInt64(int64_t& v) { return getRaw(&v, 8); }
    bool atEnd() const { return m_pos == m_bytes.size(); }
    size_t position() const { return m_pos; }
    // Moves on to pos, which lies ahead within the bytes.
    bool skipTo(size_t pos) {
        if (!m_ok || pos < m_pos || pos > m_bytes.size()) return pastEnd();
        m_pos = pos;
        return true;
    }
    // Marks the reading failed with error (a format with %1).
    bool refuse(const char* error) { return fail(error); }
    // A string of at most maxLength bytes; past it, the error tooLong (or
    // kTextTooLong).
    bool getString(std::string& s, size_t maxLength = RltLimits::kMaxReportBytes,
                   const char* tooLong = nullptr) {
        uint8_t b = 0;
        if (!getRaw(&b, 1)) return false;
        size_t n = b;
        if (b == 255) {
            uint16_t w = 0;
            if (!getRaw(&w, 2)) return false;
            n = w;
            if (w == 0xffff) {
                uint32_t d = 0;
                if (!getRaw(&d, 4)) return false;
                n = d;
            }
        }
        if (n > remaining()) return pastEnd();
        if (n > maxLength) return fail(tooLong ? tooLong : kTextTooLong);
        if (!charge(n)) return false;
        s.assign(m_bytes.substr(m_pos, n));
        m_pos += n;
        return true;
    }
    // A count of entries that each take at least minBytes of the file and
    // memoryBytes of memory, at most limit of them (tooMany says so).
    bool getCount(int32_t& n, size_t minBytes, size_t memoryBytes, int32_t limit,
                  const char* tooMany) {
        if (!getInt(n)) return false;
        if (n < 0 || size_t(n) > remaining() / minBytes) return pastEnd();
        if (n > limit) return fail(tooMany);
        return charge(size_t(n) * memoryBytes);
    }
    // Counts memory the reading is about to allocate against its budget.
    bool charge(size_t bytes) {
        if (bytes > m_budget) return fail(kTooLarge);
        m_budget -= bytes;
        return true;
    }
    bool ok() const { return m_ok; }
    const char* error() const { return m_error; }

    static constexpr const char* kTextTooLong =
        "%1 holds a text longer than 16 MiB; it was not loaded further.";
    static constexpr const char* kTooLarge =
        "%1 holds more data than its size allows; it was not loaded further.";

private:
    size_t remaining() const { return m_bytes.size() - m_pos; }
    bool pastEnd() { return fail(kPastEnd); }
    bool fail(const char* error) {
        if (m_ok) m_error = error;
        m_ok = false;
        return false;
    }
    bool getRaw(void* p, size_t n) {
        if (!m_ok || remaining() < n) return pastEnd();
        std::memcpy(p, m_bytes.data() + m_pos, n);
        m_pos += n;
        return true;
    }
    std::string_view m_bytes;
    size_t m_pos = 0;
    size_t m_budget;
    bool m_ok = true;
    const char* m_error = kPastEnd;
};

void writeRecord(RltWriter& out, const CResultsStore& r) {
    out.putInt(kSchema);
    out.putInt(r.runNumber);
    out.putInt(r.users);
    out.putInt(r.sequenceLength);
    out.putInt(r.iterations);
    out.putInt(r.summaryForm);
    out.putString(r.report);
    out.putInt(r.batchNumber);
    out.putInt(r.cycleValue);
    out.putString(r.cycleLabel);
    out.putInt(r.cycleByIterations);
    out.putFloat(r.requestsPerSecond);
    out.putFloat(r.msPerRequest);
    out.putDouble(r.serverBandwidth);
    out.putDouble(r.userBandwidth);
    out.putInt(r.totalRequests);
    out.putInt(r.totalErrors);
    out.putString(r.title);
    out.putInt(int32_t(r.entryNames.size()));
    for (const std::string& name : r.entryNames) out.putString(name);
    out.putInt(int32_t(r.timings.size()));
    for (const auto& row : r.timings) {
        out.putInt(int32_t(row.size()));
        for (const auto& values : row) {
            out.putInt(int32_t(values.size()));
            for (int32_t v : values) out.putInt(v);
        }
    }
}

constexpr const char* kTooManyRecords = "%1 holds more than 10000 passes; it was not loaded.";
constexpr const char* kTooManyNames =
    "%1 holds a pass of more than 10000 sequence entries; it was not loaded further.";
constexpr const char* kTooManyRows =
    "%1 holds a pass of more than 999999 users; it was not loaded further.";
constexpr const char* kReportTooLong =
    "%1 holds a report longer than 16 MiB; it was not loaded further.";

// False when the bytes end early, claim more than they hold or pass a limit.
// A record schema other than 1 ends the record with its fields as they were.
bool readRecord(RltReader& in, CResultsStore& r) {
    int32_t schema = 0;
    if (!in.getInt(schema)) return false;
    if (schema != kSchema) return true;
    in.getInt(r.runNumber);
    in.getInt(r.users);
    in.getInt(r.sequenceLength);
    in.getInt(r.iterations);
    in.getInt(r.summaryForm);
    in.getString(r.report, RltLimits::kMaxReportBytes, kReportTooLong);
    in.getInt(r.batchNumber);
    in.getInt(r.cycleValue);
    in.getString(r.cycleLabel);
    in.getInt(r.cycleByIterations);
    in.getFloat(r.requestsPerSecond);
    in.getFloat(r.msPerRequest);
    in.getDouble(r.serverBandwidth);
    in.getDouble(r.userBandwidth);
    in.getInt(r.totalRequests);
    in.getInt(r.totalErrors);
    in.getString(r.title);
    using Values = std::vector<int32_t>;
    using Row = std::vector<Values>;
    int32_t names = 0;
    if (!in.getCount(names, 1, sizeof(std::string), RltLimits::kMaxEntryNames, kTooManyNames))
        return false;
    r.entryNames.resize(size_t(names));
    for (std::string& name : r.entryNames) in.getString(name);
    int32_t rows = 0;
    if (!in.getCount(rows, 4, sizeof(Row), RltLimits::kMaxRows, kTooManyRows)) return false;
    r.timings.resize(size_t(rows));
    for (auto& row : r.timings) {
        int32_t entries = 0;
        if (!in.getCount(entries, 4, sizeof(Values), INT32_MAX, kPastEnd)) return false;
        row.resize(size_t(entries));
        for (auto& values : row) {
            int32_t count = 0;
            if (!in.getCount(count, 4, sizeof(int32_t), INT32_MAX, kPastEnd)) return false;
            values.resize(size_t(count));
            for (int32_t& v : values) in.getInt(v);
        }
    }
    return in.ok();
}

// The figures after the records: a marker, a version, the record count, then
// for each record a presence flag and, when present, the byte count of its
// figures and the figures.  Readers that stop after the records never see
// them; a later version may append fields to a record's figures, which this
// reader steps over by the byte count.
//
// After a record's timeline come sections, each a tag, a byte count and its
// bytes: the run's totals, and whatever a later version adds, which this
// reader steps over by the byte count.  A reader that knew no sections steps
// over them all.
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

// Gives each record the figures the trailer holds for it, up to the first
// damaged one; the records themselves stay whatever the trailer holds.
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

std::string withPath(const std::string& format, const std::string& path) {
    std::string text = format;
    const size_t at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, path);
    return text;
}

}  // namespace

std::string rltFileBytes(const std::vector<ResultsStorePtr>& records) {
    RltWriter out;
    out.putInt(kSchema);
    out.putInt(int32_t(records.size()));
    for (const ResultsStorePtr& record : records) writeRecord(out, *record);
    // Files of passes without figures stay byte for byte as they always were.
    bool anyFigures = false;
    for (const ResultsStorePtr& record : records) anyFigures = anyFigures || record->figures;
    if (anyFigures) writeFigures(out, records);
    return out.bytes();
}

RltReadResult readRltBytes(std::string_view bytes) {
    RltReadResult result;
    RltReader in(bytes);
    int32_t schema = 0;
    if (!in.getInt(schema)) {
        result.error = in.error();
        return result;
    }
    if (schema != kSchema) {
        result.error = kBadSchema;
        return result;
    }
    result.replacesList = true;
    // A record takes at least its schema number.
    int32_t count = 0;
    if (!in.getCount(count, 4, sizeof(ResultsStorePtr), RltLimits::kMaxRecords, kTooManyRecords)) {
        result.error = in.error();
        return result;
    }
    std::vector<std::shared_ptr<CResultsStore>> records;
    records.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        // The record and the shared pointer's control block beside it.
        if (!in.charge(sizeof(CResultsStore) + 2 * sizeof(void*) + 16)) break;
        auto record = std::make_shared<CResultsStore>();
        if (!readRecord(in, *record)) break;
        records.push_back(std::move(record));
    }
    // Figures belong to complete files only: after a damaged record the
    // trailer's place is unknown.
    if (in.ok() && records.size() == size_t(count)) readFigures(in, records);
    result.records.assign(records.begin(), records.end());
    result.ok = in.ok();
    if (!result.ok) result.error = in.error();
    return result;
}

bool saveResultsFile(const CResultsContainer& list, const std::string& path, std::string& error) {
    const int err = velk::base::replaceFileWhole(path, rltFileBytes(list.all()));
    if (err != 0) error = "Failed to save results: " + path + ": " + std::strerror(err);
    return err == 0;
}

bool loadResultsFile(CResultsContainer& list, const std::string& path, std::string& error) {
    try {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
            error = withPath("%1 was not found.", path);
            return false;
        }
        std::string bytes, why;
        if (!velk::base::readRegularFile(path, RltLimits::kMaxFileBytes, bytes, why)) {
            error = "Unable to read the results file " + why + ".";
            return false;
        }
        RltReadResult read = readRltBytes(bytes);
        if (read.replacesList) list.replaceAll(std::move(read.records));
        if (!read.ok) error = withPath(read.error, path);
        return read.ok;
    } catch (const std::bad_alloc&) {
        // The list is replaced only after the reading, so it stays as it was.
        error = withPath("There is not enough memory to load %1.", path);
        return false;
    }
}

}  // namespace velk::results
