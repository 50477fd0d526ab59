// velkrun --shard and --merge as a batch job uses them: shard processes against
// a loopback server, then the merge of their files into one report.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/results/rlt_file.h"
#include "common/build_tree.h"
#include "common/child_process.h"
#include "shared_run_fixture.h"

namespace velk::test {
namespace {

class VelkrunShard : public SharedRunFixture {
protected:
    int velkrun(std::vector<std::string> args, std::string* out = nullptr,
                std::string* err = nullptr) {
        ChildProcess run(VELKRUN_PATH, std::move(args), m_dir.file("out.txt"),
                         m_dir.file("err.txt"));
        const int status = run.wait();
        if (out) *out = run.out();
        if (err) *err = run.err();
        return status;
    }
    std::vector<std::string> runShards(const std::string& path, int count = 3) {
        std::vector<std::string> files;
        for (int k = 0; k < count; ++k) {
            files.push_back(m_dir.file("shard-" + std::to_string(k) + ".vshard"));
            std::string err;
            EXPECT_EQ(velkrun({"--quiet", "--shard", std::to_string(k) + "/3", "--shard-out",
                               files.back(), path},
                              nullptr, &err),
                      0)
                << err;
        }
        return files;
    }
};

TEST_F(VelkrunShard, ShardsMergeIntoTheReportOfOneRun) {
    const std::string path = script();
    const std::vector<std::string> files = runShards(path);
    EXPECT_EQ(serverValues(), oneMachineValues());

    std::vector<std::string> args = {"--merge", m_dir.file("all.rlt"), "--report", path};
    args.insert(args.end(), files.begin(), files.end());
    std::string report, err;
    ASSERT_EQ(velkrun(args, &report, &err), 0) << err;
    EXPECT_EQ(rowShapes(report), oneMachineRows());
    EXPECT_NE(report.find(serverStatusTable()), std::string::npos) << report;
    EXPECT_NE(report.find("Total 2 errors!!!\nHTTP: 2\n"), std::string::npos) << report;
    // The report file of the script, and the results file for the desktop program.
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("shared-127.0.0.1-7x2.xls"))) << err;
    const auto rlt = velk::results::readRltBytes(readWhole(m_dir.file("all.rlt")));
    ASSERT_TRUE(rlt.ok) << rlt.error;
    ASSERT_EQ(rlt.records.size(), 1u);
    EXPECT_EQ(rlt.records[0]->users, 7);
    EXPECT_EQ(rlt.records[0]->timings.size(), 7u);
}

TEST_F(VelkrunShard, MergeRefusesWhatDoesNotBelongAndWarnsOfWhatIsMissing) {
    const std::string path = script();
    const std::vector<std::string> files = runShards(path);
    const std::string bytes = readWhole(files[1]);
    const std::string cut = m_dir.write("cut.vshard", bytes.substr(0, bytes.size() / 2));
    const std::string other = m_dir.file("other.vshard");
    ASSERT_EQ(velkrun({"--quiet", "--shard", "0/3", "--shard-out", other,
                       script("requests=1\n", "other.txt")}),
              0);
    struct Case {
        std::vector<std::string> shards;
        int status;
        const char* text;
    } cases[] = {
        {{files[0], cut, files[2]}, 1, "cut short or damaged"},
        {{files[0], files[1], files[1]}, 1, "user 2 twice"},
        {{other}, 1, "of another test"},
        {{m_dir.file("absent.vshard")}, 1, "cannot open"},
        {{files[0], files[2]}, 0, "2 of 7 users have no results"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--merge", m_dir.file("m.rlt"), path};
        args.insert(args.end(), c.shards.begin(), c.shards.end());
        std::string err;
        EXPECT_EQ(velkrun(args, nullptr, &err), c.status) << c.text << err;
        EXPECT_NE(err.find(c.text), std::string::npos) << err;
    }
}

TEST_F(VelkrunShard, ShareOptionsAreChecked) {
    const std::string path = script();
    struct Case {
        std::vector<std::string> args;
        const char* text;
    } cases[] = {
        {{"--shard", "3/3", "--shard-out", "x", path}, "expected K/N"},
        {{"--shard", "1/3", path}, "--shard needs --shard-out"},
        {{"--shard-out", "x", path}, "goes with --shard"},
        {{"--merge", "m.rlt", path}, "--merge needs the shard files"},
        {{"--shard", "0/2", "--shard-out", "x", "--cycle", "clients", "1:2:1", path},
         "cannot be combined"},
    };
    for (const Case& c : cases) {
        std::string err;
        EXPECT_EQ(velkrun(c.args, nullptr, &err), 2) << c.text;
        EXPECT_NE(err.find(c.text), std::string::npos) << err;
    }
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(VelkrunShard, MergedRunHasTheFiguresAndThresholdsOfAllUsers) {
    const std::string path = script();
    const std::vector<std::string> files = runShards(path);
    std::vector<std::string> args = {"--merge",     m_dir.file("all.rlt"),
                                     "--summary",   m_dir.file("all.json"),
                                     "--threshold", "errors<3",
                                     "--threshold", "a:rps<1",
                                     path};
    args.insert(args.end(), files.begin(), files.end());
    std::string err;
    // Every user's response times are there: 12 timed, user 3's two refused.
    EXPECT_EQ(velkrun(args, nullptr, &err), 5) << err;
    EXPECT_NE(err.find("threshold errors<3: 2"), std::string::npos) << err;
    EXPECT_NE(err.find("ok"), std::string::npos) << err;
    EXPECT_NE(err.find("FAILED"), std::string::npos) << err;
    const std::string summary = readWhole(m_dir.file("all.json"));
    EXPECT_NE(summary.find("\"count\": 12"), std::string::npos) << summary;

    // A shard alone has no report, so no figures to judge.
    EXPECT_EQ(velkrun({"--shard", "0/3", "--shard-out", m_dir.file("x"), "--summary",
                       m_dir.file("x.json"), path}),
              2);
}

}  // namespace
}  // namespace velk::test
