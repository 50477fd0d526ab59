#include "check_command.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "velkcore.h"

namespace velk::cli {
namespace {

struct TestSetDeleter {
    void operator()(TestSet* set) const { FreeTestSet(set); }
};

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int runCheck(const CliOptions& options) {
    std::string text;
    if (!readFile(options.scriptPath, text)) {
        std::fprintf(stderr, "velkrun: cannot read test script %s\n", options.scriptPath.c_str());
        return 1;
    }
    std::unique_ptr<TestSet, TestSetDeleter> set(CreateTestSet());
    if (!set) {
        std::fprintf(stderr, "velkrun: out of memory\n");
        return 1;
    }
    // The engine cuts option arguments at their "=", so it gets its own copies.
    std::vector<std::string> args = options.engineArgs;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (!ParseCommandLine(set.get(), int32_t(args.size()), argv.data())) return 1;
    if (!ParseTest(set.get(), options.scriptPath.c_str(), text.c_str())) {
        std::fprintf(stderr, "velkrun: %s: the test script does not parse\n", options.scriptPath.c_str());
        return 1;
    }
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
