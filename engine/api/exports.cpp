// The C interface of libvelkcore.  Every export runs its body through guarded()
// (api/export_guard.h): a failure is reported once through the message path and
// the export returns its failure value; no exception crosses into the caller.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api/command_line.h"
#include "api/export_guard.h"
#include "api/report_source.h"
#include "api/test_set.h"
#include "base/message.h"
#include "base/mutex.h"
#include "base/thread_annotations.h"
#include "net/socket_library.h"
#include "results/aggregate_record.h"
#include "results/report_input.h"
#include "results/save_results.h"
#include "run/memory_estimate.h"
#include "run/run_driver.h"
#include "run/user_records.h"
#include "script/general_options.h"
#include "script/script_parser.h"
#include "velkcore.h"

namespace {

constexpr const char* kVersion = "2.0";
constexpr int kBuild = 100;
constexpr const char* kBuildDate = "Mon Jul 30 10:07:00 2002";
constexpr int32_t kMaxLoopThreads = 1024;

static_assert(sizeof(VelkSummary) == sizeof(velk::SummaryRecord), "summary layouts differ");
static_assert(VELK_LIVE_MAX_NAMES == velk::LiveRequests::kMaxNames &&
                  VELK_LIVE_BUCKETS == velk::LiveRequests::kBuckets &&
                  VELK_LIVE_LAG_BUCKETS == velk::loop::LiveLag::kBounds,
              "live metrics sizes differ");

using velk::Status;
using velk::StatusCode;
using velk::api::guarded;
using velk::api::Outcome;

// The names array handed out by GetInfo: owned here, reused and grown by later
// calls, freed by CleanupKS.
struct InfoNames {
    velk::Mutex mutex;
    std::vector<std::string> storage GUARDED_BY(mutex);
    std::vector<char*> pointers GUARDED_BY(mutex);
};

InfoNames& infoNames() {
    static InfoNames names;
    return names;
}

// The count-prefixed results of a script-driven user, handed out by GetResults.
struct ScriptedQueue {
    velk::Mutex mutex;
    std::vector<int32_t> values GUARDED_BY(mutex);
    int32_t* pointer GUARDED_BY(mutex) = nullptr;
};

ScriptedQueue& scriptedQueue() {
    static ScriptedQueue queue;
    return queue;
}

std::vector<const velk::UserRecord*> userRecords(const velk::TestRun& set) {
    std::vector<const velk::UserRecord*> records;
    if (set.run)
        for (velk::UserRecord* record : velk::recordsByUser(*set.run, set.test.options.clients))
            records.push_back(record);
    return records;
}

// The per-position records of an aggregated run, handed out by GetResults.
struct AggregatedRecords {
    velk::Mutex mutex;
    std::vector<velk::AggregateRecord> records GUARDED_BY(mutex);
};

void* aggregatedResults(const velk::TestRun& set) {
    static AggregatedRecords aggregated;
    velk::MutexLock lock(aggregated.mutex);
    aggregated.records = velk::aggregateForCaller(userRecords(set), set.test.testSeq.length());
    return aggregated.records.data();
}

}  // namespace

namespace velk::api {

ReportInput reportInput(const TestRun& run) {
    std::vector<std::string> names;
    for (size_t i = 0; i < run.test.testSeq.length(); ++i)
        names.push_back(run.test.testSeq[i].name);
    return ReportInput{run.test.options,         run.test.testName,
                       std::move(names),         userRecords(run),
                       run.shared.runTimes,      run.shared.httpCounters,
                       run.shared.errorCounters, run.shared.currentTarget.get().server,
                       run.test.scriptDriven()};
}

}  // namespace velk::api

