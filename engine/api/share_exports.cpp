// The exports of runs shared by several processes: choosing this process's
// users, the host's start barrier, and carrying results between processes.
// As every export: failures are reported once (api/export_guard.h) and no
// exception leaves.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "api/export_guard.h"
#include "api/test_set.h"
#include "base/message.h"
#include "results/record_transfer.h"
#include "results/saturating.h"
#include "run/user_records.h"
#include "velkcore.h"

namespace {

using velk::Status;
using velk::StatusCode;
using velk::api::MemoryMessage;
using velk::api::Outcome;

// These exports name only themselves when memory runs out.
template <class R, class Body>
R guardedShare(const char* exportName, R onFailure, Body&& body) noexcept {
    return velk::api::guarded(exportName, onFailure, std::forward<Body>(body),
                              MemoryMessage::kNamed);
}

velk::TransferShape shapeOf(const velk::TestRun& set) {
    const velk::GeneralOptions& o = set.test.options;
    velk::TransferShape shape;
    shape.clients = o.clients;
    shape.positions = int32_t(set.test.testSeq.length());
    shape.mode = set.test.scriptDriven() ? velk::ResultMode::Scripted
                 : o.nodetails           ? velk::ResultMode::Aggregated
                                         : velk::ResultMode::Detailed;
    shape.iterations = shape.mode == velk::ResultMode::Scripted ? 0 : o.requests;
    shape.timestamps = shape.mode == velk::ResultMode::Detailed && o.timestamp != 0;
    return shape;
}

// Checks that every user of part is new here; fails naming one that is not.
Status usersAreNew(velk::TestRun& set, const velk::DecodedRecords& part) {
    std::vector<bool> seen(size_t(set.test.options.clients), false);
    if (set.run) {
        for (const auto& user : set.run->users)
            if (user->index() >= 0 && user->index() < set.test.options.clients)
                seen[size_t(user->index())] = true;
        for (const auto& [index, record] : set.run->imported) seen[size_t(index)] = true;
    }
    for (const auto& [index, record] : part.users) {
        if (seen[size_t(index)])
            return velk::invalidInput("Shard results hold user %d twice!\n", index + 1);
        seen[size_t(index)] = true;
    }
    return Status::ok();
}

using Timeline = std::pair<int32_t, std::vector<velk::TimelinePoint>>;  // span, points

void addPart(velk::TestRun& set, velk::DecodedRecords& part, std::vector<Timeline>& timelines) {
    const velk::TransferRun& r = part.run;
    if (!set.run) {
        // The set takes its results from the parts alone: counters from zero,
        // times from the first part, ticks counted from its start.
        set.run = std::make_unique<velk::RunState>();
        set.shared.httpCounters.clearStatusCodes();
        set.shared.httpCounters.httpRequests.store(0);
        set.shared.errorCounters.clear();
        set.shared.runTimes = velk::RunTimes{r.wallStart, r.wallEnd, 0, r.durationMs};
        // The report names the server as a run would have set it.
        const velk::GeneralOptions& o = set.test.options;
        set.shared.currentTarget.set(o.server, o.secure && o.port == 80 ? 443 : o.port);
    } else {
        velk::RunTimes& t = set.shared.runTimes;
        t.wallStart = std::min(t.wallStart, r.wallStart);
        t.wallEnd = std::max(t.wallEnd, r.wallEnd);
        t.durationMs = std::max(t.durationMs, r.durationMs);
    }
    // The counters are 32 bits: the parts' sums stop at their largest value.
    auto addTo = [](std::atomic<int32_t>& counter, int64_t n) {
        counter.store(velk::addSaturated32(counter.load(), n));
    };
    addTo(set.shared.httpCounters.httpRequests, r.httpRequests);
    for (auto [code, n] : r.statusCodes)
        addTo(set.shared.httpCounters.statusCodes[size_t(code)], n);
    addTo(set.shared.errorCounters.http, r.errors[0]);
    addTo(set.shared.errorCounters.network, r.errors[1]);
    addTo(set.shared.errorCounters.fail, r.errors[2]);
    addTo(set.shared.errorCounters.timeout, r.errors[3]);
    const int32_t domain = ++set.run->importedParts;
    for (auto& [index, record] : part.users) {
        record->startTick += set.shared.runTimes.startTick;
        record->endTick += set.shared.runTimes.startTick;
        record->counterDomain = domain;
        set.run->imported.emplace_back(index, std::move(record));
    }
    // In index order, for the look-up of GetResults.
    std::sort(set.run->imported.begin(), set.run->imported.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [bucketMs, points] : timelines)
        set.run->timeline.absorb(bucketMs, std::move(points));
    velk::mergeRunLatency(set, *set.run);
}

// The engine's record of an exchange as the host's observer takes it.  The
// name and location are whole strings, so their texts end in NUL.
void relayExchange(void* context, const velk::TestRun::Exchange& e) noexcept {
    const TestSet* set = static_cast<const TestSet*>(context);
    if (!set->exchangeObserver) return;
    const VelkExchange exchange{e.name.c_str(),
                                e.user,
                                e.iteration,
                                e.result,
                                int32_t(e.outcome.httpStatus),
                                e.outcome.location.empty() ? "" : e.outcome.location.data(),
                                e.outcome.body.data(),
                                int64_t(e.outcome.body.size())};
    set->exchangeObserver(set->exchangeContext, &exchange);
}

}  // namespace

