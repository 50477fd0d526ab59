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

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/build_tree.h"
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

    // A certificate for localhost made now, for the TLS server blocks.
    void makeCertificate() {
        const std::string d = m_dir.path().string();
        ASSERT_EQ(std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                               "-nodes -subj /CN=localhost -days 2 -keyout " +
                               d + "/key.pem -out " + d + "/cert.pem >/dev/null 2>&1")
                                  .c_str()),
                  0);
    }
    std::string tlsLines() const {
        const std::string d = m_dir.path().string();
        return "  ssl_certificate " + d + "/cert.pem;\n  ssl_certificate_key " + d + "/key.pem;\n";
    }
    // nginx with these server blocks; its access log lines read
    // "METHOD URI PROTOCOL STATUS".
    std::unique_ptr<ChildProcess> startNginx(const std::string& servers) {
        const std::string d = m_dir.path().string();
        write("nginx.conf", "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + d +
                                "/nginx.pid;\nerror_log " + d +
                                "/error.log;\nevents { worker_connections 256; }\n"
                                "http {\n"
                                "  log_format proto '$request_method $request_uri $server_protocol "
                                "$status';\n"
                                "  access_log " +
                                d + "/access.log proto;\n  client_body_temp_path " + d + ";\n" +
                                servers + "}\n");
        return std::make_unique<ChildProcess>(
            "nginx",
            std::vector<std::string>{"-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"},
            d + "/nginx.out", d + "/nginx.err");
    }
    std::string nginxErrors() const {
        const std::string d = m_dir.path().string();
        return readWhole(d + "/nginx.err") + readWhole(d + "/error.log");
    }
    // Stops nginx so that its access log is complete, and returns the log.
    std::string stopNginx(ChildProcess& nginx) const {
        nginx.signal(SIGQUIT);
        nginx.wait(30);
        return readWhole(m_dir.path().string() + "/access.log");
    }

    TempDir m_dir;
};

TEST_F(RealHttp2Servers, NginxOverTlsAndInClearTextServesTheLoginAsHttp2) {
    if (!installed("nginx") || !installed("openssl")) GTEST_SKIP() << "nginx or openssl missing";
    const std::string d = m_dir.path().string();
    makeCertificate();
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
    auto nginx = startNginx("  server {\n  listen 127.0.0.1:" + std::to_string(tlsPort) +
                            " ssl http2;\n" + tlsLines() + site +
                            "  }\n"
                            "  server {\n  listen 127.0.0.1:" +
                            std::to_string(clearPort) + " http2;\n" + site + "  }\n");
    ASSERT_TRUE(waitUntilListening(tlsPort)) << nginxErrors();
    ASSERT_TRUE(waitUntilListening(clearPort));

    expectCleanRun(runLoginScenario(tlsPort, "secure=1\nhttp2=1\n"), 4 * 6);
    expectCleanRun(runLoginScenario(clearPort, "http2=2\n"), 4 * 6);

    const std::string log = stopNginx(*nginx);
    EXPECT_NE(log.find("POST /login HTTP/2.0 302"), std::string::npos) << log;
    EXPECT_NE(log.find("GET /home HTTP/2.0 200"), std::string::npos) << log;
    EXPECT_EQ(log.find("HTTP/1."), std::string::npos) << log;
}

