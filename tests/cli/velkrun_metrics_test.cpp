// velkrun --metrics scraped over a loopback socket while a real run goes on and
// after it: the exposition's names and values, request names escaped in
// labels, the number of request series bounded, and the endpoint's answers to
// requests it does not serve.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

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

}  // namespace
}  // namespace velk::test
