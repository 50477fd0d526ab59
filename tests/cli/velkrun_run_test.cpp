// velkrun running load tests as a user runs it: a real process against a
// loopback server, its report, its exit status and Ctrl+C.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/temp_dir.h"
#include "support/http_text.h"
#include "support/test_http_server.h"

namespace velk::test {
namespace {

// velkrun with args; its standard output and error go to files in dir.
class Velkrun : public ChildProcess {
public:
    Velkrun(const TempDir& dir, std::vector<std::string> args)
        : ChildProcess(VELKRUN_PATH, std::move(args), dir.file("out.txt"), dir.file("err.txt")) {}
};

class VelkrunRun : public ::testing::Test {
protected:
    std::string script(const std::string& body, const std::string& name = "shop.txt") {
        return m_dir.write(name, "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                                     "\nreportdir=" + m_dir.path().string() + "\ndelaystart=0\n" +
                                     body);
    }
    TempDir m_dir;
    TestHttpServer m_server;
};

TEST_F(VelkrunRun, RunsTheTestWritesTheReportFileAndPrintsIt) {
    std::string path = script("clients=2\nrequests=3\nkeepalive=1\n[home]\n[list]\n$uri=/list\n");
    Velkrun run(m_dir, {path, "--report", "--quiet"});
    ASSERT_EQ(run.wait(), 0) << run.err();
    EXPECT_EQ(m_server.requestCount(), 2 * 3 * 2);
    const std::string report = run.out();
    EXPECT_NE(report.find("Request name:\t\t\thome\tlist"), std::string::npos) << report;
    EXPECT_NE(report.find("002/00003\t"), std::string::npos) << report;
    // The project is named after the script file, and so is the report file.
    const std::string file = m_dir.file("shop-127.0.0.1-2x3.xls");
    ASSERT_TRUE(std::filesystem::exists(file)) << run.err();
    EXPECT_EQ(readWhole(file), report);
    EXPECT_NE(run.err().find("velkrun: 12 HTTP requests sent ("), std::string::npos) << run.err();
    EXPECT_NE(run.err().find("Results written to file: " + file), std::string::npos) << run.err();
}

// Runs whose requests never reached the server, and counts that do not hang on the
// summary options, say so in their status and closing line.
TEST_F(VelkrunRun, TheClosingLineAndStatusSayWhetherRequestsReachedTheServer) {
    int closedPort;
    {
        TestHttpServer gone;
        closedPort = gone.port();
    }
    struct Case {
        std::string body;
        int status;
        std::string text;
    } cases[] = {
        {"port=" + std::to_string(closedPort) + "\nrequests=2\n[a]\n", 3,
         "velkrun: 2 requests, none reached the server"},
        {"requests=2\ntimeout=1\n[a]\n$secure=2\n", 3,
         "velkrun: 2 requests, none reached the server"},
        {"requests=3\nsummarytimes=0\nignoreerrors=1\n[a]\n[b]\n", 0,
         "velkrun: 6 HTTP requests sent, 6 results ("},
        {"requests=1\noutfile=../escaped.xls\n[a]\n", 4,
         "Refused results file name ../escaped.xls"},
    };
    for (const Case& c : cases) {
        Velkrun run(m_dir, {script(c.body), "--quiet"});
        EXPECT_EQ(run.wait(), c.status) << c.body << run.err();
        EXPECT_NE(run.err().find(c.text), std::string::npos) << c.body << run.err();
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.path().parent_path() / "escaped.xls"));
}

// The example of the manual, run as written, sends what its comments say.
TEST_F(VelkrunRun, TheManualsScriptExampleRunsAsWritten) {
    const std::string readme = readWhole(std::string(VELK_EXAMPLES_DIR) + "/../README.md");
    const size_t start = readme.find("```ini\n[general]");
    ASSERT_NE(start, std::string::npos);
    const size_t end = readme.find("```", start + 6);
    const std::string example = readme.substr(start + 7, end - start - 7);
    Velkrun run(m_dir, {m_dir.write("example.txt", example), "--quiet",
                        "-port=" + std::to_string(m_server.port()), "--set", "reportdir="});
    ASSERT_EQ(run.wait(), 0) << run.err();
    int searches = 0;
    for (const ReceivedRequest& r : m_server.requests()) {
        EXPECT_TRUE(r.target == "/" || r.target == "/search?q=velk") << r.target;
        searches += r.target == "/search?q=velk";
    }
    EXPECT_EQ(searches, 5 * 3);
}

TEST_F(VelkrunRun, SetOverridesOptionsWithoutTouchingVariables) {
    std::string path = script("clients=1\nrequests=$gvar(clients,1)\n[a]\n");
    Velkrun run(m_dir, {"--quiet", "--set", "clients=3", path, "-clients=2", "--set=reportdir="});
    ASSERT_EQ(run.wait(), 0) << run.err();
    // 3 users from --set, 2 iterations from the variable named clients.
    EXPECT_EQ(m_server.requestCount(), 3 * 2);
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("shop-127.0.0.1-3x2.xls")));
}