// The JSON API example played by velkrun against nginx answering like the API
// (return), and a file kept over WebDAV (PUT 201 then 204, DELETE 204), over
// HTTP/1.1, HTTP/2 with TLS and HTTP/2 in clear text: no error, and nginx's
// log shows every status the run was meant to meet.
TEST_F(RealHttp2Servers, NginxApiAndWebDavRunWithoutErrorsOverEveryProtocol) {
    if (!installed("nginx") || !installed("openssl")) GTEST_SKIP() << "nginx or openssl missing";
    const std::string d = m_dir.path().string();
    makeCertificate();
    const std::string api =
        "  default_type application/json;\n"
        "  location = /api/login {\n"
        "    if ($request_method != POST) { return 405; }\n"
        "    return 200 '{\"token\":\"t0k3n\"}';\n"
        "  }\n"
        "  location = /api/orders {\n"
        "    if ($http_authorization != 'Bearer t0k3n') { return 401; }\n"
        "    if ($request_method = POST) { return 201 '{\"id\":\"42\"}'; }\n"
        "    return 200 '{\"items\":[]}';\n"
        "  }\n"
        "  location = /api/orders/42 {\n"
        "    if ($http_authorization != 'Bearer t0k3n') { return 401; }\n"
        "    if ($request_method = PUT) { return 200 '{\"id\":\"42\",\"qty\":2}'; }\n"
        "    if ($request_method = DELETE) { return 204; }\n"
        "    return 405;\n"
        "  }\n"
        "  location /dav/ {\n"
        "    root " +
        d +
        ";\n"
        "    dav_methods PUT DELETE;\n"
        "    create_full_put_path on;\n"
        "  }\n";
    const uint16_t plain = freePort(), tls = freePort(), clear2 = freePort();
    auto nginx = startNginx("  server {\n  listen 127.0.0.1:" + std::to_string(plain) + ";\n" +
                            api + "  }\n  server {\n  listen 127.0.0.1:" + std::to_string(tls) +
                            " ssl http2;\n" + tlsLines() + api +
                            "  }\n  server {\n  listen 127.0.0.1:" + std::to_string(clear2) +
                            " http2;\n" + api + "  }\n");
    ASSERT_TRUE(waitUntilListening(plain)) << nginxErrors();
    ASSERT_TRUE(waitUntilListening(tls) && waitUntilListening(clear2));

    // Each user keeps its own file: created, replaced, read, deleted.
    write("dav.txt",
          "[general]\nclients=2\nrequests=2\nserver=127.0.0.1\nkeepalive=1\ntimeout=20\n"
          "delaystart=0\n"
          "[testseq]\ncreate\nreplace\nread\nremove\n"
          "[create]\n$uri=/dav/$clid(u).json\n$method=PUT\n$content=<<E\n{\"v\":1}\nE\n"
          "[replace]\n$uri=/dav/$clid(u).json\n$method=put\n$content=<<E\n{\"v\":2}\nE\n"
          "[read]\n$uri=/dav/$clid(u).json\n$fail=!/\"v\":2/\n"
          "[remove]\n$uri=/dav/$clid(u).json\n$method=DELETE\n");
    struct Protocol {
        uint16_t port;
        std::vector<std::string> options;
    } protocols[] = {
        {plain, {}},
        {tls, {"--set=secure=1", "--set=http2=1"}},
        {clear2, {"--set=http2=2"}},
    };
    for (const Protocol& p : protocols) {
        for (const std::string& script :
             {std::string(VELK_EXAMPLES_DIR "/json-api.txt"), m_dir.file("dav.txt")}) {
            std::vector<std::string> args = {"--quiet",
                                             script,
                                             "-port=" + std::to_string(p.port),
                                             "--set=port=" + std::to_string(p.port),
                                             "--set=reportdir=" + d,
                                             "--threshold",
                                             "errors<1%"};
            args.insert(args.end(), p.options.begin(), p.options.end());
            ChildProcess run(VELKRUN_PATH, args, d + "/run.out", d + "/run.err");
            EXPECT_EQ(run.wait(), 0) << script << " on " << p.port << "\n"
                                     << readWhole(d + "/run.err");
            EXPECT_NE(readWhole(d + "/run.err").find(", 0 errors"), std::string::npos)
                << script << " on " << p.port << "\n"
                << readWhole(d + "/run.err");
        }
    }

    const std::string log = stopNginx(*nginx);
    for (const char* protocol : {"HTTP/1.1", "HTTP/2.0"})
        for (const char* line : {"POST /api/orders %s 201", "PUT /api/orders/42 %s 200",
                                 "DELETE /api/orders/42 %s 204", "PUT /dav/u1.json %s 201",
                                 "PUT /dav/u1.json %s 204", "DELETE /dav/u1.json %s 204"}) {
            char expected[80];
            std::snprintf(expected, sizeof expected, line, protocol);
            EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
        }
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
