// The .rlt results file: its byte layout, round trips, and refusal of broken
// or hostile files without a crash or a large allocation.
#include "app/results/rlt_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include "app/results/summary_table.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"

// The largest single allocation of this test program, to show that a hostile
// count is refused before anything is allocated for it.
static std::atomic<size_t> g_largestAllocation{0};
// Every byte allocated, to show that reading stays within its budget.
static std::atomic<size_t> g_allocatedBytes{0};

// The replacements pair malloc with free by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    g_allocatedBytes += size;
    size_t seen = g_largestAllocation.load();
    while (size > seen && !g_largestAllocation.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace velk::results {
namespace {

std::string le32(int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[size_t(i)] = char((uint32_t(v) >> (8 * i)) & 0xff);
    return s;
}

std::shared_ptr<CResultsStore> detailedRecord() {
    auto r = std::make_shared<CResultsStore>();
    r->runNumber = 3;
    r->users = 2;
    r->sequenceLength = 2;
    r->iterations = 3;
    r->report = "VELK report\r\nline two\r\n";
    r->batchNumber = 4;
    r->cycleValue = 2;
    r->cycleLabel = "Virtual users";
    r->requestsPerSecond = 12.5f;
    r->msPerRequest = 80.25f;
    r->serverBandwidth = 1234.5678;
    r->userBandwidth = 617.2839;
    r->totalRequests = 12;
    r->totalErrors = 1;
    r->title = "10:42 - shop - Virtual users=2";
    r->entryNames = {"home", ""};
    r->timings = {{{100, 200, -1}, {300, -255, 400}}, {{}, {5, 6, 7}}};
    return r;
}

bool sameRecord(const CResultsStore& a, const CResultsStore& b) {
    return a.runNumber == b.runNumber && a.users == b.users &&
           a.sequenceLength == b.sequenceLength && a.iterations == b.iterations &&
           a.summaryForm == b.summaryForm && a.report == b.report &&
           a.batchNumber == b.batchNumber && a.cycleValue == b.cycleValue &&
           a.cycleLabel == b.cycleLabel && a.cycleByIterations == b.cycleByIterations &&
           a.requestsPerSecond == b.requestsPerSecond && a.msPerRequest == b.msPerRequest &&
           a.serverBandwidth == b.serverBandwidth && a.userBandwidth == b.userBandwidth &&
           a.totalRequests == b.totalRequests && a.totalErrors == b.totalErrors &&
           a.title == b.title && a.entryNames == b.entryNames && a.timings == b.timings;
}

TEST(RltFile, EmptyListIsEightBytesAndLoadsEmpty) {
    velk::test::TempDir dir;
    CResultsContainer list;
    const std::string path = dir.file("empty.rlt");
    ASSERT_TRUE(velk::test::isOk(saveResultsFile(list, path)));
    const std::string bytes = le32(1) + le32(0);
    EXPECT_EQ(rltFileBytes({}), bytes);

    CResultsContainer loaded;
    loaded.add(detailedRecord());
    ASSERT_TRUE(velk::test::isOk(loadResultsFile(loaded, path)));
    EXPECT_EQ(loaded.count(), 0);
}

TEST(RltFile, StringLengthForms) {
    // Below 255: one byte; up to 65533: 255 and two bytes; longer: 255 255 255
    // and four bytes.
    struct Case {
        size_t length;
        std::string prefix;
    };
    const Case cases[] = {{254, std::string("\xfe", 1)},
                          {255, std::string("\xff\xff\x00", 3)},
                          {65533, std::string("\xff\xfd\xff", 3)},
                          {65534, std::string("\xff\xff\xff", 3) + le32(65534)}};
    for (const Case& c : cases) {
        auto r = std::make_shared<CResultsStore>();
        r->report.assign(c.length, 'x');
        const std::string bytes = rltFileBytes({r});
        // list schema, count, record schema, five ints, then the report.
        EXPECT_EQ(bytes.substr(32, c.prefix.size()), c.prefix) << c.length;
        const RltReadResult back = readRltBytes(bytes);
        ASSERT_TRUE(back.ok) << back.error;
        EXPECT_EQ(back.records.at(0)->report.size(), c.length);
    }
}

TEST(RltFile, SummaryRecordKeepsFiveValuesPerEntry) {
    auto r = std::make_shared<CResultsStore>();
    r->summaryForm = 1;
    r->users = 1;
    r->iterations = 1;
    r->sequenceLength = 3;
    r->entryNames = {"a", "b", "c"};
    r->timings = {{{10, 60, 3, 30, 0}, {0, 0, 0, 0, 0}, {-1, 5, 1, 5, 0}}};
    const RltReadResult back = readRltBytes(rltFileBytes({r}));
    ASSERT_TRUE(back.ok) << back.error;
    const CResultsStore& got = *back.records.at(0);
    ASSERT_EQ(got.timings.size(), 1u);
    ASSERT_EQ(got.timings[0].size(), 3u);
    for (const auto& values : got.timings[0]) {
        ASSERT_EQ(values.size(), 5u);
        EXPECT_EQ(values[4], 0);
    }
    EXPECT_TRUE(sameRecord(*r, got));
}

TEST(RltFile, DetailedRecordsRoundTripThroughAFileKeepingRunNumbers) {
    velk::test::TempDir dir;
    CResultsContainer list;
    list.add(detailedRecord());
    list.add(detailedRecord());
    const std::string path = dir.file("two.rlt");
    ASSERT_TRUE(velk::test::isOk(saveResultsFile(list, path)));

    CResultsContainer loaded;
    ASSERT_TRUE(velk::test::isOk(loadResultsFile(loaded, path)));
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_TRUE(sameRecord(*list.get(0), *loaded.get(0)));
    EXPECT_TRUE(sameRecord(*list.get(1), *loaded.get(1)));
    EXPECT_EQ(loaded.get(1)->runNumber, 2);
    // The loaded run numbers do not move the counter: the next pass is 1.
    loaded.clear();
    EXPECT_EQ(loaded.add(std::make_shared<CResultsStore>()), 0);
    EXPECT_EQ(loaded.get(0)->runNumber, 1);
}

TEST(RltFile, EveryTruncationIsRefusedKeepingWholeRecords) {
    const std::string bytes = rltFileBytes({detailedRecord(), detailedRecord()});
    const size_t firstEnd = rltFileBytes({detailedRecord()}).size();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        const RltReadResult r = readRltBytes(std::string_view(bytes).substr(0, cut));
        ASSERT_FALSE(r.ok) << cut;
        EXPECT_EQ(r.error, "An attempt was made to access %1 past its end.");
        // The second record starts 4 bytes further on for the extra count.
        EXPECT_EQ(r.records.size(), cut >= firstEnd ? 1u : 0u) << cut;
    }
    EXPECT_TRUE(readRltBytes(bytes).ok);
}

TEST(RltFile, HostileCountsAreRefusedWithoutAllocating) {
    // A record count, a name count and a value count of two billion.
    const std::string head = le32(1) + le32(1) + le32(1) + std::string(20, '\0') + '\0' + le32(0) +
                             le32(0) + '\0' + le32(0) + std::string(32, '\0') + '\0';
    const std::string cases[] = {
        le32(1) + le32(2000000000),
        head + le32(2000000000),
        head + le32(0) + le32(1) + le32(1) + le32(2000000000),
        head + le32(0) + le32(-5),
        le32(1) + le32(1) + le32(1) + std::string(20, '\0') + std::string("\xff\xff\xff", 3) +
            le32(-1),
    };
    for (const std::string& bytes : cases) {
        g_largestAllocation = 0;
        const RltReadResult r = readRltBytes(bytes);
        EXPECT_LT(g_largestAllocation.load(), size_t(4096));
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.records.empty());
        EXPECT_FALSE(r.error.empty());
    }
}

// A record up to its name count: sound fields, a report of reportBytes.
std::string recordHead(size_t reportBytes = 6) {
    std::string report(reportBytes, 'r');
    std::string length = reportBytes < 255 ? std::string(1, char(reportBytes))
                         : reportBytes < 65534
                             ? "\xff" + std::string(1, char(reportBytes & 0xff)) +
                                   std::string(1, char(reportBytes >> 8))
                             : std::string("\xff\xff\xff", 3) + le32(int32_t(reportBytes));
    return le32(1) + le32(1) + le32(1) + le32(1) + le32(1) + le32(0) + length + report + le32(1) +
           le32(1) + '\0' + le32(0) + std::string(24, '\0') + le32(0) + le32(0) + '\0';
}

std::string repeated(const std::string& piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// Files whose counts are each within the bytes they hold but would make the
// reading allocate many times the file's size (32 bytes per empty name, 24
// per empty row, some 300 per 4-byte record) or pass a documented limit: each
// is refused with a message naming the limit, allocating within the budget.
TEST(RltFile, AmplifyingFilesAreRefusedWithinTheMemoryBudget) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;  // part of the error; null: the file loads
    };
    const std::string emptyNames = recordHead() + le32(10000) + std::string(10000, '\0') + le32(0);
    const Case cases[] = {
        {"600,000 empty names",
         le32(1) + le32(1) + recordHead() + le32(600000) + std::string(600000, '\0') + le32(0),
         "more than 10000 sequence entries"},
        {"400 passes of 10,000 empty names", le32(1) + le32(400) + repeated(emptyNames, 400),
         "more data than its size allows"},
        {"1,000,000 empty rows",
         le32(1) + le32(1) + recordHead() + le32(0) + le32(1000000) + repeated(le32(0), 1000000),
         "more than 999999 users"},
        {"10,001 passes", le32(1) + le32(10001) + repeated(le32(7), 10001),
         "more than 10000 passes"},
        {"a report of 17 MiB", le32(1) + le32(1) + recordHead(size_t(17) << 20) + le32(0) + le32(0),
         "a report longer than 16 MiB"},
        {"10,000 cut-short passes", le32(1) + le32(10000) + repeated(le32(7), 10000), nullptr},
        {"500,000 empty rows",
         le32(1) + le32(1) + recordHead() + le32(0) + le32(500000) + repeated(le32(0), 500000),
         nullptr},
    };
    for (const Case& c : cases) {
        g_allocatedBytes = 0;
        const RltReadResult r = readRltBytes(c.bytes);
        const size_t allocated = g_allocatedBytes.load();
        EXPECT_LE(allocated,
                  RltLimits::kMemoryFloor + c.bytes.size() * RltLimits::kMemoryPerFileByte)
            << c.what;
        if (c.message) {
            EXPECT_FALSE(r.ok) << c.what;
            EXPECT_NE(r.error.find(c.message), std::string::npos) << c.what << ": " << r.error;
            EXPECT_NE(r.error.find("%1"), std::string::npos) << c.what;
        } else {
            EXPECT_TRUE(r.ok) << c.what << ": " << r.error;
        }
    }
}

