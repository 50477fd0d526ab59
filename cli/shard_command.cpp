#include "cli/shard_command.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/engine_output.h"
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

int runShard(const CliOptions& options) {
    int32_t maxtime = 0;
    TestSetPtr set = loadTest(options, &maxtime);
    if (!set) return 1;
    if (!SelectUsers(set.get(), options.shard, options.shards)) return 1;

    int32_t ran;
    int signal;
    int status = 0;
    {
        InterruptWatcher watcher(set.get());
        TestInfo info{};
        GetInfo(set.get(), &info);
        // This shard's users: every N-th from K.
        const int64_t users =
            info.users > options.shard
                ? (int64_t(info.users) - options.shard + options.shards - 1) / options.shards
                : 0;
        const int64_t planned =
            info.iterations < 0 ? -1 : users * info.sequenceLength * info.iterations;
        startProgressLine(set.get(), int32_t(users), planned, maxtime);
        ran = RunTest(set.get());
        finishProgressLine();
        if (const Status written = writeResultData(set.get(), options.shardOut); !written) {
            std::fprintf(stderr, "velkrun: shard %d/%d: %s\n", options.shard, options.shards,
                         written.message().c_str());
            status = 4;
        } else {
            std::fprintf(stderr, "velkrun: shard %d/%d: results of %lld users written to %s\n",
                         options.shard, options.shards, static_cast<long long>(users),
                         options.shardOut.c_str());
        }
        signal = watcher.signalNumber();
    }
    if (!ran && status == 0) {
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
