// velkrun --metrics scraped over a loopback socket while a real run goes on and
// after it: the exposition's names and values, request names escaped in
// labels, the number of request series bounded, and the endpoint's answers to
// requests it does not serve.  Then a real Prometheus (Debian's) scrapes a run
// of the demo shop, and its answers are checked against the run's summary.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/results/json_value.h"
#include "cli/metrics_endpoint.h"
#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/temp_dir.h"
#include "support/test_http_server.h"

namespace velk::test {
namespace {

// Sends request to 127.0.0.1:port and returns everything read until the
// server closes (at most 5 s).
std::string exchangeWithEndpoint(uint16_t port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        char chunk[65536];
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (pollfd p{fd, POLLIN, 0}; std::chrono::steady_clock::now() < end;) {
            if (::poll(&p, 1, 200) <= 0) continue;
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            reply.append(chunk, size_t(n));
        }
    }
    ::close(fd);
    return reply;
}

std::string scrape(uint16_t port) {
    const std::string reply =
        exchangeWithEndpoint(port, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    const size_t body = reply.find("\r\n\r\n");
    return body == std::string::npos ? "" : reply.substr(body + 4);
}

// The port in velkrun's line "live figures at http://127.0.0.1:PORT/metrics"; 0
// while it has not said it.
uint16_t announcedPort(const std::string& err) {
    std::smatch m;
    if (!std::regex_search(err, m,
                           std::regex(R"(live figures at http://127\.0\.0\.1:(\d+)/metrics)")))
        return 0;
    return uint16_t(std::stoi(m[1]));
}

template <class Done>
bool within(int seconds, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(VelkrunMetrics, ARunIsServedInPrometheusTextWithEscapedBoundedRequestSeries) {
    TestHttpServer server;
    server.setHandler([](const ReceivedRequest& req, Responder& r) {
        r.pause(20);
        r.respond(req.target == "/err" ? 500 : 200, "ok");
    });
    // 36 request names: the first 31 keep series of their own, the other 5
    // share one.  Names hold a quote, a backslash and a byte that is not UTF-8.
    std::string sequence = "q\"u\\ote\nbad\xff\nerr\n",
                sections = "[q\"u\\ote]\n$uri=/q\n[bad\xff]\n$uri=/b\n[err]\n$uri=/err\n";
    for (int i = 1; i <= 33; ++i) {
        const std::string name = (i < 10 ? "r0" : "r") + std::to_string(i);
        sequence += name + "\n";
        sections += "[" + name + "]\n$uri=/" + name + "\n";
    }
    TempDir dir;
    const std::string script = dir.write(
        "metrics.txt", "server=127.0.0.1\nport=" + std::to_string(server.port()) +
                           "\nreportdir=\ndelaystart=0\nkeepalive=1\nignoreerrors=1\nclients=2\n"
                           "requests=3\n[testseq]\n" +
                           sequence + sections);
    ChildProcess velkrun(VELKRUN_PATH,
                         {script, "--quiet", "--metrics", "127.0.0.1:0", "--metrics-linger", "20"},
                         dir.file("out.txt"), dir.file("err.txt"));
    uint16_t port = 0;
    ASSERT_TRUE(within(30, [&] { return (port = announcedPort(velkrun.err())) != 0; }))
        << velkrun.err();

    // While the run goes on.
    std::string live;
    EXPECT_TRUE(within(30, [&] {
        live = scrape(port);
        return live.find("velk_running 1\n") != std::string::npos &&
               live.find("velk_requests_sent_total 0\n") == std::string::npos;
    })) << live;

    // Once it has ended, for the linger time.
    ASSERT_TRUE(within(60, [&] {
        return velkrun.err().find("serving the final figures") != std::string::npos;
    })) << velkrun.err();
    const std::string text = scrape(port);
    const char* const expected[] = {
        "# TYPE velk_requests_sent_total counter\n",
        "# TYPE velk_response_time_seconds histogram\n",
        "\nvelk_running 0\n",
        "\nvelk_users 2\n",
        "\nvelk_users_active 0\n",
        "\nvelk_requests_sent_total 216\n",
        "\nvelk_responses_total{code=\"200\"} 210\n",
        "\nvelk_responses_total{code=\"500\"} 6\n",
        "\nvelk_errors_total{class=\"http\"} 6\n",
        "\nvelk_results_total{request=\"q\\\"u\\\\ote\",outcome=\"ok\"} 6\n",
        "\nvelk_results_total{request=\"bad\xEF\xBF\xBD\",outcome=\"ok\"} 6\n",
        "\nvelk_results_total{request=\"err\",outcome=\"http\"} 6\n",
        "\nvelk_results_total{request=\"err\",outcome=\"ok\"} 0\n",
        "\nvelk_results_total{request=\"r28\",outcome=\"ok\"} 6\n",
        "\nvelk_results_total{request=\"(other requests)\",outcome=\"ok\"} 30\n",
        // Every answer took 20 ms or more, none 50 s.
        "\nvelk_response_time_seconds_bucket{request=\"r01\",le=\"0.016384\"} 0\n",
        "\nvelk_response_time_seconds_bucket{request=\"r01\",le=\"50.331648\"} 6\n",
        "\nvelk_response_time_seconds_bucket{request=\"r01\",le=\"+Inf\"} 6\n",
        "\nvelk_response_time_seconds_count{request=\"r01\"} 6\n",
        "\nvelk_event_loop_lag_seconds_bucket{le=\"0.0001\"} ",
    };
    for (const char* line : expected) EXPECT_NE(text.find(line), std::string::npos) << line;

    // Every line is a comment or a sample; a histogram's buckets never fall;
    // request series are bounded.
    const std::regex sample(
        R"(([a-z_]+)(\{((?:[a-z_]+="(?:[^"\\\n]|\\["\\n])*",?)*)\})? ([0-9.]+))");
    std::set<std::string> requestLabels;
    std::istringstream lines(text);
    double lastBucket = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("# HELP velk_") || line.starts_with("# TYPE velk_")) continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, sample)) << line;
        EXPECT_TRUE(m[1].str().starts_with("velk_")) << line;
        std::smatch request;
        if (std::regex_search(line, request, std::regex(R"re(request="((?:[^"\\]|\\.)*)")re")))
            requestLabels.insert(request[1]);
        if (m[1] == "velk_response_time_seconds_bucket") {
            const double v = std::stod(m[4]);
            if (line.find("le=\"0.000128\"") == std::string::npos) {
                EXPECT_GE(v, lastBucket) << line;
            }
            lastBucket = v;
        }
    }
    EXPECT_EQ(requestLabels.size(), 32u);

    // What the endpoint does not serve.
    const struct {
        std::string request;
        const char* status;
    } refused[] = {
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 "},
        {"POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 405 "},
        {"hello\r\n\r\n", "HTTP/1.1 400 "},
        {"GET /metrics HTTP/1.1\r\nX: " + std::string(9000, 'a') + "\r\n\r\n", "HTTP/1.1 431 "},
        {"HEAD /metrics HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4"},
    };
    for (const auto& r : refused)
        EXPECT_TRUE(exchangeWithEndpoint(port, r.request).starts_with(r.status)) << r.status;
    // Still serving after all that.
    EXPECT_NE(scrape(port).find("velk_requests_sent_total 216\n"), std::string::npos);
    velkrun.signal(SIGTERM);
    EXPECT_EQ(velkrun.wait(30), 143) << velkrun.err();

    // An address that is not loopback must be asked for.
    ChildProcess open(VELKRUN_PATH, {script, "--quiet", "--metrics", "0.0.0.0:0"},
                      dir.file("out2.txt"), dir.file("err2.txt"));
    EXPECT_EQ(open.wait(30), 3);
    EXPECT_NE(open.err().find("add --metrics-public"), std::string::npos) << open.err();
}

TEST(VelkrunMetrics, AddressesAreLoopbackUnlessAskedAndWrittenWithTheirPort) {
    const struct {
        const char* text;
        bool parses, listens;  // listens: without --metrics-public
        const char* error;
    } cases[] = {
        {"127.0.0.1:0", true, true, ""},
        {"[::1]:0", true, true, ""},
        {"localhost:0", true, true, ""},
        {"0.0.0.0:0", true, false, "add --metrics-public"},
        {"::1:9464", false, false, "expected ADDRESS:PORT"},
        {"127.0.0.1:70000", false, false, "expected ADDRESS:PORT"},
        {":9464", false, false, "expected ADDRESS:PORT"},
        {"127.0.0.1", false, false, "expected ADDRESS:PORT"},
        {"example.org:9464", true, false, "not an address to listen on"},
    };
    for (const auto& c : cases) {
        const StatusOr<velk::cli::MetricsAddress> address = velk::cli::parseMetricsAddress(c.text);
        EXPECT_EQ(address.isOk(), c.parses) << c.text;
        velk::cli::MetricsEndpoint endpoint;
        const Status started = address ? endpoint.start(*address, false) : address.status();
        if (c.parses) {
            EXPECT_EQ(started.isOk(), c.listens) << c.text;
        }
        EXPECT_NE(started.message().find(c.error), std::string::npos)
            << c.text << ": " << started.message();
    }
}

// A port nobody listens on now (the kernel's next ephemeral one).
uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

std::string urlEncoded(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '_' || c == '.' || c == '-') {
            out += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// The value of a Prometheus instant query with one result, or NaN.
double promQuery(uint16_t port, const std::string& query) {
    const std::string reply =
        exchangeWithEndpoint(port, "GET /api/v1/query?query=" + urlEncoded(query) +
                                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    const size_t body = reply.find("\r\n\r\n");
    std::string error;
    const auto json = body == std::string::npos
                          ? nullptr
                          : velk::results::JsonValue::parse(reply.substr(body + 4), error);
    const velk::results::JsonValue* data = json ? json->member("data") : nullptr;
    const velk::results::JsonValue* result = data ? data->member("result") : nullptr;
    if (!result || result->items().size() != 1) return std::nan("");
    const velk::results::JsonValue* value = result->items()[0].member("value");
    if (!value || value->items().size() != 2 || !value->items()[1].isString()) return std::nan("");
    return std::stod(value->items()[1].string());
}

// The width of the histogram's bucket that holds ms: the first ends at 128 us,
// the others are half the power of two below them.
double bucketWidthMs(double ms) {
    return ms < 0.128 ? 0.128 : std::exp2(std::floor(std::log2(ms * 1000))) / 2 / 1000;
}

TEST(VelkrunMetrics, ARealPrometheusAgreesWithTheSummary) {
    if (std::system("command -v prometheus >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Debian's prometheus is not installed (scripts/install-deps.sh)";
    TempDir dir;
    ChildProcess site(VELK_DEMO_SITE_PATH, {"--port", "0", "--port-file", dir.file("port")},
                      dir.file("site-out.txt"), dir.file("site-err.txt"));
    std::string sitePort;
    ASSERT_TRUE(within(10, [&] {
        sitePort = readWhole(dir.file("port"));
        return sitePort.find('\n') != std::string::npos;
    })) << readWhole(dir.file("site-err.txt"));
    sitePort.pop_back();
    const std::string summary = dir.file("run.json");
    ChildProcess velkrun(VELKRUN_PATH,
                         {std::string(VELK_EXAMPLES_DIR) + "/demo-shop.txt", "-port=" + sitePort,
                          "-reports=", "-users=6", "-rounds=4", "--quiet", "--summary", summary,
                          "--metrics", "127.0.0.1:0", "--metrics-linger", "60"},
                         dir.file("out.txt"), dir.file("err.txt"));
    uint16_t metricsPort = 0;
    ASSERT_TRUE(within(30, [&] { return (metricsPort = announcedPort(velkrun.err())) != 0; }))
        << velkrun.err();

    const uint16_t promPort = freePort();
    dir.write("prometheus.yml",
              "global:\n  scrape_interval: 1s\nscrape_configs:\n"
              "  - job_name: velkrun\n    static_configs:\n"
              "      - targets: ['127.0.0.1:" +
                  std::to_string(metricsPort) + "']\n");
    ChildProcess prometheus(
        "prometheus",
        {"--config.file=" + dir.file("prometheus.yml"), "--storage.tsdb.path=" + dir.file("tsdb"),
         "--web.listen-address=127.0.0.1:" + std::to_string(promPort)},
        dir.file("prom-out.txt"), dir.file("prom-err.txt"));
    // The run's end is in Prometheus once a scrape saw velk_running at 0.
    ASSERT_TRUE(within(45,
                       [&] {
                           return velkrun.err().find("serving the final figures") !=
                                      std::string::npos &&
                                  promQuery(promPort, "velk_running") == 0;
                       }))
        << velkrun.err() << readWhole(dir.file("prom-err.txt"));

    std::string error;
    const auto json = velk::results::JsonValue::parse(readWhole(summary), error);
    ASSERT_TRUE(json) << error;
    const double sent = json->member("traffic")->member("requestsSent")->number();
    const velk::results::JsonValue& overall = *json->member("overall");
    EXPECT_EQ(promQuery(promPort, "velk_requests_sent_total"), sent);
    EXPECT_EQ(promQuery(promPort, "sum(velk_response_time_seconds_count)"),
              overall.member("count")->number());
    const std::pair<const char*, const char*> quantiles[] = {{"0.5", "p50"}, {"0.95", "p95"}};
    for (const auto& [q, name] : quantiles) {
        const double fromSummary = overall.member("percentilesMs")->member(name)->number();
        const double fromPrometheus =
            1000 * promQuery(promPort, std::string("histogram_quantile(") + q +
                                           ", sum by (le) (velk_response_time_seconds_bucket))");
        EXPECT_NEAR(fromPrometheus, fromSummary, bucketWidthMs(fromSummary) * 1.02) << q;
        std::printf("quantile %s: summary %.3f ms, Prometheus %.3f ms\n", q, fromSummary,
                    fromPrometheus);
    }
    velkrun.signal(SIGTERM);
    EXPECT_EQ(velkrun.wait(30), 143);
    prometheus.signal(SIGTERM);
    prometheus.wait(30);
    site.signal(SIGTERM);
    site.wait(30);
}

}  // namespace
}  // namespace velk::test
