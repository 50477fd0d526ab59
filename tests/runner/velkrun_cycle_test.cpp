// velkrun --cycle and --results: a batch run with the runner's messages whose
// results file holds every pass as the desktop program collects it.
#include <gtest/gtest.h>

#include "app/results/rlt_file.h"
#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "support/test_http_server.h"

namespace velk::test {
namespace {

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs velkrun to its end (killed after two minutes).
Outcome velkrun(const TempDir& dir, std::vector<std::string> args) {
    ChildProcess child(VELKRUN_PATH, std::move(args), dir.file("stdout.txt"),
                       dir.file("stderr.txt"));
    Outcome outcome;
    outcome.status = child.wait();
    outcome.err = child.err();
    return outcome;
}

TEST(VelkrunCycle, BatchRunSavesEveryPass) {
    TempDir dir, config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    TestHttpServer server;
    const std::string script = dir.write(
        "t.txt", "[general]\nclients=1\nrequests=2\ndelaystart=0\nserver=127.0.0.1\nport=" +
                     std::to_string(server.port()) + "\n[home]\n$uri=/\n");
    const std::string rlt = dir.file("batch.rlt");
    const Outcome o = velkrun(
        dir, {"--quiet", "--cycle", "clients", "3:1:-2", "--pause", "0", "--results", rlt, script});
    ASSERT_EQ(o.status, 0) << o.err;
    const char* const expected[] = {"Cycling: Virtual users=3\n",
                                    "Running...\n",
                                    "Finished \"t.txt - Virtual users=3\"\n",
                                    "Cycling: Virtual users=1\n",
                                    "Waiting 0 seconds...\n",
                                    "Running...\n",
                                    "Finished \"t.txt - Virtual users=1\"\n",
                                    "All tasks finished\n"};
    size_t at = 0;
    for (const char* line : expected) {
        at = o.err.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << " in\n" << o.err;
    }
    velk::results::CResultsContainer list;
    ASSERT_TRUE(velk::test::isOk(velk::results::loadResultsFile(list, rlt)));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.get(0)->users, 3);
    EXPECT_EQ(list.get(1)->users, 1);
    EXPECT_EQ(list.get(1)->cycleValue, 1);
    EXPECT_EQ(list.get(1)->batchNumber, 1);
    EXPECT_EQ(list.get(1)->totalRequests, 2);
    EXPECT_EQ(server.requestCount(), 8);
}

TEST(VelkrunCycle, RefusedOptions) {
    TempDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"--cycle", "users", "1:2:1", "t.txt"},
        {"--cycle", "clients", "1:2", "t.txt"},
        {"--cycle", "clients", "1:2:1000", "t.txt"},
        {"--pause", "3", "t.txt"},
        {"--results"},
    };
    for (const auto& args : cases) {
        const Outcome o = velkrun(dir, args);
        EXPECT_EQ(o.status, 2) << args[0];
        EXPECT_NE(o.err.find("velkrun: "), std::string::npos);
    }
}

}  // namespace
}  // namespace velk::test
