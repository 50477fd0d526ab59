// velkrun-mpi under mpirun with 3 ranks on this machine against a loopback
// server: the one report of all users, a rank killed mid-run, and Ctrl+C on
// rank 0.  Skipped, with a line saying so, where Open MPI is not installed.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "app/results/rlt_file.h"
#include "common/build_tree.h"
#include "common/child_process.h"
#include "shared_run_fixture.h"

namespace velk::test {
namespace {

// Seconds mpirun may take before it ends the job itself.
constexpr int kJobLimit = 120;

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    for (size_t start = 0; start <= dirs.size();) {
        const size_t colon = std::min(dirs.find(':', start), dirs.size());
        if (access((dirs.substr(start, colon - start) + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = colon + 1;
    }
    return false;
}

class VelkrunMpi : public SharedRunFixture {
protected:
    void SetUp() override {
        if (std::string(VELKRUN_MPI_PATH).empty() || !onPath("mpirun"))
            GTEST_SKIP() << "Open MPI is not installed (openmpi-bin, libopenmpi-dev): velkrun-mpi "
                            "not tested";
        SharedRunFixture::SetUp();
        // Containers often refuse the kernel's cross-memory attach.
        setenv("OMPI_MCA_btl_vader_single_copy_mechanism", "none", 1);
        // Under the address sanitizer: Open MPI's own leaks are not ours.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":fast_unwind_on_malloc=0").c_str(),
               1);
        setenv("LSAN_OPTIONS", "suppressions=" VELK_LSAN_OPENMPI_SUPP ":print_suppressions=0", 1);
    }
    std::unique_ptr<ChildProcess> mpirun(std::vector<std::string> args) {
        std::vector<std::string> all = {"--allow-run-as-root",
                                        "--oversubscribe",
                                        "--timeout",
                                        std::to_string(kJobLimit),
                                        "-x",
                                        "ASAN_OPTIONS",
                                        "-x",
                                        "LSAN_OPTIONS",
                                        "-n",
                                        "3",
                                        VELKRUN_MPI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<ChildProcess>("mpirun", all, m_dir.file("mpi-out.txt"),
                                              m_dir.file("mpi-err.txt"));
    }
    // Rank 0 with its own arguments, ranks 1 and 2 with others (mpirun's "a : b").
    std::unique_ptr<ChildProcess> mpirunSplit(std::vector<std::string> first,
                                              std::vector<std::string> others) {
        std::vector<std::string> all = {"--allow-run-as-root",
                                        "--oversubscribe",
                                        "--timeout",
                                        std::to_string(kJobLimit),
                                        "-n",
                                        "1",
                                        VELKRUN_MPI_PATH};
        all.insert(all.end(), first.begin(), first.end());
        for (const char* a : {":", "-n", "2", VELKRUN_MPI_PATH}) all.push_back(a);
        all.insert(all.end(), others.begin(), others.end());
        return std::make_unique<ChildProcess>("mpirun", all, m_dir.file("mpi-out.txt"),
                                              m_dir.file("mpi-err.txt"));
    }
    // The pid rank prints as it starts; 0 when it has not within the limit.
    static pid_t rankPid(const ChildProcess& job, int rank) {
        const std::string mark = "rank " + std::to_string(rank) + " of 3 (pid ";
        for (int i = 0; i < 600; ++i) {
            const std::string err = job.err();
            if (size_t at = err.find(mark); at != std::string::npos)
                return pid_t(std::atoi(err.c_str() + at + mark.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return 0;
    }
    // True when the process has ended (within a bounded wait).
    static bool ends(pid_t pid) {
        for (int i = 0; i < 100; ++i) {
            if (kill(pid, 0) != 0 && errno == ESRCH) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // Waits until the server has seen n requests, within a bounded time.
    bool serverSaw(int n) const { return m_server.waitForRequests(n, 60000); }
};

TEST_F(VelkrunMpi, ThreeRanksMakeTheReportOfOneRun) {
    const std::string path = script("summarytimes=1\n");
    auto job = mpirun({"--report", "--quiet", "--results", m_dir.file("all.rlt"), path});
    ASSERT_EQ(job->wait(kJobLimit + 30), 0) << job->err();
    EXPECT_EQ(serverValues(), oneMachineValues());
    const std::string report = job->out();
    EXPECT_EQ(rowShapes(report), oneMachineRows()) << report;
    EXPECT_NE(report.find(serverStatusTable()), std::string::npos) << report;
    EXPECT_NE(report.find("Total 2 errors!!!\nHTTP: 2\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Total requests made:\t14\n"), std::string::npos) << report;
    // One report file, by rank 0.
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("shared-127.0.0.1-7x2.xls")));
    const auto rlt = velk::results::readRltBytes(readWhole(m_dir.file("all.rlt")));
    ASSERT_TRUE(rlt.ok) << rlt.error;
    ASSERT_EQ(rlt.records.size(), 1u);
    EXPECT_EQ(rlt.records[0]->timings.size(), 7u);

    // The same split without MPI reports the same rows and counts.
    std::vector<std::string> merge = {"--merge", m_dir.file("m.rlt"), "--report", path};
    for (int k = 0; k < 3; ++k) {
        const std::string file = m_dir.file("s" + std::to_string(k));
        ChildProcess shard(
            VELKRUN_PATH,
            {"--quiet", "--shard", std::to_string(k) + "/3", "--shard-out", file, path},
            m_dir.file("o"), m_dir.file("e"));
        ASSERT_EQ(shard.wait(), 0) << shard.err();
        merge.push_back(file);
    }
    ChildProcess merged(VELKRUN_PATH, merge, m_dir.file("merged.txt"), m_dir.file("e"));
    ASSERT_EQ(merged.wait(), 0) << merged.err();
    EXPECT_EQ(rowShapes(merged.out()), rowShapes(report));
    EXPECT_NE(merged.out().find("Code\tCount\n200\t12\n404\t2\n"), std::string::npos);
    EXPECT_NE(merged.out().find("Total requests made:\t14\n"), std::string::npos);
}

TEST_F(VelkrunMpi, AKilledRankEndsTheJobWithAMessageOnRankZero) {
    auto job = mpirun({"--quiet", script("requests=1000\ndelay=20\n")});
    const pid_t rank0 = rankPid(*job, 0), rank1 = rankPid(*job, 1), rank2 = rankPid(*job, 2);
    ASSERT_TRUE(rank0 > 0 && rank1 > 0 && rank2 > 0) << job->err();
    ASSERT_TRUE(serverSaw(30));
    kill(rank1, SIGKILL);
    const int status = job->wait(kJobLimit + 30);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "mpirun did not end";
    const std::string err = job->err();
    EXPECT_TRUE(err.find("rank 0: ended by Open MPI") != std::string::npos ||
                err.find("rank 0: no answer from the other ranks") != std::string::npos)
        << err;
    EXPECT_TRUE(ends(rank0));
    EXPECT_TRUE(ends(rank2));
}

TEST_F(VelkrunMpi, AnInterruptOnRankZeroStopsEveryRankAndKeepsTheReport) {
    auto job = mpirun({"--report", "--quiet", script("requests=1000\ndelay=20\n")});
    const pid_t rank0 = rankPid(*job, 0);
    ASSERT_GT(rank0, 0) << job->err();
    ASSERT_TRUE(serverSaw(30));
    kill(rank0, SIGINT);
    EXPECT_EQ(job->wait(kJobLimit + 30), 130) << job->err();
    EXPECT_NE(job->err().find("rank 0: stopping every rank"), std::string::npos) << job->err();
    // Every rank's users are in the report, each stopped long before its end.
    const std::vector<std::string> rows = rowShapes(job->out());
    for (const char* user : {"001/00001", "002/00001", "003/00001"})
        EXPECT_NE(std::find_if(rows.begin(), rows.end(),
                               [user](const std::string& r) { return r.starts_with(user); }),
                  rows.end())
            << user;
    EXPECT_LT(m_server.requestCount(), 7 * 1000);
}

TEST_F(VelkrunMpi, TheTimeLimitStopsEveryRank) {
    auto job = mpirun({"--report", "--quiet", script("requests=1000\ndelay=20\nmaxtime=1\n")});
    EXPECT_EQ(job->wait(kJobLimit + 30), 0) << job->err();
    EXPECT_LT(m_server.requestCount(), 7 * 1000);
    EXPECT_NE(job->out().find("007/00001\t"), std::string::npos);
}

// A usage error on any rank, or ranks that run different tests, end the job
// within seconds with the message, not at the start time-out of minutes.
TEST_F(VelkrunMpi, ARankWithBadArgumentsOrAnotherTestEndsTheJobAtOnce) {
    const std::string path = script();
    const std::string renamed =
        m_dir.write("renamed.txt", readWhole(path).replace(readWhole(path).rfind("[a]"), 3, "[b]"));
    ASSERT_NE(readWhole(renamed), readWhole(path));
    const struct {
        std::vector<std::string> others;
        const char* message;
    } cases[] = {
        {{"--quiet", "--threshold", "p95<0x10", path}, "rank 1: --threshold p95<0x10"},
        {{"--quiet", "--no-such-option", path}, "rank 2: unknown option --no-such-option"},
        {{"--quiet", renamed}, "rank 1 runs another test than rank 0"},
        {{"--quiet", "--set", "clients=9", path}, "rank 1 runs another test than rank 0"},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        auto job = mpirunSplit({"--quiet", path}, c.others);
        const int status = job->wait(kJobLimit + 30);
        EXPECT_NE(status, 0) << job->err();
        EXPECT_NE(status, -1) << "mpirun did not end";
        EXPECT_NE(job->err().find(c.message), std::string::npos) << job->err();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    }
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(VelkrunMpi, HelpPrintsTheUsage) {
    auto job = mpirun({"--help"});
    EXPECT_EQ(job->wait(kJobLimit + 30), 0) << job->err();
    EXPECT_NE(job->out().find("Usage: mpirun -n RANKS velkrun-mpi"), std::string::npos)
        << job->out();
}

}  // namespace
}  // namespace velk::test