// The fuzz target's corpus holds the amplifying files found before; each
// loads or is refused within the budget here too.
TEST(RltFile, FuzzCorpusFilesStayWithinTheMemoryBudget) {
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VELK_RLT_CORPUS_DIR)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        g_allocatedBytes = 0;
        const RltReadResult r = readRltBytes(bytes);
        EXPECT_LE(g_allocatedBytes.load(),
                  RltLimits::kMemoryFloor + bytes.size() * RltLimits::kMemoryPerFileByte)
            << entry.path();
        EXPECT_TRUE(r.ok || !r.error.empty()) << entry.path();
        ++files;
    }
    EXPECT_GE(files, 5u);
}

TEST(RltFile, ForeignListSchemaLeavesTheListAsItWas) {
    velk::test::TempDir dir;
    const std::string path = dir.write("foreign.rlt", le32(2) + le32(0));
    CResultsContainer list;
    list.add(detailedRecord());
    const Status loaded = loadResultsFile(list, path);
    EXPECT_EQ(loaded.code(), StatusCode::kInvalid);
    EXPECT_EQ(loaded.message(), path + " contains an incorrect schema.");
    EXPECT_EQ(list.count(), 1);
}

TEST(RltFile, SavingOverAFileReplacesItWhole) {
    velk::test::TempDir dir;
    const std::string path = dir.write("old.rlt", "old bytes");
    CResultsContainer list;
    list.add(detailedRecord());
    ASSERT_TRUE(velk::test::isOk(saveResultsFile(list, path)));
    CResultsContainer loaded;
    ASSERT_TRUE(velk::test::isOk(loadResultsFile(loaded, path)));
    EXPECT_EQ(loaded.count(), 1);
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    // A directory that does not exist fails without a file.
    const Status saved = saveResultsFile(list, dir.file("no/such.rlt"));
    EXPECT_EQ(saved.code(), StatusCode::kIo);
    EXPECT_NE(saved.message().find("no/such.rlt"), std::string::npos);
}

}  // namespace
}  // namespace velk::results

