#include "cli/check_command.h"

#include <cstdio>

#include "app/base/terminal_text.h"
#include "cli/test_loader.h"

namespace velk::cli {

int runCheck(const CliOptions& options) {
    TestSetPtr set = loadTest(options);
    if (!set) return 1;
    TestInfo info{};
    GetInfo(set.get(), &info);
    std::printf("Test script: %s\n", base::escapeControls(options.scriptPath).c_str());
    std::printf("Users: %d\n", info.users);
    if (info.iterations < 0)
        std::printf("Iterations: driven by a script\n");
    else
        std::printf("Iterations: %d\n", info.iterations);
    std::printf("Test sequence (%d):", info.sequenceLength);
    for (int32_t i = 0; i < info.sequenceLength && info.sequenceNames && info.sequenceNames[i]; ++i)
        std::printf(" %s", base::escapeControls(info.sequenceNames[i]).c_str());
    std::printf("\nNo details: %d\n", info.nodetails);
    if (info.iterations >= 0)
        std::printf("Result memory: %lld bytes\n",
                    4LL * info.sequenceLength * info.iterations * info.users);
    // What the whole run will hold, which a run refuses to start beyond.
    VelkMemoryEstimate memory{};
    if (GetMemoryEstimate(set.get(), &memory) == 1) {
        constexpr double kMiB = 1024.0 * 1024.0;
        std::printf(
            "Memory estimate: %.1f MB (users %.1f MB, request sections %.1f MB, results %.1f MB)\n",
            double(memory.total) / kMiB, double(memory.users) / kMiB,
            double(memory.requests) / kMiB, double(memory.results) / kMiB);
        if (memory.available >= 0) {
            std::printf("Memory available: %.1f MB\n", double(memory.available) / kMiB);
            if (memory.total > memory.available) {
                std::printf("TOO LARGE: a run would be refused (memorycheck=0 runs it anyway)\n");
                return 3;  // as a run that cannot start
            }
        }
    }
    std::printf("OK\n");
    return 0;
}

}  // namespace velk::cli