TEST_F(VelkrunRun, ExitStatusSaysWhatWentWrong) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string text;
    } cases[] = {
        {{script("[a]\n[a]\n", "dup.txt")}, 1, "dup.txt:6: Duplicate request definition:a"},
        {{script("[a]\n"), "--set", "clients=x"},
         1,
         "Integer number expected as a value of clients"},
        {{script("[a]\n"), "--set", "nosuch=1"}, 1, "--set nosuch=1"},
        {{script("[a]\n[testseq]\nb\n", "undefined.txt")},
         1,
         "undefined.txt:7: Request b not found!"},
        {{script("[a]\n$metod=POST\n", "typo.txt")}, 1, "typo.txt:6: Unknown request key $metod"},
        {{script("[a]\n"), "--html", m_dir.file("no/such/dir/r.html")},
         4,
         "cannot write " + m_dir.file("no/such/dir/r.html") + ": no such directory"},
        {{script("log=1\nlogdir=" + m_dir.file("nologs") + "\n[a]\n", "nologs.txt")},
         3,
         "Error: the log directory " + m_dir.file("nologs") + " does not exist!"},
        {{script("server=no-such-host.invalid\n[a]\n", "nohost.txt")},
         3,
         "the run completed no request (cannot resolve no-such-host.invalid)"},
        {{script("[a]\n$server=other.invalid\n", "noother.txt")},
         3,
         "none reached the server (cannot resolve other.invalid; --set log=1 writes"},
        {{script("[a]\n"), "--set"}, 2, "--set needs an option"},
        {{script("[a]\n"), m_dir.file("second.txt")}, 2, "more than one test script"},
        // Two outputs on standard output would run into each other.
        {{script("[a]\n"), "--summary", "-", "--report"},
         2,
         "--report and --summary - would both write to standard output"},
        {{script("[a]\n"), "--html", "-", "--results", "-"},
         2,
         "--html - and --results - would both write to standard output"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--quiet");
        Velkrun run(m_dir, args);
        EXPECT_EQ(run.wait(), c.status) << args[0] << " " << run.err();
        EXPECT_NE(run.err().find(c.text), std::string::npos) << run.err();
    }
    // Refused before a single request went out.
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(VelkrunRun, CtrlCOrSigtermStopsTheRunAndStillWritesTheReport) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.pause(20);
        r.respond(200, "ok");
    });
    for (auto [sig, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        const std::string report = m_dir.file("shop-127.0.0.1-2x100000.xls");
        std::filesystem::remove(report);
        std::string path = script("clients=2\nrequests=100000\nkeepalive=1\nsummarytimes=0\n[a]\n");
        const int before = m_server.requestCount();
        Velkrun run(m_dir, {path, "--quiet"});
        ASSERT_TRUE(m_server.waitForRequests(before + 4, 20000));
        run.signal(sig);
        EXPECT_EQ(run.wait(), status) << run.err();
        EXPECT_NE(run.err().find("stopping the run"), std::string::npos) << run.err();
        const std::string text = readWhole(report);
        EXPECT_NE(text.find("N/A"), std::string::npos);
        EXPECT_NE(text.find("--- HTTP response codes details ---"), std::string::npos);
    }
}

// A server that trickles a byte a second holds neither the users nor the run once
// it is stopped, whatever the bandwidth limit.
TEST_F(VelkrunRun, SigtermEndsARunHeldByATricklingServer) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.trickle(httpResponse(200, std::string(1000, 'x')), 1, 1000);
    });
    std::string path = script("clients=2\nrequests=1\ntimeout=60\nmaxspeed=80\n[a]\n");
    Velkrun run(m_dir, {path, "--quiet"});
    ASSERT_TRUE(m_server.waitForRequests(2, 20000));
    const auto start = std::chrono::steady_clock::now();
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(), 143) << run.err();
    // The server would go on for a quarter of an hour; the bound only catches a hang.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace
}  // namespace velk::test
