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

bool writeResultData(TestSet* set, const std::string& path, std::string& error) {
    const int64_t size = ExportResultData(set, nullptr, 0);
    if (size <= 0) {
        error = "the run left no results to keep";
        return false;
    }
    std::vector<char> bytes(static_cast<size_t>(size));
    if (ExportResultData(set, bytes.data(), size) != size) {
        error = "the results changed while they were read";
        return false;
    }
    // A complete file or none: the merge must never read half a shard.
    if (writeOutputFile(path, std::string_view(bytes.data(), bytes.size()), error)) return true;
    error = "cannot write " + error;
    return false;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    if (readInputFile(path, kMaxShardBytes, bytes, error)) return true;
    error = "cannot open " + error;
    return false;
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
        std::string error;
        if (!writeResultData(set.get(), options.shardOut, error)) {
            std::fprintf(stderr, "velkrun: shard %d/%d: %s\n", options.shard, options.shards,
                         error.c_str());
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
        std::string bytes, error;
        if (!readWholeFile(path, bytes, error)) {
            std::fprintf(stderr, "velkrun: %s\n", error.c_str());
            return 1;
        }
        if (!ImportResultData(set.get(), bytes.data(), int64_t(bytes.size()))) {
            std::fprintf(stderr, "velkrun: %s: these shard results cannot be merged (see above)\n",
                         path.c_str());
            return 1;
        }
    }
    return reportMergedRun(set.get(), options, options.mergeOut, "velkrun");
}

}  // namespace velk::cli
