// velkrun's figures for CI, from real runs against loopback servers: the
// percentiles and thresholds (exit status 5), the intended-start percentiles of
// a paced run against a server that stalls, the JSON summary against its schema
// and the HTML report in a real browser; the same files exported from the run's
// results file, as the desktop program's File > Export writes them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <regex>

#include "app/results/pass_export.h"
#include "app/results/rlt_file.h"
#include "common/build_tree.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "support/test_http_server.h"

namespace velk::test {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string shellQuoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a command line through the shell, bounded by `timeout`; its exit status
// (124 when it had to be stopped).
int runCommand(const std::vector<std::string>& args, const std::string& out, const std::string& err,
               int seconds = 120) {
    std::string line = "timeout -k 5 " + std::to_string(seconds);
    for (const std::string& a : args) line += " " + shellQuoted(a);
    line += " >" + shellQuoted(out) + " 2>" + shellQuoted(err) + " </dev/null";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Exports the only pass of the results file at rlt to path, as File > Export does.
void exportFromResults(const std::string& rlt, velk::results::ExportFormat format,
                       const std::string& path) {
    velk::results::CResultsContainer list;
    ASSERT_TRUE(velk::test::isOk(velk::results::loadResultsFile(list, rlt)));
    ASSERT_EQ(list.count(), 1);
    ASSERT_TRUE(velk::test::isOk(velk::results::exportPass(*list.get(0), format, path)));
}

// A summary up to its thresholds, which only velkrun judges.
std::string beforeThresholds(const std::string& summary) {
    return summary.substr(0, summary.find("\"thresholds\": ["));
}

bool haveProgram(const std::string& check) {
    return std::system((check + " >/dev/null 2>&1").c_str()) == 0;
}

// The value velkrun printed for a threshold: "threshold EXPR: VALUE ...".
double printedValue(const std::string& err, const std::string& threshold) {
    const size_t at = err.find("threshold " + threshold + ": ");
    if (at == std::string::npos) return -1;
    return std::atof(err.c_str() + at + threshold.size() + 12);
}

class VelkrunFigures : public ::testing::Test {
protected:
    // velkrun with args; its exit status, standard error in err().
    int velkrun(std::vector<std::string> args) {
        args.insert(args.begin(), VELKRUN_PATH);
        args.push_back("--quiet");
        return runCommand(args, m_dir.file("out.txt"), m_dir.file("err.txt"));
    }
    std::string err() const { return readFile(m_dir.file("err.txt")); }
    std::string script(const std::string& body) {
        return m_dir.write("figures.txt",
                           "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                               "\nreportdir=\ndelaystart=0\nround=0\nkeepalive=1\n" + body);
    }
    // A Python expression over the summary d, evaluated after the summary has
    // been validated against docs/summary-schema.json; "" when Python or its
    // jsonschema module is missing.
    std::string summaryValue(const std::string& path, const std::string& expression) {
        const std::string code =
            "import json,sys,jsonschema\n"
            "d=json.load(open(sys.argv[1],encoding='utf-8'))\n"
            "jsonschema.validate(d,json.load(open(sys.argv[2])),format_checker=jsonschema."
            "FormatChecker())\n"
            "print(" +
            expression + ")\n";
        const int status = runCommand(
            {"python3", "-c", code, path, std::string(VELK_DOCS_DIR) + "/summary-schema.json"},
            m_dir.file("py.txt"), m_dir.file("pyerr.txt"), 60);
        EXPECT_EQ(status, 0) << readFile(m_dir.file("pyerr.txt"));
        std::string value = readFile(m_dir.file("py.txt"));
        while (!value.empty() && value.back() == '\n') value.pop_back();
        return value;
    }
    TempDir m_dir;
    TestHttpServer m_server;
};

TEST_F(VelkrunFigures, MixedLatencyPercentilesThresholdsSummaryAndHtml) {
    // Three requests in four answer in about 10 ms, every other /slow in about
    // 200 ms: the median stays clear of the slow ones even when a loaded
    // machine holds up a fast answer.
    auto slowHits = std::make_shared<std::atomic<int>>(0);
    m_server.setHandler([slowHits](const ReceivedRequest& req, Responder& r) {
        r.pause(req.target == "/slow" && (*slowHits)++ % 2 == 0 ? 200 : 10);
        r.respond(200, "ok");
    });
    // A request name that is not UTF-8 and holds a quote must not break the files.
    const std::string path =
        script("clients=4\nrequests=10\n[fast]\n$uri=/fast\n[sl\xff\"ow]\n$uri=/slow\n");
    const std::string json = m_dir.file("run.json"), html = m_dir.file("run.html");
    const std::string rlt = m_dir.file("run.rlt"), exported = m_dir.file("exported.json");
    EXPECT_EQ(velkrun({path, "--summary", json, "--html", html, "--results", rlt, "--threshold",
                       "p50<100", "--threshold", "p99<100", "--threshold", "fast:p99<150",
                       "--threshold", "errors<1%"}),
              5)
        << err();
    exportFromResults(rlt, velk::results::ExportFormat::kJsonSummary, exported);
    // The results file gives the run's summary, but for the thresholds.
    EXPECT_EQ(beforeThresholds(readFile(exported)), beforeThresholds(readFile(json)));
    EXPECT_NE(readFile(exported).find("\"thresholds\": []"), std::string::npos);
    const std::string text = err();
    // The closing lines say how late the engine's event loops were.
    EXPECT_NE(text.find("velkrun: event-loop lag p99 "), std::string::npos) << text;
    EXPECT_NE(text.find(" loop"), std::string::npos) << text;
    EXPECT_NE(readFile(html).find("Event-loop lag"), std::string::npos);
    const std::string summary = readFile(json);
    EXPECT_NE(summary.find("\"generator\": {"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\"p99Ms\": "), std::string::npos) << summary;
    // A loaded machine may make the loops late enough for the warning: then
    // every file says so.
    const bool warned =
        text.find("velkrun: Warning: the load generator was busy") != std::string::npos;
    EXPECT_EQ(summary.find("\"warning\": null") == std::string::npos, warned) << summary;
    EXPECT_EQ(readFile(html).find("class=\"warn\"") != std::string::npos, warned);
    EXPECT_NE(text.find("threshold p50<100: "), std::string::npos) << text;
    EXPECT_NE(text.find(" ms ok\n"), std::string::npos) << text;
    EXPECT_NE(text.find("threshold p99<100: "), std::string::npos) << text;
    EXPECT_NE(text.find(" ms FAILED\n"), std::string::npos) << text;
    EXPECT_NE(text.find("threshold errors<1%: 0.00% ok"), std::string::npos) << text;
    const double p50 = printedValue(text, "p50<100"), p99 = printedValue(text, "p99<100");
    EXPECT_GE(p50, 9);
    EXPECT_LT(p50, 100);
    EXPECT_GE(p99, 190);
    EXPECT_LT(p99, 1000);
    std::printf("mixed-latency run: p50 %.2f ms, p99 %.2f ms\n", p50, p99);

    if (!haveProgram("python3 -c 'import jsonschema'"))
        GTEST_SKIP() << "python3-jsonschema is not installed";
    EXPECT_EQ(
        summaryValue(
            json,
            "d['overall']['count'], ascii([r['name'] for r in d['requests']]), d['test']['users'], "
            "d['statusCodes'], d['thresholds'][1]['ok'], d['overall']['fromIntendedStart']"),
        "80 ['fast', 'sl\\ufffd\"ow'] 4 {'200': 80} False None");
    // The exported summary holds to the schema as well.
    EXPECT_EQ(summaryValue(exported,
                           "d['overall']['count'], d['test']['users'], d['statusCodes'], "
                           "d['thresholds']"),
              "80 4 {'200': 80} []");
}

// A small JSON API's answers (201, 204, 303, 304, 307) are successes in the
// text report, the JSON summary and the HTML report, each status counted.
TEST_F(VelkrunFigures, ApiStatusesAreCountedAsSuccessesInEveryReport) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/orders") {
            r.respond(201, "{\"id\":7}");
        } else if (req.target == "/orders/7" && req.method == "PUT") {
            r.respond(307, "", "Location: /v2/orders/7\r\n");
        } else if (req.target == "/orders/7") {
            r.respond(204, "");
        } else if (req.target == "/old") {
            r.respond(303, "", "Location: /new\r\n");
        } else if (req.target == "/cached") {
            r.send("HTTP/1.1 304 Not Modified\r\nETag: \"1\"\r\n\r\n");
        } else {
            r.respond(200, req.method + " " + req.body);
        }
    });
    const std::string path = script(
        "clients=1\nrequests=2\n[create]\n$method=POST\n$uri=/orders\nn=1\n"
        "[update]\n$method=PUT\n$uri=/orders/7\nn=2\n[remove]\n$method=DELETE\n"
        "$uri=/orders/7\n[old]\n$uri=/old\n[cached]\n$uri=/cached\n");
    const std::string json = m_dir.file("api.json"), html = m_dir.file("api.html");
    ASSERT_EQ(velkrun({path, "--report", "--summary", json, "--html", html}), 0) << err();
    const std::string report = readFile(m_dir.file("out.txt"));
    for (const char* line :
         {"\n200\t4\n", "\n201\t2\n", "\n204\t2\n", "\n303\t2\n", "\n304\t2\n", "\n307\t2\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line << report;
    EXPECT_EQ(report.find("HTTPERR"), std::string::npos) << report;
    EXPECT_NE(readFile(html).find("<tr><td>204</td><td>2</td></tr>"), std::string::npos);
    if (!haveProgram("python3 -c 'import jsonschema'"))
        GTEST_SKIP() << "python3-jsonschema is not installed";
    EXPECT_EQ(summaryValue(json,
                           "d['overall']['errors']['total'], d['overall']['count'], "
                           "sorted(d['statusCodes'].items())"),
              "0 10 [('200', 4), ('201', 2), ('204', 2), ('303', 2), ('304', 2), ('307', 2)]");
}

// With the default rounding of 10 ms a fast server's times are 0.00 in the text
// report, while the figures keep the measured times; each count is named by
// what it counts, the same in the closing line, the summary and the HTML report.
TEST_F(VelkrunFigures, RoundedReportTimesKeepTheirMeasuredFiguresAndCountsAreNamed) {
    // A login that redirects, then 20 fast requests per user.
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/login")
            r.respond(302, "", "Location: /a\r\n");
        else
            r.respond(200, "ok");
    });
    const std::string path = m_dir.write(
        "rounded.txt", "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                           "\nreportdir=\ndelaystart=0\nkeepalive=1\nclients=2\nrequests=20\n"
                           "[initseq]\nlogin\n[testseq]\na\n[login]\n$uri=/login\n[a]\n$uri=/a\n");
    const std::string json = m_dir.file("rounded.json"), html = m_dir.file("rounded.html");
    ASSERT_EQ(velkrun({path, "--report", "--summary", json, "--html", html}), 0) << err();
    const std::string report = readFile(m_dir.file("out.txt"));
    EXPECT_NE(report.find("Min request processing time:\t0.00\t\n"), std::string::npos) << report;
    std::smatch p50;
    const std::string summary = readFile(json);
    ASSERT_TRUE(
        std::regex_search(summary, p50, std::regex(R"("overall": \{[\s\S]*?"p50": ([0-9.e+-]+))")))
        << summary;
    EXPECT_GT(std::stod(p50[1]), 0) << summary;
    EXPECT_LT(std::stod(p50[1]), 10) << summary;

    // 2 logins and their redirects, 40 test-sequence requests: 44 sent, 42 results.
    // The 40 fast requests may or may not fill the span the exact rate needs.
    const bool wholeRun =
        summary.find("\"requestsSentPerSecondOver\": \"wholeRun\"") != std::string::npos;
    const std::regex closing(std::string(R"(velkrun: 44 HTTP requests sent \([0-9.]+/s )") +
                             (wholeRun ? R"(over [0-9.]+ s\))" : R"(while all users ran\))") +
                             R"(, 42 results \([0-9.]+/s over [0-9.]+ s\), 0 errors\n)");
    EXPECT_TRUE(std::regex_search(err(), closing)) << err();
    const std::string page = readFile(html);
    for (const char* card : {"HTTP requests sent</div><div class=\"v\">44<",
                             "HTTP requests sent per second", "Results</div><div class=\"v\">42<"})
        EXPECT_NE(page.find(card), std::string::npos) << card;

    if (!haveProgram("python3 -c 'import jsonschema'"))
        GTEST_SKIP() << "python3-jsonschema is not installed";
    EXPECT_EQ(summaryValue(json,
                           "d['traffic']['requestsSent'], d['overall']['results'], "
                           "d['overall']['resultsPerSecond'] == d['overall']['requestsPerSecond'], "
                           "d['traffic']['requestsSentPerSecond'] > 0"),
              "44 42 True True");
}

