#include "app/results/rlt_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "app/base/file_io.h"
#include "app/results/rlt_figures.h"
#include "app/results/rlt_items.h"

namespace velk::results {
namespace {

constexpr int32_t kSchema = 1;

const char kBadSchema[] = "%1 contains an incorrect schema.";
constexpr const char* kPastEnd = RltReader::kPastEnd;

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

Status saveResultsFile(const CResultsContainer& list, const std::string& path) {
    const int err = velk::base::replaceFileWhole(path, rltFileBytes(list.all()));
    if (err != 0)
        return {StatusCode::kIo, "Failed to save results: " + path + ": " + std::strerror(err)};
    return Status::ok();
}

Status loadResultsFile(CResultsContainer& list, const std::string& path) {
    try {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 && errno == ENOENT)
            return {StatusCode::kIo, withPath("%1 was not found.", path)};
        StatusOr<std::string> bytes = velk::base::readRegularFile(path, RltLimits::kMaxFileBytes);
        if (!bytes)
            return {StatusCode::kIo,
                    "Unable to read the results file " + bytes.status().message() + "."};
        RltReadResult read = readRltBytes(*bytes);
        if (read.replacesList) list.replaceAll(std::move(read.records));
        if (!read.ok) return {StatusCode::kInvalid, withPath(read.error, path)};
        return Status::ok();
    } catch (const std::bad_alloc&) {
        // The list is replaced only after the reading, so it stays as it was.
        return {StatusCode::kIo, withPath("There is not enough memory to load %1.", path)};
    }
}

}  // namespace velk::results