extern "C" {

int32_t SelectUsers(TestSet* set, int32_t shard, int32_t shards) {
    if (!set) return 0;
    return guardedShare("SelectUsers", 0, [&] {
        if (shards < 1 || shard < 0 || shard >= shards)
            return velk::invalidInput("Invalid user share %d of %d!\n", shard, shards);
        set->rep.userShare.shard = shard;
        set->rep.userShare.shards = shards;
        return Status::ok();
    });
}

void* SetExchangeObserver(TestSet* set, void* context, ExchangeObserver observer) {
    if (!set) return nullptr;
    return guardedShare("SetExchangeObserver", static_cast<void*>(nullptr), [&] {
        void* previous = set->exchangeContext;
        set->exchangeObserver = observer;
        set->exchangeContext = context;
        set->rep.exchangeObserver = observer ? relayExchange : nullptr;
        set->rep.exchangeContext = set;
        return previous;
    });
}

void* SetStartBarrier(TestSet* set, void* context, StartBarrier barrier) {
    if (!set) return nullptr;
    return guardedShare("SetStartBarrier", static_cast<void*>(nullptr), [&] {
        velk::UserShare& share = set->rep.userShare;
        void* previous = share.barrierContext;
        share.barrier = barrier;
        share.barrierContext = context;
        return previous;
    });
}

int64_t ExportResultData(TestSet* set, void* buffer, int64_t capacity) {
    if (!set) return 0;
    return guardedShare("ExportResultData", int64_t(0), [&]() -> Outcome<int64_t> {
        const velk::TestRun& run = set->rep;
        if (!run.run)
            return Status(StatusCode::kInvalid,
                          "There are no results to export: the test has not run!\n");
        std::vector<velk::IndexedRecord> users;
        for (const auto& user : run.run->users) users.emplace_back(user->index(), &user->record());
        for (const auto& [index, record] : run.run->imported)
            users.emplace_back(index, record.get());
        std::sort(users.begin(), users.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        const velk::RunTimeline& timeline = run.run->timeline;
        const std::string bytes =
            velk::encodeRecords(shapeOf(run), run.shared.runTimes, run.shared.httpCounters,
                                run.shared.errorCounters, users,
                                {{velk::kTimelineSection,
                                  velk::encodeTimeline(timeline.bucketMs(), timeline.points())}});
        if (buffer && capacity >= int64_t(bytes.size()))
            std::memcpy(buffer, bytes.data(), bytes.size());
        return int64_t(bytes.size());
    });
}

int32_t ImportResultData(TestSet* set, const void* data, int64_t size) {
    if (!set || (!data && size != 0) || size < 0) return 0;
    return guardedShare("ImportResultData", int32_t(0), [&]() -> Status {
        velk::DecodedRecords part;
        std::string error;
        // The shape is compared before the users are decoded, so a small damaged
        // input cannot make it allocate for a test it is not of.
        const velk::TransferShape expected = shapeOf(set->rep);
        if (!velk::decodeRecords(std::string_view(static_cast<const char*>(data), size_t(size)),
                                 part, error, &expected))
            return velk::invalidInput("Cannot use shard results: %s!\n", error.c_str());
        // The timelines are read before anything is taken: a damaged one leaves the set as it was.
        std::vector<Timeline> timelines;
        for (const auto& [tag, bytes] : part.sections) {
            if (tag != velk::kTimelineSection) continue;
            Timeline& t = timelines.emplace_back();
            if (!velk::decodeTimeline(bytes, t.first, t.second))
                return Status(StatusCode::kInvalid,
                              "Cannot use shard results: their timeline is damaged!\n");
        }
        if (Status fresh = usersAreNew(set->rep, part); !fresh) return fresh;
        addPart(set->rep, part, timelines);
        return Status::ok();
    });
}

}  // extern "C"