TEST_F(VelkrunFigures, HtmlReportIsSelfContainedAndLoadsInABrowser) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) { r.respond(200, "ok"); });
    const std::string html = m_dir.file("page.html"), rlt = m_dir.file("page.rlt");
    ASSERT_EQ(velkrun({script("clients=2\nrequests=5\n[home]\n[<b>list</b>]\n$uri=/list\n"),
                       "--html", html, "--results", rlt}),
              0)
        << err();
    const std::string page = readFile(html);
    // The page the desktop program exports from the results file is the same
    // page, but for the line naming the program that made it.
    const std::string exported = m_dir.file("exported.html");
    exportFromResults(rlt, velk::results::ExportFormat::kHtmlReport, exported);
    std::string fromVelk = readFile(exported);
    const std::string byVelk = "Made by the VELK desktop program (velk).";
    const size_t at = fromVelk.find(byVelk);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(fromVelk.replace(at, byVelk.size(), "Made by velkrun."), page);
    EXPECT_NE(page.find("&lt;b&gt;list&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(std::count(page.begin(), page.end(), '<') > 100, true);
    // Nothing is fetched: no scripts, links or addresses.
    for (const char* word : {"http://", "https://", "<script", "<link", "@import", "url("})
        EXPECT_EQ(page.find(word), std::string::npos) << word;
    EXPECT_GE(std::count(page.begin(), page.end(), '\n'), 10);
    EXPECT_NE(page.find("<svg"), std::string::npos);

    const std::string browser = haveProgram("command -v chromium") ? "chromium" : "";
    if (browser.empty())
        GTEST_SKIP() << "chromium is not installed: the page was not loaded in a browser";
    // velkrun's page and the exported one, each in a browser of its own.
    for (const std::string& file : {html, exported}) {
        const std::string profile = file + ".profile";
        const int status =
            runCommand({browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                        "--user-data-dir=" + profile, "--enable-logging=stderr", "--v=0",
                        "--dump-dom", "file://" + file},
                       m_dir.file("dom.txt"), m_dir.file("browser.txt"), 90);
        const std::string dom = readFile(m_dir.file("dom.txt")),
                          log = readFile(m_dir.file("browser.txt"));
        ASSERT_EQ(status, 0) << file << "\n" << log;
        EXPECT_NE(dom.find("Load test report: figures.txt"), std::string::npos)
            << dom.substr(0, 500);
        EXPECT_NE(dom.find("</svg>"), std::string::npos) << file;
        EXPECT_EQ(log.find("CONSOLE"), std::string::npos) << log;
        EXPECT_EQ(log.find("Uncaught"), std::string::npos) << log;
    }
}

TEST_F(VelkrunFigures, PacedRunShowsAStallOnlyFromTheIntendedStart) {
    // The server stalls once, for a second, at its 30th request.
    std::mutex mutex;
    int answered = 0;
    m_server.setHandler([&](const ReceivedRequest&, Responder& r) {
        bool stall;
        {
            std::lock_guard lock(mutex);
            stall = ++answered == 30;
        }
        if (stall) r.pause(1000);
        r.respond(200, "ok");
    });
    // One user, a request due every 50 ms (72000 an hour), 150 of them: the stalled
    // request is under 1% of the plain times.
    const std::string json = m_dir.file("paced.json");
    ASSERT_EQ(velkrun({script("clients=1\nrequests=150\nrate=72000\n[a]\n"), "--summary", json}), 0)
        << err();
    if (!haveProgram("python3 -c 'import jsonschema'"))
        GTEST_SKIP() << "python3-jsonschema is not installed";
    const std::string values =
        summaryValue(json,
                     "d['overall']['percentilesMs']['p99'], "
                     "d['overall']['fromIntendedStart']['percentilesMs']['p99'], "
                     "d['overall']['maxMs'], d['overall']['fromIntendedStart']['count']");
    double plain = 0, intended = 0, max = 0, count = 0;
    ASSERT_EQ(std::sscanf(values.c_str(), "%lf %lf %lf %lf", &plain, &intended, &max, &count), 4)
        << values;
    std::printf(
        "paced run with a 1 s stall: p99 %.2f ms, from the intended start %.2f ms (%g counted)\n",
        plain, intended, count);
    EXPECT_GE(max, 900);         // the stall was measured...
    EXPECT_LT(plain, 500);       // ...but the plain p99 hides it,
    EXPECT_GE(intended, 500);    // the intended-start p99 shows it,
    EXPECT_GT(count, 150 + 10);  // with the requests the stall kept from being sent.
}

TEST_F(VelkrunFigures, MalformedThresholdIsAUsageErrorBeforeTheRun) {
    const std::string path = script("[a]\n");
    for (const char* bad : {"p95", "p42<300", "p95<abc", "mean<5%", ":p95<1", "p95<-1", "rps>",
                            "p95<0x10", "p95<-0", "rps>1e-400", "p95<1e3", "p95< 3", "p95<+3",
                            "errors<101%", "p95<inf", "p95<1.2.3", "max<10000000000000"}) {
        EXPECT_EQ(velkrun({path, "--threshold", bad}), 2) << bad;
        EXPECT_NE(err().find("--threshold"), std::string::npos) << err();
    }
    // The figures go with every run but a shard's, which has no report of its own.
    EXPECT_EQ(velkrun({path, "--shard", "0/2", "--shard-out", m_dir.file("s"), "--summary",
                       m_dir.file("x.json")}),
              2);
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(VelkrunFigures, AFileThatCannotBeWrittenIsRefusedBeforeTheRun) {
    std::filesystem::create_directory(m_dir.file("reports"));
    const std::string kept = m_dir.write("reports/old.html", "old");
    // A directory where the summary should go: nothing could replace it.
    std::filesystem::create_directory(m_dir.file("reports/run.json"));
    EXPECT_EQ(
        velkrun({script("[a]\n"), "--summary", m_dir.file("reports/run.json"), "--html", kept}), 4)
        << err();
    EXPECT_NE(err().find("cannot write " + m_dir.file("reports/run.json") + ": is a directory"),
              std::string::npos)
        << err();
    EXPECT_EQ(m_server.requestCount(), 0);
    EXPECT_EQ(readFile(kept), "old");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.file("reports")))
        ++files, (void)entry;
    EXPECT_EQ(files, 2);
}

}  // namespace
}  // namespace velk::test
