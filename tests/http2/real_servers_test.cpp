// Whole runs against real HTTP/2 servers started by the test on loopback:
// nginx with http2 over TLS (a certificate made now) and in clear text, and
// nghttpd in h2c.  The users log in through a form, keep the cookie, follow the
// redirect and check the page, with no error; the server's own log shows the
// requests came as HTTP/2.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "common/child_process.h"
#include "common/message_capture.h"
#include "common/temp_dir.h"
#include "support/loopback_listener.h"
#include "velkcore.h"

namespace velk::test {
namespace {

bool installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A port nothing listens on now (the server binds it right after).
uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
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

// True once the port accepts, within about 20 seconds.
bool waitUntilListening(uint16_t port) {
    for (int i = 0; i < 100; ++i) {
        const int fd = connectLoopback(port, 200);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        ::usleep(200 * 1000);
    }
    return false;
}

struct RunOutcome {
    int32_t ran = 0;
    VelkLiveCounters errors{};
    int64_t requests = 0;
    std::string messages;
};

// The login scenario: the form, the POST that sets the cookie and redirects to
// /home, then /home checked for its welcome.
RunOutcome runLoginScenario(uint16_t port, const std::string& options) {
    const std::string script =
        "[general]\nclients=4\nrequests=3\nserver=127.0.0.1\nport=" + std::to_string(port) + "\n" +
        options +
        "keepalive=1\ntimeout=20\ndelaystart=0\n"
        "[initseq]\nform\nlogin\n"
        "[testseq]\nhome\n"
        "[form]\n$uri=/login\n$fail=!/<form/\n"
        "[login]\n$uri=/login\n$method=POST\nuser=bob\npass=secret\n"
        "[home]\n$uri=/home\n$fail=!/welcome bob/\n";
    MessageCapture capture;
    RunOutcome out;
    InitKS(0, 0);
    SetOutFunc(&capture, &MessageCapture::sink);
    TestSet* set = CreateTestSet();
    if (ParseTest(set, "h2", script.c_str()) == 1) {
        out.ran = RunTest(set);
        GetLiveCounters(set, &out.errors);
        VelkRunTotals totals{};
        if (GetRunTotals(set, &totals) == 1) out.requests = totals.httpRequests;
    }
    for (const std::string& line : capture.lines()) out.messages += line + "\n";
    FreeTestSet(set);
    SetOutFunc(nullptr, nullptr);
    CleanupKS();
    return out;
}

void expectCleanRun(const RunOutcome& r, int64_t requests) {
    EXPECT_EQ(r.ran, 1) << r.messages;
    EXPECT_EQ(r.errors.networkErrors, 0) << r.messages;
    EXPECT_EQ(r.errors.httpErrors, 0) << r.messages;
    EXPECT_EQ(r.errors.failedChecks, 0) << r.messages;
    EXPECT_EQ(r.errors.timeouts, 0) << r.messages;
    // Per user: form, login and its redirect, then three rounds of /home.
    EXPECT_EQ(r.requests, requests) << r.messages;
}

class RealHttp2Servers : public ::testing::Test {
protected:
    std::string write(const char* name, const std::string& text) { return m_dir.write(name, text); }