namespace velk::results {
namespace {

PassFigures sampleFigures(bool paced) {
    PassFigures f;
    LatencyFigures home;
    home.name = "home";
    home.count = 10;
    home.errors = {1, 2, 0, 3};
    home.minMs = 1.25;
    home.meanMs = 4.5;
    home.maxMs = 30;
    home.stddevMs = 2;
    home.percentilesMs = {4, 9, 12, 25, 29.5};
    home.paced = paced ? 1 : 0;
    home.intendedCount = paced ? 10 : 0;
    home.intendedMaxMs = paced ? 40 : 0;
    home.intendedPercentilesMs =
        paced ? std::array<double, 5>{5, 10, 14, 30, 39} : std::array<double, 5>{};
    f.requests = {home, home};
    f.requests[1].name = "cart";
    f.overall = home;
    f.overall.name.clear();
    f.overall.count = 20;
    f.spanMs = 2000;
    f.timeline = {{5, 1, 2}, {15, 0, 2}};
    return f;
}

RunTotals sampleTotals() {
    RunTotals t;
    t.testName = "shop";
    t.startTime = 1800000000;
    t.endTime = 1800000004;
    t.durationMs = 4200;
    t.users = 2;
    t.iterations = 5;
    t.httpRequests = 23;
    t.bytesSent = 4096;
    t.bytesReceived = (uint64_t(1) << 40) + 7;
    t.statusCodes = {{200, 20}, {302, 2}, {503, 1}};
    t.loopLag = {{100, 0.5, 2.5, 3}, {80, 0.25, 12.5, 40}};
    t.allLoopsLag = {180, 0.5, 12.5, 40};
    t.lagWarning = "Warning: the load generator was busy";
    t.httpRequestsPerSecond = 5.5;
    t.httpRateOverWholeRun = true;
    return t;
}

PassFigures figuresWithTotals() {
    PassFigures f = sampleFigures(true);
    f.totals = sampleTotals();
    return f;
}

// The file of two passes, the first with figures and totals, the second without.
std::string figuresFile() {
    auto first = detailedRecord();
    first->figures = figuresWithTotals();
    return rltFileBytes({first, detailedRecord()});
}

// Where the totals' section starts in a file: at its tag.
size_t totalsAt(const std::string& bytes) {
    return bytes.find("VLKT");
}

TEST(RltFileFigures, RoundTripAndTheSummaryPageText) {
    velk::test::TempDir dir;
    CResultsContainer list;
    auto first = detailedRecord();
    first->figures = sampleFigures(false);
    list.add(first);
    list.add(detailedRecord());
    const std::string path = dir.file("figures.rlt");
    ASSERT_TRUE(velk::test::isOk(saveResultsFile(list, path)));
    CResultsContainer loaded;
    ASSERT_TRUE(velk::test::isOk(loadResultsFile(loaded, path)));
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_TRUE(sameRecord(*list.get(0), *loaded.get(0)));
    ASSERT_TRUE(loaded.get(0)->figures.has_value());
    EXPECT_EQ(*loaded.get(0)->figures, sampleFigures(false));
    EXPECT_FALSE(loaded.get(1)->figures.has_value());

    EXPECT_EQ(summaryText(loaded.get(0)->figures),
              "Request\tCount\tErrors\tMin\tMean\tp50\tp90\tp95\tp99\tp99.9\tMax\n"
              "home\t10\t6\t1.25\t4.50\t4.00\t9.00\t12.00\t25.00\t29.50\t30.00\n"
              "cart\t10\t6\t1.25\t4.50\t4.00\t9.00\t12.00\t25.00\t29.50\t30.00\n"
              "All requests\t20\t6\t1.25\t4.50\t4.00\t9.00\t12.00\t25.00\t29.50\t30.00\n");
    EXPECT_EQ(summaryText(loaded.get(1)->figures), "No percentiles in this file");
    // Paced runs add the figures from the intended start.
    const std::string paced = summaryText(sampleFigures(true));
    EXPECT_NE(paced.find("\nFrom the intended start (paced requests)\n"
                         "Request\tCount\tp50\tp90\tp95\tp99\tp99.9\tMax\n"
                         "home\t10\t5.00\t10.00\t14.00\t30.00\t39.00\t40.00\n"),
              std::string::npos)
        << paced;
}

TEST(RltFileFigures, ALaterVersionsAppendedFieldsAreSteppedOver) {
    // Bytes after the figures, a section of its own after the totals, and
    // fields after the totals' own.
    const std::string kSection = le32(0x58585858) + le32(4) + "next";
    const struct {
        const char* what;
        std::string added;
        bool inTotals;
    } cases[] = {
        {"a few bytes", "future", false},
        {"an unknown section", kSection, false},
        {"two unknown sections", kSection + kSection, false},
        {"fields after the totals' own", "more", true},
    };
    for (const auto& c : cases) {
        std::string bytes = figuresFile();
        const size_t trailer = rltFileBytes({detailedRecord(), detailedRecord()}).size();
        const size_t lengthAt = trailer + 16;
        int32_t length = 0, totalsLength = 0;
        std::memcpy(&length, bytes.data() + lengthAt, 4);
        std::memcpy(&totalsLength, bytes.data() + totalsAt(bytes) + 4, 4);
        bytes.replace(trailer + 4, 4, le32(2));
        bytes.insert(lengthAt + 4 + size_t(length), c.added);
        bytes.replace(lengthAt, 4, le32(length + int32_t(c.added.size())));
        if (c.inTotals)
            bytes.replace(totalsAt(bytes) + 4, 4, le32(totalsLength + int32_t(c.added.size())));
        const RltReadResult r = readRltBytes(bytes);
        ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
        ASSERT_EQ(r.records.size(), 2u);
        ASSERT_TRUE(r.records[0]->figures.has_value()) << c.what;
        EXPECT_EQ(*r.records[0]->figures, figuresWithTotals()) << c.what;
        EXPECT_FALSE(r.records[1]->figures.has_value());
    }
}

TEST(RltFileFigures, TotalsRoundTripAndTheirWarningShowsBesideTheReport) {
    const RltReadResult r = readRltBytes(figuresFile());
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.records.size(), 2u);
    ASSERT_TRUE(r.records[0]->figures.has_value());
    ASSERT_TRUE(r.records[0]->figures->totals.has_value());
    EXPECT_EQ(*r.records[0]->figures->totals, sampleTotals());
    EXPECT_EQ(r.records[0]->lagWarning, sampleTotals().lagWarning);
    EXPECT_TRUE(r.records[1]->lagWarning.empty());
    // Figures kept without totals (an earlier version's) still load, without them.
    auto earlier = detailedRecord();
    earlier->figures = sampleFigures(false);
    const RltReadResult e = readRltBytes(rltFileBytes({earlier}));
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_EQ(*e.records[0]->figures, sampleFigures(false));
}

TEST(RltFileFigures, NamesFromAFileCannotBreakTheSummaryTable) {
    PassFigures f = sampleFigures(false);
    std::string accented;
    for (int i = 0; i < 50; ++i) accented += "\xc3\xa9";  // "é", two bytes each
    f.requests[0].name = accented;
    f.requests[1].name = "a\tb\nc";
    const std::string text = summaryText(f);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    ASSERT_EQ(lines.size(), 4u);
    // 97 characters and "..." of a longer name; control characters as blanks.
    f.requests[0].name.clear();
    for (int i = 0; i < 150; ++i) f.requests[0].name += "\xc3\xa9";  // "é", two bytes each
    const std::string cutText = summaryText(f);
    std::string cut;
    for (int i = 0; i < 97; ++i) cut += "\xc3\xa9";
    EXPECT_EQ(cutText.substr(cutText.find('\n') + 1, cut.size() + 4), cut + "...\t");
    EXPECT_EQ(lines[1].substr(0, lines[1].find('\t')), accented);
    EXPECT_EQ(lines[2].substr(0, lines[2].find('\t')), "a b c");
    for (const std::string& line : lines)
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 10) << line;
}

