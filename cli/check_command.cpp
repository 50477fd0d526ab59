#include "cli/check_command.h"

#include <cstdio>

#include "cli/test_loader.h"

namespace velk::cli {

int runCheck(const CliOptions& options) {
    TestSetPtr set = loadTest(options);
    if (!set) return 1;
    TestInfo info{};
    GetInfo(set.get(), &info);
    std::printf("Test script: %s\n", options.scriptPath.c_str());
    std::printf("Users: %d\n", info.users);
    if (info.iterations < 0)
        std::printf("Iterations: driven by a script\n");
    else
        std::printf("Iterations: %d\n", info.iterations);
    std::printf("Test sequence (%d):", info.sequenceLength);
    for (int32_t i = 0; i < info.sequenceLength && info.sequenceNames && info.sequenceNames[i]; ++i)
        std::printf(" %s", info.sequenceNames[i]);
    std::printf("\nNo details: %d\n", info.nodetails);
    if (info.iterations >= 0)
        std::printf("Result memory: %lld bytes\n",
                    4LL * info.sequenceLength * info.iterations * info.users);
    std::printf("OK\n");
    return 0;
}

}  // namespace velk::cli
