// velkrun with ten thousand users on its event loops, against a server that
// holds all their connections on one thread.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/temp_dir.h"
#include "support/many_connection_server.h"

namespace velk::test {
namespace {

constexpr int kUsers = 10000;

TEST(VelkrunScale, TenThousandUsersStartRunAndFinishOnTwoLoops) {
    // This process holds the server's end of every connection.
    rlimit files{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    const rlim_t needed = kUsers + 256;
    if (files.rlim_max < needed) {
        files.rlim_max = needed;  // allowed to root
        if (setrlimit(RLIMIT_NOFILE, &files) != 0)
            GTEST_SKIP() << "needs " << needed << " open files";
    }
    files.rlim_cur = files.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);

    ManyConnectionServer server;
    ASSERT_TRUE(server.started());
    TempDir dir;
    const std::string script =
        dir.write("scale.txt", "server=127.0.0.1\nport=" + std::to_string(server.port()) +
                                   "\nclients=" + std::to_string(kUsers) +
                                   "\nrequests=3\nkeepalive=1\ndelaystart=0\ndelay=200\n" +
                                   "timeout=120\nreportdir=" + dir.path().string() + "\n[page]\n");
    ChildProcess run(VELKRUN_PATH, {script, "--quiet", "--threads", "2"}, dir.file("out.txt"),
                     dir.file("err.txt"));
    ASSERT_EQ(run.wait(600), 0) << run.err();
    EXPECT_EQ(server.requests(), 3 * kUsers);
    EXPECT_EQ(server.accepted(), kUsers);  // one kept-alive connection per user
    const std::string said = run.err();
    EXPECT_NE(said.find("velkrun: " + std::to_string(3 * kUsers) + " HTTP requests sent ("),
              std::string::npos)
        << said;
}

}  // namespace
}  // namespace velk::test
