#include "cli/shard_command.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/engine_output.h"
#include "cli/host_run.h"
#include "cli/interrupt_watcher.h"
#include "cli/merged_report.h"
#include "cli/output_file.h"
#include "cli/test_loader.h"

namespace velk::cli {

Status writeResultData(TestSet* set, const std::string& path) {
    const int64_t size = ExportResultData(set, nullptr, 0);
    if (size <= 0) return {StatusCode::kInvalid, "the run left no results to keep"};
    std::vector<char> bytes(static_cast<size_t>(size));
    if (ExportResultData(set, bytes.data(), size) != size)
        return {StatusCode::kInvalid, "the results changed while they were read"};
    // A complete file or none: the merge must never read half a shard.
    const Status written = writeOutputFile(path, std::string_view(bytes.data(), bytes.size()));
    if (!written) return {written.code(), "cannot write " + written.message()};
    return Status::ok();
}

StatusOr<std::string> readWholeFile(const std::string& path) {
    StatusOr<std::string> bytes = readInputFile(path, kMaxShardBytes);
    if (!bytes) return {bytes.status().code(), "cannot open " + bytes.status().message()};
    return bytes;
}

namespace {

// The shard's pass: the live line while it runs, then its results to the file.
class ShardPass : public PassEvents {
public:
    ShardPass(const CliOptions& options, int64_t users, int64_t planned, int32_t maxtime)
        : m_options(options), m_users(users), m_planned(planned), m_maxtime(maxtime) {}

    void passStarting(TestSet* set) override {
        startProgressLine(set, int32_t(m_users), m_planned, m_maxtime);
    }
    void passEnded(TestSet* set, const runner::PassEnd& end) override {
        finishProgressLine();
        ran = end.result;
        if (const Status written = writeResultData(set, m_options.shardOut); !written) {
            std::fprintf(stderr, "velkrun: shard %d/%d: %s\n", m_options.shard, m_options.shards,
                         written.message().c_str());
            status = 4;
        } else {
            std::fprintf(stderr, "velkrun: shard %d/%d: results of %lld users written to %s\n",
                         m_options.shard, m_options.shards, static_cast<long long>(m_users),
                         m_options.shardOut.c_str());
        }
    }

    int32_t ran = 0;
    int status = 0;

private:
    const CliOptions& m_options;
    const int64_t m_users, m_planned;
    const int32_t m_maxtime;
};

}  // namespace

int runShard(const CliOptions& options) {
    int32_t maxtime = 0;
    TestSetPtr set = loadTest(options, &maxtime);
    if (!set) return 1;
    if (!SelectUsers(set.get(), options.shard, options.shards)) return 1;
    TestInfo info{};
    GetInfo(set.get(), &info);
    // This shard's users: every N-th from K.
    const int64_t users =
        info.users > options.shard
            ? (int64_t(info.users) - options.shard + options.shards - 1) / options.shards
            : 0;
    const int64_t planned =
        info.iterations < 0 ? -1 : users * info.sequenceLength * info.iterations;
    ShardPass pass(options, users, planned, maxtime);
    int signal;
    {
        InterruptWatcher watcher;
        runOnThisThread(std::move(set), "shard", runner::CycleSettings{}, pass, watcher);
        signal = watcher.signalNumber();
    }
    int status = pass.status;
    if (!pass.ran && status == 0) {
        std::fprintf(stderr, "velkrun: shard %d/%d: the run completed no request\n", options.shard,
                     options.shards);
        status = 3;
    }
    if (signal != 0) return 128 + signal;
    return status;
}

int runMerge(const CliOptions& options) {
    TestSetPtr set = loadTest(options);
    if (!set) return 1;
    for (const std::string& path : options.shardFiles) {
        StatusOr<std::string> bytes = readWholeFile(path);
        if (!bytes) {
            std::fprintf(stderr, "velkrun: %s\n", bytes.status().message().c_str());
            return 1;
        }
        if (!ImportResultData(set.get(), bytes->data(), int64_t(bytes->size()))) {
            std::fprintf(stderr, "velkrun: %s: these shard results cannot be merged (see above)\n",
                         path.c_str());
            return 1;
        }
    }
    return reportMergedRun(set.get(), options, options.mergeOut, "velkrun");
}

}  // namespace velk::cli