TEST(RltFileFigures, AnOlderFileOpensWithoutPercentilesAndOlderReadersSkipThem) {
    // A file of passes without figures is the older format, byte for byte.
    const std::string older = rltFileBytes({detailedRecord()});
    RltReadResult r = readRltBytes(older);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_FALSE(r.records[0]->figures.has_value());
    // The figures follow every record: the records' bytes are the older
    // file's, which an older reader reads and stops after.
    const std::string both = figuresFile();
    const std::string plain = rltFileBytes({detailedRecord(), detailedRecord()});
    ASSERT_GT(both.size(), plain.size());
    EXPECT_EQ(both.substr(0, plain.size()), plain);
}

TEST(RltFileFigures, DamagedFiguresAreRefusedKeepingThePasses) {
    const std::string good = figuresFile();
    const size_t trailer = rltFileBytes({detailedRecord(), detailedRecord()}).size();
    // Offsets into the trailer: marker, version, count, then the first
    // record's presence, length and request count.
    const size_t first = trailer + 12;
    const size_t length = first + 4;
    const size_t requests = first + 8;
    // The first request's figures: name (1 + 4 bytes), count, errors, then
    // minimum, mean, maximum, deviation and the percentiles.
    const size_t count = requests + 4 + 5;
    const size_t minimum = count + 8 + 32;
    const double nan = std::nan("");
    const double negative = -1;
    const auto at = [&](size_t offset, const std::string& bytes) {
        std::string b = good;
        b.replace(offset, bytes.size(), bytes);
        return b;
    };
    const auto f64 = [](double v) { return std::string(reinterpret_cast<const char*>(&v), 8); };
    const auto i64 = [](int64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); };
    // The totals: tag, length, the name "shop" (1 + 4 bytes), start, end,
    // duration, users, iterations, HTTP requests, bytes sent and received, the
    // status codes' count and pairs, the loops' count and the first loop.
    const size_t totals = totalsAt(good);
    const size_t start = totals + 13, duration = start + 16, iterations = duration + 12;
    const size_t sent = iterations + 12, codes = sent + 16, loops = codes + 4 + 24;
    // The HTTP request rate and its flag end the totals.
    uint32_t totalsLength = 0;
    std::memcpy(&totalsLength, good.data() + totals + 4, 4);
    const size_t httpRate = totals + 8 + totalsLength - 12;
    // A name one byte longer than a test name can be.
    auto longName = detailedRecord();
    longName->figures = figuresWithTotals();
    longName->figures->totals->testName.assign(256, 'n');
    const std::string longNameFile = rltFileBytes({longName, detailedRecord()});
    const struct {
        const char* what;
        std::string bytes;
        const char* error;
    } cases[] = {
        {"foreign marker", at(trailer, le32(0x12345678)), "damaged"},
        {"version 0", at(trailer + 4, le32(0)), "damaged"},
        {"count of other records", at(trailer + 8, le32(3)), "damaged"},
        {"presence neither 0 nor 1", at(first, le32(7)), "damaged"},
        {"request count past the limit", at(requests, le32(2000000000)), "past its end"},
        {"negative request count", at(requests, le32(-1)), "past its end"},
        {"negative response count", at(count, std::string(8, '\xff')), "damaged"},
        // Counts that would overflow the sums of the Summary page and the reports.
        {"response count past 2^53", at(count, i64(INT64_MAX)), "damaged"},
        {"error count past 2^53", at(count + 8, i64(INT64_MAX)), "damaged"},
        {"last error class past 2^53", at(count + 32, i64(PassFiguresLimits::kMaxCount + 1)),
         "damaged"},
        {"minimum not a number", at(minimum, f64(nan)), "damaged"},
        {"negative minimum", at(minimum, f64(negative)), "damaged"},
        {"cut short", good.substr(0, good.size() - 20), "past its end"},
        {"totals longer than the figures", at(totals + 4, le32(1 << 20)), "damaged"},
        {"negative totals length", at(totals + 4, le32(-1)), "damaged"},
        {"start after year 9999", at(start, i64(253402300800)), "damaged"},
        {"negative start", at(start, i64(-1)), "damaged"},
        {"negative duration", at(duration, i64(-1)), "damaged"},
        {"iterations below -1", at(iterations, le32(-2)), "damaged"},
        {"bytes sent past 2^63", at(sent, i64(-1)), "damaged"},
        {"status codes out of order", at(codes + 12, le32(200)), "damaged"},
        {"status code 1000", at(codes + 20, le32(1000)), "damaged"},
        {"status code without responses", at(codes + 8, le32(0)), "damaged"},
        {"more status codes than there are", at(codes, le32(1001)), "past its end"},
        {"loop count past the limit", at(loops, le32(5000)), "past its end"},
        {"loop lag not a number", at(loops + 12, f64(nan)), "damaged"},
        {"negative loop samples", at(loops + 4, i64(-3)), "damaged"},
        {"HTTP request rate not a number", at(httpRate, f64(nan)), "damaged"},
        {"HTTP rate flag neither 0 nor 1", at(httpRate + 8, le32(2)), "damaged"},
        {"test name past 255 bytes", longNameFile, "damaged"},
        {"figures longer than their length", at(length, le32(100)), "damaged"},
        {"length past the file", at(length, le32(1 << 30)), "past its end"},
        {"negative length", at(length, le32(-5)), "damaged"},
        {"bytes after the figures", good + "x", ""},
    };
    for (const auto& c : cases) {
        const RltReadResult r = readRltBytes(c.bytes);
        // The passes are kept whatever the trailer holds; their figures only
        // where they were read whole.
        ASSERT_EQ(r.records.size(), 2u) << c.what;
        EXPECT_TRUE(sameRecord(*r.records[0], *detailedRecord())) << c.what;
        if (*c.error == '\0') {
            EXPECT_TRUE(r.ok) << c.what;
            continue;
        }
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
        EXPECT_FALSE(r.records[0]->figures.has_value()) << c.what;
    }
    EXPECT_TRUE(readRltBytes(good).ok);

    // The largest counts a file may hold add up without overflow.
    std::string largest = good;
    for (size_t at = count; at < count + 40; at += 8)
        largest.replace(at, 8, i64(PassFiguresLimits::kMaxCount));
    const RltReadResult r = readRltBytes(largest);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(r.records[0]->figures.has_value());
    const std::string text = summaryText(r.records[0]->figures);
    EXPECT_NE(text.find("\t9007199254740992\t36028797018963968\t"), std::string::npos) << text;
}

}  // namespace
}  // namespace velk::results