extern "C" {

int32_t InitKS(int32_t, int32_t) {
    return guarded("InitKS", 0, [] { return velk::net::startSocketLibrary(), 0; });
}

int32_t CleanupKS(void) {
    return guarded("CleanupKS", -1, [] {
        InfoNames& names = infoNames();
        {
            velk::MutexLock lock(names.mutex);
            names.storage = {};
            names.pointers = {};
        }
        return velk::net::stopSocketLibrary();
    });
}

void* SetOutFunc(void* context, OutFunc func) {
    return guarded("SetOutFunc", context, [&] {
        velk::setOutFunc(context, func);
        return context;
    });
}

void* SetProgressReporter(void* context, ProgressReporter func) {
    return guarded("SetProgressReporter", context, [&] {
        velk::setProgressReporter(context, func);
        return context;
    });
}

TestSet* CreateTestSet(void) {
    return guarded("CreateTestSet", static_cast<TestSet*>(nullptr), [] { return new TestSet(); });
}

void FreeTestSet(TestSet* set) {
    guarded("FreeTestSet", 0, [set] {
        delete set;
        return 0;
    });
}

int32_t ParseTest(TestSet* set, const char* testName, const char* scriptText) {
    if (!set || !scriptText) return 0;
    return guarded("ParseTest", 0, [&] {
        if (testName) set->rep.test.setTestName(testName);
        return velk::ScriptParser(set->rep.test).parse(scriptText);
    });
}

int32_t ParseGeneralParam(TestSet* set, const char* name, const char* value) {
    if (!set || !name || !value) return 0;
    return guarded("ParseGeneralParam", 0,
                   [&] { return velk::setGeneralOption(set->rep.test, name, value); });
}

int32_t SetProperty(TestSet* set, const char* nameValue) {
    if (!set || !nameValue) return 0;
    return guarded("SetProperty", 0, [&] {
        std::string_view text(nameValue);
        size_t eq = text.find('=');
        if (eq == std::string_view::npos) return Status(StatusCode::kInvalid);
        return velk::setOptionAfterParse(set->rep.test, text.substr(0, eq), text.substr(eq + 1));
    });
}

void GetInfo(TestSet* set, TestInfo* info) {
    if (!set || !info) return;
    guarded("GetInfo", 0, [&] {
        const velk::ParsedTest& test = set->rep.test;
        const bool scripted = test.scriptDriven();
        info->users = test.options.clients;
        info->iterations = scripted ? -1 : test.options.requests;
        info->sequenceLength = scripted ? 1 : int32_t(test.testSeq.length());
        info->nodetails = test.options.nodetails;

        InfoNames& names = infoNames();
        velk::MutexLock lock(names.mutex);
        names.storage.clear();
        if (scripted)
            names.storage.push_back(test.options.script);
        else
            for (size_t i = 0; i < test.testSeq.length(); ++i)
                names.storage.push_back(test.testSeq[i].name);
        names.pointers.clear();
        for (std::string& name : names.storage) names.pointers.push_back(name.data());
        names.pointers.push_back(nullptr);
        info->sequenceNames = names.pointers.data();
        return 0;
    });
}

int32_t GetLiveCounters(TestSet* set, VelkLiveCounters* counters) {
    if (!set || !counters) return 0;
    return guarded("GetLiveCounters", 0, [&] {
        // Atomics only: a host's progress thread reads them while the users count.
        const velk::SharedRun& shared = set->rep.shared;
        counters->usersActive = shared.usersActive.load(std::memory_order_relaxed);
        // Acquire: a request count read after these holds every request they count.
        counters->networkErrors = shared.liveErrors.network.load(std::memory_order_acquire);
        counters->httpErrors = shared.liveErrors.http.load(std::memory_order_acquire);
        counters->failedChecks = shared.liveErrors.fail.load(std::memory_order_acquire);
        counters->timeouts = shared.liveErrors.timeout.load(std::memory_order_acquire);
        return 1;
    });
}

int32_t GetLiveFigures(TestSet* set, VelkLiveFigures* figures) {
    if (!set || !figures) return 0;
    return guarded("GetLiveFigures", 0, [&] {
        // Atomics only, as for GetLiveCounters.
        const velk::SharedRun& shared = set->rep.shared;
        const velk::LiveLatency::Second s = shared.liveLatency.lastSecond();
        figures->requestsMade = shared.requestsMade.load(std::memory_order_relaxed);
        figures->timed = s.timed;
        figures->p50Ms = s.p50Ms;
        figures->p95Ms = s.p95Ms;
        figures->p99Ms = s.p99Ms;
        return 1;
    });
}

int32_t GetLiveTraffic(TestSet* set, VelkLiveTraffic* traffic) {
    if (!set || !traffic) return 0;
    return guarded("GetLiveTraffic", 0, [&] {
        const velk::SharedRun& shared = set->rep.shared;
        *traffic = VelkLiveTraffic{};
        traffic->requestsSent = shared.httpCounters.httpRequests.load(std::memory_order_relaxed);
        traffic->bytesSent = shared.httpCounters.bytesSent.load(std::memory_order_relaxed);
        traffic->bytesReceived = shared.httpCounters.bytesReceived.load(std::memory_order_relaxed);
        traffic->usersActive = shared.usersActive.load(std::memory_order_relaxed);
        traffic->requestNames = int32_t(shared.liveRequests.count());
        const velk::loop::LiveLag::Totals lag = shared.liveLag.totals();
        traffic->lagSamples = lag.samples;
        traffic->lagSumMs = double(lag.sumMicros) / 1000;
        for (size_t i = 0; i < size_t(VELK_LIVE_LAG_BUCKETS); ++i) {
            traffic->lagBoundsMs[i] = double(velk::loop::LiveLag::kBoundsMicros[i]) / 1000;
            traffic->lagAtMost[i] = lag.atMost[i];
        }
        for (size_t c = 0; c < 1000; ++c)
            traffic->statusCodes[c] =
                shared.httpCounters.statusCodes[c].load(std::memory_order_relaxed);
        return 1;
    });
}

int32_t GetLiveRequest(TestSet* set, int32_t index, VelkLiveRequest* request) {
    if (!set || !request || index < 0) return 0;
    return guarded("GetLiveRequest", 0, [&] {
        velk::LiveRequests::Reading r;
        if (!set->rep.shared.liveRequests.read(size_t(index), r)) return 0;
        *request = VelkLiveRequest{};
        std::snprintf(request->name, sizeof request->name, "%s", r.name.c_str());
        for (size_t i = 0; i < 5; ++i) request->results[i] = r.results[i];
        request->timedSumMs = double(r.timedSumMicros) / 1000;
        for (int i = 0; i < VELK_LIVE_BUCKETS; ++i) {
            request->boundsMs[i] = double(velk::LiveRequests::boundMicros(i)) / 1000;
            request->below[i] = r.below[size_t(i)];
        }
        return 1;
    });
}

int32_t RunTest(TestSet* set) {
    if (!set) return 0;
    return guarded("RunTest", 0, [set] { return velk::runTest(set->rep); });
}

int32_t AbortRun(TestSet* set) {
    if (!set) return 0;
    return guarded("AbortRun", 0, [set] { return set->rep.shared.abortFlag.exchange(1) ? 1 : 0; });
}

int32_t SetLoopThreads(TestSet* set, int32_t threads) {
    if (!set) return 0;
    return guarded("SetLoopThreads", 0, [&] {
        if (threads < 0 || threads > kMaxLoopThreads)
            return velk::invalidInput("Invalid number of event-loop threads %d (0 to %d)!\n",
                                      threads, kMaxLoopThreads);
        set->rep.loopThreads = threads;
        return Status::ok();
    });
}

void* GetResults(TestSet* set, int32_t index) {
    if (!set) return nullptr;
    return guarded("GetResults", static_cast<void*>(nullptr), [&]() -> void* {
        if (!set->rep.run) return nullptr;
        // By global user index: a shared run has gaps where other processes ran.
        velk::UserRecord* user = velk::recordOfUser(*set->rep.run, index);
        if (set->rep.test.scriptDriven()) {
            if (!user) return nullptr;
            const auto& scripted = user->results.scripted();
            ScriptedQueue& queue = scriptedQueue();
            velk::MutexLock lock(queue.mutex);
            queue.values.assign(1, int32_t(scripted.size()));
            for (const auto& r : scripted) queue.values.push_back(r.value);
            queue.pointer = queue.values.data();
            return &queue.pointer;
        }
        if (set->rep.test.options.nodetails) return aggregatedResults(set->rep);
        if (!user) return nullptr;
        return user->results.rows();
    });
}

int32_t SaveResults(TestSet* set, void* sink, ReportWriter writer, VelkSummary* summary) {
    if (!set) return -1;
    return guarded("SaveResults", int32_t(-1), [&]() -> Outcome<int32_t> {
        velk::TestRun& run = set->rep;
        if (!run.run)
            return Status(StatusCode::kInvalid,
                          "There are no results to save: the test has not run!\n");
        const velk::ReportInput input = velk::api::reportInput(run);
        velk::SummaryRecord record{};
        std::string testName;
        int32_t rc = velk::saveResults(input, sink, writer, summary ? &record : nullptr, &testName);
        if (summary) std::memcpy(summary, &record, sizeof record);
        set->rep.test.setTestName(testName);
        return rc;
    });
}

int32_t CleanKS(TestSet* set) {
    if (!set) return 0;
    return guarded("CleanKS", 0, [set] {
        velk::releaseRun(set->rep);
        return 1;
    });
}

int32_t GetCoreVersion(char* buffer) {
    if (!buffer) return 0;
    return guarded("GetCoreVersion", 0, [buffer] {
        return std::sprintf(buffer, "%s build %d date %s", kVersion, kBuild, kBuildDate);
    });
}

int32_t GetMemoryEstimate(TestSet* set, VelkMemoryEstimate* estimate) {
    if (!set || !estimate) return 0;
    return guarded("GetMemoryEstimate", 0, [&] {
        const velk::MemoryEstimate e = velk::estimateRunMemory(set->rep);
        *estimate = VelkMemoryEstimate{e.users, e.requests, e.results, e.total,
                                       velk::machineAvailableMemory()};
        return 1;
    });
}

int32_t ParseCommandLine(TestSet* set, int32_t argc, char** argv) {
    if (!set) return 0;
    return guarded("ParseCommandLine", 0,
                   [&] { return velk::parseCommandLine(set->rep.test, argc, argv); });
}

int64_t Calculate3DArrayMemoryAmount(const char* scriptText) {
    if (!scriptText) return 0;
    return guarded("Calculate3DArrayMemoryAmount", int64_t(0), [&] {
        velk::ParsedTest test;
        test.setTestName("test");
        // The size is given for what parsed; a parse error is still said.
        velk::api::saveError(velk::ScriptParser(test).parse(scriptText));
        return int64_t(4) * int64_t(test.testSeq.length()) * test.options.requests *
               test.options.clients;
    });
}

}  // extern "C"