    TempDir m_dir;
};

TEST_F(RealHttp2Servers, NginxOverTlsAndInClearTextServesTheLoginAsHttp2) {
    if (!installed("nginx") || !installed("openssl")) GTEST_SKIP() << "nginx or openssl missing";
    const std::string d = m_dir.path().string();
    ASSERT_EQ(std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                           "-nodes -subj /CN=localhost -days 2 -keyout " +
                           d + "/key.pem -out " + d + "/cert.pem >/dev/null 2>&1")
                              .c_str()),
              0);
    write("login.html", "<form action=/login method=post>");
    write("home.html", "welcome bob");
    const uint16_t tlsPort = freePort(), clearPort = freePort();
    const std::string site = "  root " + d +
                             ";\n"
                             "  location = /login {\n"
                             "    if ($request_method = POST) {\n"
                             "      add_header Set-Cookie \"sid=s3cr3t; Path=/\" always;\n"
                             "      return 302 /home;\n"
                             "    }\n"
                             "    try_files /login.html =404;\n"
                             "  }\n"
                             "  location = /home {\n"
                             "    if ($cookie_sid != \"s3cr3t\") { return 403; }\n"
                             "    try_files /home.html =404;\n"
                             "  }\n";
    write("nginx.conf",
          "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + d +
              "/nginx.pid;\nerror_log " + d +
              "/error.log;\nevents { worker_connections 256; }\n"
              "http {\n"
              "  log_format proto '$request_method $request_uri $server_protocol $status';\n"
              "  access_log " +
              d +
              "/access.log proto;\n"
              "  server {\n  listen 127.0.0.1:" +
              std::to_string(tlsPort) +
              " ssl http2;\n"
              "  ssl_certificate " +
              d + "/cert.pem;\n  ssl_certificate_key " + d + "/key.pem;\n" + site +
              "  }\n"
              "  server {\n  listen 127.0.0.1:" +
              std::to_string(clearPort) + " http2;\n" + site + "  }\n}\n");
    ChildProcess nginx("nginx", {"-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"},
                       d + "/nginx.out", d + "/nginx.err");
    ASSERT_TRUE(waitUntilListening(tlsPort))
        << readWhole(d + "/nginx.err") << readWhole(d + "/error.log");
    ASSERT_TRUE(waitUntilListening(clearPort));

    expectCleanRun(runLoginScenario(tlsPort, "secure=1\nhttp2=1\n"), 4 * 6);
    expectCleanRun(runLoginScenario(clearPort, "http2=2\n"), 4 * 6);

    nginx.signal(SIGQUIT);
    nginx.wait(30);
    const std::string log = readWhole(d + "/access.log");
    EXPECT_NE(log.find("POST /login HTTP/2.0 302"), std::string::npos) << log;
    EXPECT_NE(log.find("GET /home HTTP/2.0 200"), std::string::npos) << log;
    EXPECT_EQ(log.find("HTTP/1."), std::string::npos) << log;
}

TEST_F(RealHttp2Servers, NghttpdInClearTextServesPagesAndFormsAsHttp2) {
    if (!installed("nghttpd")) GTEST_SKIP() << "nghttpd missing";
    const std::string d = m_dir.path().string();
    // nghttpd serves files and echoes uploads; it sets no cookies and makes no
    // redirects, so the scenario here is the form, its POST and the page.
    write("login", "<form action=/login method=post>");
    write("home", "welcome bob");
    const uint16_t port = freePort();
    ChildProcess nghttpd(
        "nghttpd",
        {"--no-tls", "-v", "--echo-upload", "-d", d, "-a", "127.0.0.1", std::to_string(port)},
        d + "/nghttpd.out", d + "/nghttpd.err");
    ASSERT_TRUE(waitUntilListening(port)) << readWhole(d + "/nghttpd.err");
    const RunOutcome r = runLoginScenario(port, "http2=2\n");
    EXPECT_EQ(r.ran, 1) << r.messages;
    EXPECT_EQ(
        r.errors.networkErrors + r.errors.httpErrors + r.errors.failedChecks + r.errors.timeouts, 0)
        << r.messages;
    EXPECT_EQ(r.requests, 4 * 5) << r.messages;
    nghttpd.signal(SIGTERM);
    nghttpd.wait(30);
    // Its verbose log shows the frames of each stream, HEADERS carrying :method.
    const std::string log = readWhole(d + "/nghttpd.out");
    EXPECT_NE(log.find("recv HEADERS frame"), std::string::npos) << log.substr(0, 2000);
    EXPECT_NE(log.find(":method: POST"), std::string::npos) << log.substr(0, 2000);
}

}  // namespace
}  // namespace velk::test
