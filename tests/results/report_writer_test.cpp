#include "results/report_writer.h"

#include <gtest/gtest.h>

#include <regex>

#include "results/run_fixture.h"
#include "results/save_results.h"

namespace velk {
namespace {

using test::RunFixture;
using test::TextSink;

std::string reportText(const RunFixture& run) {
    TextSink sink;
    EXPECT_EQ(saveResults(run.input(), &sink, &TextSink::write, nullptr, nullptr), 0);
    return sink.text;
}

const char kStatusCodes[] =
    "\n--- HTTP response codes details ---\n"
    "\nCode\tCount\n"
    "200\t6\n"
    "500\t1\n"
    "\n";

// Two users, two positions, two iterations: a timeout, an HTTP error, and a
// cell the second user never reached because the run was aborted.
void fillDetailedRun(RunFixture& run) {
    run.options.clients = 2;
    run.options.requests = 2;
    run.names = {"index", "login"};
    run.times.durationMs = 2000;
    run.counters.httpRequests = 8;
    run.counters.statusCodes[200] = 6;
    run.counters.statusCodes[500] = 1;
    UserRecord& a = run.addUser(ResultMode::Detailed);
    a.results.setCell(0, 0, 1500);
    a.results.setCell(1, 0, 2500);
    a.results.setCell(0, 1, kResultTimeout);
    a.results.setCell(1, 1, 3000);
    a.startTick = 100;
    a.endTick = 1600;
    a.requestsMade = 4;
    a.sentAtEnd = 8;
    a.bytesSent = 1000;
    a.bytesReceived = 5000;
    UserRecord& b = run.addUser(ResultMode::Detailed);
    b.results.setCell(0, 0, 1000);
    b.results.setCell(1, 0, kResultHttp);
    b.results.setCell(0, 1, 2000);
    b.startTick = 200;
    b.endTick = 1400;
    b.requestsMade = 4;
    b.sentAtStart = 1;
    b.sentAtEnd = 7;
    b.bytesSent = 2000;
    b.bytesReceived = 8000;
}

TEST(ReportText, DetailedRunIsWrittenPieceByPieceExactly) {
    RunFixture run;
    fillDetailedRun(run);
    TextSink sink;
    ASSERT_EQ(saveResults(run.input(), &sink, &TextSink::write, nullptr, nullptr), 0);
    EXPECT_GT(sink.pieces, 30);
    EXPECT_EQ(sink.text,
              "\n--- Basic statistics ---\n\n"
              "Request name:\t\t\tindex\tlogin"
              "\nMin request processing time:\t1.00\t2.50\t"
              "\nAvg request processing time:\t1.50\t2.75\t"
              "\nMax request processing time:\t2.00\t3.00\t"
              "\n\n"
              "--- Network traffic details ---\n\n"
              "Total bytes sent:\t3000\n"
              "Total bytes received:\t13000\n\n"
              "Average server bandwidth (Kbits/sec):\t64.00\n"
              "Average user bandwidth (Kbits/sec):\t32.00\n"
              "\n--- Summary times ---\n\n"
              "Virtual Users statistics:\nUser\tReqs\tTime\tAR/S\tAT/R\n"
              "1\t4\t1500\t2.67\t375.00\n"
              "2\t4\t1200\t3.33\t300.00\n"
              "\nTotal work time:\t2000\nTotal requests made:\t8\n\n"
              "Total average requests per second:\t5.00\n"
              "\n--- Errors report ---\n"
              "\nTotal 2 errors!!!\n"
              "HTTP: 1\n"
              "Timeout: 1\n"
              "\n" +
                  std::string(kStatusCodes) +
                  "--- Individual requests processing time ---\n\n"
                  "User/Iteration\tindex\tlogin\n"
                  "001/00001\t1.50\t2.50\t\n"
                  "001/00002\tTIMEOUT\t3.00\t\n"
                  "002/00001\t1.00\tHTTPERR\t\n"
                  "002/00002\t2.00\tN/A\t\n");
}

TEST(ReportText, AggregatedRunShowsUnknownPositionsAndNoTable) {
    RunFixture run;
    run.options.nodetails = 1;
    run.options.summarytimes = 0;
    run.names = {"index", "search"};
    run.addUser(ResultMode::Aggregated).results.addTime(0, 1000);
    UserRecord& b = run.addUser(ResultMode::Aggregated);
    b.results.addTime(0, 4000);
    b.results.addTime(0, 2500);
    b.bytesSent = 6000000000ull;  // beyond 32 bits
    run.errors.count(kResultNetwork);
    EXPECT_EQ(reportText(run),
              "\n--- Basic statistics ---\n\n"
              "Request name:\t\t\tindex\tsearch"
              "\nMin request processing time:\t1.00\t?\t"
              "\nAvg request processing time:\t2.50\t?\t"
              "\nMax request processing time:\t4.00\t?\t"
              "\n\n"
              "--- Network traffic details ---\n\n"
              "Total bytes sent:\t6000000000\n"
              "Total bytes received:\t0\n\n"
              "Average server bandwidth (KB/sec):\tN/A\n"
              "Average user bandwidth (KB/sec):\tN/A\n"
              "\n--- Errors report ---\n"
              "\nTotal 1 error !!!\n"
              "Net: 1\n"
              "\n"
              "\n--- HTTP response codes details ---\n"
              "\nCode\tCount\n"
              "\n");
}

TEST(ReportText, ScriptDrivenRunListsEachClientsResultsInsteadOfStatistics) {
    test::useUtc();
    RunFixture run;
    run.scriptDriven = true;
    run.options.timestamp = 1;
    run.options.failerrorsymbol = "BAD";
    run.addUser(ResultMode::Scripted).results.scripted() = {
        {"index", 1234, 36000, 36002},
        {"login", kResultFail, 36000, 0},
    };
    run.addUser(ResultMode::Scripted).results.scripted() = {{"x", kNotRun, 0, 0}};
    EXPECT_EQ(reportText(run),
              "--- Client 0 ---\n"
              "index\tIteration start\tIteration end\t1.23\t10:00:00\t10:00:02\n"
              "login\tIteration start\tIteration end\tBADNONE\tNONE\n"
              "--- Client 1 ---\n"
              "x\tIteration start\tIteration end\tN/ANONE\tNONE\n"
              "\n--- Errors report ---\n"
              "\nTotal 1 error !!!\n"
              "Fail: 1\n"
              "\n"
              "\n--- HTTP response codes details ---\n"
              "\nCode\tCount\n"
              "\n");
}

TEST(ReportText, ShowBadResultsZeroSkipsFailedIterationsAndTimestampsShowPasses) {
    test::useUtc();
    RunFixture run;
    run.options.showbadresults = 0;
    run.options.summarytimes = 0;
    run.options.timestamp = 1;
    run.options.requests = 3;
    run.names = {"a", "b"};
    UserRecord& u = run.addUser(ResultMode::Detailed);
    u.results.setCell(0, 0, 10);
    u.results.setCell(1, 0, 20);
    u.results.times(0) = {3600, 3661};
    u.results.setCell(0, 1, 30);
    u.results.setCell(1, 1, kResultTimeout);
    u.results.times(1) = {3700, 3701};
    u.results.setCell(0, 2, 40);
    u.results.setCell(1, 2, 50);
    u.results.times(2) = {3800, 0};  // end never recorded
    std::string text = reportText(run);
    EXPECT_EQ(text.find("Errors report"), std::string::npos);
    EXPECT_NE(text.find("\nMin request processing time:\t0.01\t0.02\t"), std::string::npos);
    size_t table = text.find("--- Individual");
    ASSERT_NE(table, std::string::npos);
    EXPECT_EQ(text.substr(table),
              "--- Individual requests processing time ---\n\n"
              "User/Iteration\ta\tb\tPass start\tPass end\n"
              "001/00001\t0.01\t0.02\t01:00:00\t01:01:01\n"
              "001/00003\t0.04\t0.05\tNONE\tNONE\n");
}

TEST(ReportText, ErrorTotalSpellsOneAndMany) {
    const struct {
        int timeouts;
        const char* line;
    } cases[] = {{1, "\nTotal 1 error !!!\nTimeout: 1\n\n"},
                 {2, "\nTotal 2 errors!!!\nTimeout: 2\n\n"}};
    for (const auto& c : cases) {
        RunFixture run;
        run.options.nodetails = 1;
        for (int i = 0; i < c.timeouts; ++i) run.errors.count(kResultTimeout);
        EXPECT_NE(reportText(run).find(c.line), std::string::npos) << c.timeouts;
    }
}

TEST(ReportText, ApproximationWarningFollowsTheRateWhenTheWindowIsTooShort) {
    RunFixture run;
    run.names = {"a"};
    run.times.durationMs = 4000;
    run.counters.httpRequests = 20;
    UserRecord& u = run.addUser(ResultMode::Detailed);
    u.requestsMade = 20;
    u.endTick = 500;
    u.sentAtEnd = 20;
    EXPECT_NE(reportText(run).find("Total average requests per second:\t5.00\n"
                                   "\nWARNING: approximation used!\n"
                                   "Not enough requests per client for exact timing!\n"
                                   "\n--- HTTP"),
              std::string::npos);

    run.options.exacttiminginterval = 500;
    EXPECT_EQ(reportText(run).find("WARNING"), std::string::npos);
}

TEST(ReportText, HeaderNamesTheRunItsTimesUserAndHost) {
    RunFixture run;
    run.options.reportinfo = 1;
    run.options.projectname = "shop";
    run.options.description = "nightly";
    run.options.clients = 3;
    run.options.requests = 7;
    run.times.wallStart = 1700000000;
    run.times.wallEnd = 1700000100;
    const std::string ctime = R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}\n)";
    const std::string header =
        "Report generated by VELK v2.0\n\n"
        "Test started at: " +
        ctime + "Test finished at: " + ctime +
        "Scenario name: shop\n"
        "Test run comment: nightly\n"
        "Virtual users: 3\n"
        "Iterations: 7\n"
        "(Connection speed limit: 56000 bits/sec\n)?"
        "Test executed by: [^\n]+\n"
        "Test executed at: [^\n]+\n\n"
        "\n--- Basic statistics ---\n";
    for (int32_t maxspeed : {0, 56000}) {
        run.options.maxspeed = maxspeed;
        std::string text = reportText(run);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(text, m, std::regex("^" + header))) << text;
        EXPECT_EQ(m[1].matched, maxspeed != 0);
    }
}

}  // namespace
}  // namespace velk
