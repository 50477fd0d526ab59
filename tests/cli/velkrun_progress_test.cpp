// velkrun's progress while a real run goes on: a live line redrawn in place on a
// terminal (a pseudo-terminal here), plain lines in a pipe, nothing when asked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/build_tree.h"
#include "common/temp_dir.h"
#include "support/test_http_server.h"

extern char** environ;

namespace velk::test {
namespace {

struct Finished {
    int status = -1;  // -1: killed after the limit
    std::string err;  // all that went to standard error
};

// Runs velkrun with standard error on errFd's far end (the output descriptor given)
// and reads it all from readFd until the program ends, within 120 s.
// seen, when given, is called with the output so far after each read, and may
// send the program a signal.
using Seen = std::function<void(const std::string& err, pid_t pid)>;

Finished runReading(std::vector<std::string> args, int childErr, int readFd,
                    std::vector<std::string> env = {}, const Seen& seen = {}) {
    args.insert(args.begin(), VELKRUN_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = env;
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childErr, 2);
    pid_t pid = -1;
    Finished done;
    const bool spawned =
        posix_spawn(&pid, VELKRUN_PATH, &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(childErr);
    if (!spawned) return done;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    bool ended = false;
    while (std::chrono::steady_clock::now() < limit) {
        pollfd p{readFd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t n = read(readFd, buffer, sizeof buffer);
            if (n > 0) {
                done.err.append(buffer, size_t(n));
                if (seen) seen(done.err, pid);
                continue;
            }
            if (ended) break;  // end of output (EOF, or EIO once a terminal's last writer is gone)
        }
        int status = 0;
        if (!ended && waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            done.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        } else if (ended && p.revents == 0) {
            break;
        }
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return done;
}

Finished onTerminal(const std::vector<std::string>& args, unsigned short columns,
                    const Seen& seen = {}) {
    int master = -1, slave = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return {};
    Finished done = runReading(args, slave, master, {}, seen);
    close(master);
    return done;
}

Finished throughPipe(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    Finished done = runReading(args, fds[1], fds[0], std::move(env));
    close(fds[0]);
    return done;
}

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class VelkrunProgress : public ::testing::Test {
protected:
    VelkrunProgress() {
        // 2 users of 40 requests, each answered after 50 ms: two seconds at least.
        m_server.setHandler([](const ReceivedRequest&, Responder& r) {
            r.pause(50);
            r.respond(200, "ok");
        });
        m_script = m_dir.write(
            "live.txt",
            "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                "\nreportdir=\ndelaystart=0\nkeepalive=1\nclients=2\nrequests=40\n[a]\n");
    }
    TempDir m_dir;
    TestHttpServer m_server;
    std::string m_script;
};

TEST_F(VelkrunProgress,
       OnATerminalOneLineIsRedrawnInPlaceAndEndsInTheEndStateBeforeTheClosingLine) {
    const Finished run = onTerminal({m_script}, 120);
    ASSERT_EQ(run.status, 0) << run.err;
    // Redrawn twice a second: several drawings, each from the start of the line.
    EXPECT_GE(count(run.err, "\r["), 2) << run.err;
    EXPECT_GE(count(run.err, "/80 test-sequence requests  "), 2) << run.err;
    EXPECT_NE(run.err.find("2 users"), std::string::npos) << run.err;
    const size_t closing = run.err.find("velkrun: 80 HTTP requests sent (");
    ASSERT_NE(closing, std::string::npos) << run.err;
    // The last drawing, left standing above the closing line, is the end state;
    // nothing of the line follows.
    const size_t last = run.err.rfind("\r[", closing);
    ASSERT_NE(last, std::string::npos) << run.err;
    const std::string end = run.err.substr(last, closing - last);
    EXPECT_NE(end.find("100%  80/80 test-sequence requests"), std::string::npos) << end;
    EXPECT_TRUE(end.ends_with("\033[K\r\n")) << ::testing::PrintToString(end);
    EXPECT_EQ(run.err.find("test-sequence", closing), std::string::npos) << run.err;
    // Progress shows from the first second, before the engine's first report
    // (two seconds in): no drawing of the second second still counts 0.
    int early = 0;
    for (size_t at = run.err.find("\r["); at != std::string::npos && at < closing;
         at = run.err.find("\r[", at + 1)) {
        const std::string drawing = run.err.substr(at, run.err.find("\033[K", at) - at);
        if (drawing.find("0:01 elapsed") == std::string::npos) continue;
        ++early;
        EXPECT_EQ(drawing.find("  0/80 test-sequence"), std::string::npos) << drawing;
    }
    EXPECT_GT(early, 0) << run.err;
    // No drawing is wider than the terminal.
    for (size_t at = run.err.find("\r["); at != std::string::npos; at = run.err.find("\r[", at + 1))
        EXPECT_LT(run.err.find("\033[K", at) - at - 1, 120u) << run.err;
}

TEST_F(VelkrunProgress, APipeGetsPlainLinesAndQuietOrNoneGetNothing) {
    const std::vector<std::string> env = {"VELKRUN_PROGRESS_INTERVAL_MS=300"};
    const Finished plain = throughPipe({m_script}, env);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_GE(count(plain.err, "\nProgress: ") + plain.err.starts_with("Progress: "), 2)
        << plain.err;
    EXPECT_NE(plain.err.find("/80 test-sequence requests  "), std::string::npos) << plain.err;
    EXPECT_EQ(plain.err.find_first_of("\r\033"), std::string::npos) << plain.err;
    // Two seconds of requests with both users running: the exact HTTP rate.
    EXPECT_NE(plain.err.find("velkrun: 80 HTTP requests sent ("), std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("/s while all users ran), 80 results ("), std::string::npos)
        << plain.err;
    EXPECT_NE(plain.err.find(" s), 0 errors\n"), std::string::npos) << plain.err;

    for (const char* option : {"--quiet", "--progress=none"}) {
        const Finished silent = throughPipe({m_script, option}, env);
        ASSERT_EQ(silent.status, 0) << silent.err;
        EXPECT_EQ(silent.err.find("Progress"), std::string::npos) << option << silent.err;
    }
    // Asked for plain lines on a terminal: no control characters there either.
    const Finished asked = onTerminal({m_script, "--progress=plain"}, 100);
    EXPECT_EQ(asked.status, 0) << asked.err;
    EXPECT_EQ(asked.err.find('\033'), std::string::npos) << asked.err;
}

TEST_F(VelkrunProgress, CtrlCClearsTheLiveLineBeforeItsMessage) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.pause(20);
        r.respond(200, "ok");
    });
    const std::string script = m_dir.write(
        "long.txt",
        "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
            "\nreportdir=\ndelaystart=0\nkeepalive=1\nclients=2\nrequests=100000\n[a]\n");
    bool sent = false;
    const Finished run = onTerminal({script}, 80, [&sent](const std::string& err, pid_t pid) {
        if (!sent && err.find("test-sequence req") != std::string::npos) {
            kill(pid, SIGINT);
            sent = true;
        }
    });
    EXPECT_EQ(run.status, 130) << run.err;
    const size_t stopping = run.err.find("velkrun: stopping the run");
    ASSERT_NE(stopping, std::string::npos) << run.err;
    // The pseudo-terminal shows the program's "\n" as "\r\n".
    EXPECT_EQ(run.err.rfind("\r\033[K\r\n", stopping), stopping - 6)
        << ::testing::PrintToString(run.err);
}

// The closing line names the classes of the errors that happened.
TEST_F(VelkrunProgress, TheClosingLineNamesTheErrorClasses) {
    m_server.setHandler([](const ReceivedRequest& request, Responder& r) {
        // Slow enough for progress lines to come while the run goes on.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        r.respond(request.target == "/bad" ? 500 : 200, "x");
    });
    const std::string script =
        m_dir.write("errors.txt", "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                                      "\nreportdir=\ndelaystart=0\nclients=1\nrequests="
                                      "2\nignoreerrors=1\n[ok]\n[bad]\n$uri=/bad\n");
    const Finished run = throughPipe({script}, {"VELKRUN_PROGRESS_INTERVAL_MS=50"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("velkrun: 4 HTTP requests sent ("), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(", 4 results ("), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" s), 2 errors (2 HTTP errors)\n"), std::string::npos) << run.err;
    // The live line counts them as they come, and the user while it runs.
    EXPECT_NE(run.err.find("1 error ("), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("HTTP 1)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1/1 user"), std::string::npos) << run.err;

    // When every response was an error the closing line says that nothing
    // succeeded; the status stays 0 (thresholds are the way to fail CI).
    const std::string allBad =
        m_dir.write("bad.txt", "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                                   "\nreportdir=\ndelaystart=0\nrequests=2\n[bad]\n$uri=/bad\n");
    const Finished failing = throughPipe({allBad, "--quiet"});
    EXPECT_EQ(failing.status, 0) << failing.err;
    EXPECT_NE(failing.err.find(" 2 errors (2 HTTP errors): no request succeeded\n"),
              std::string::npos)
        << failing.err;
}

}  // namespace
// The errors' share is of the requests counted at the same moment: never more
// errors than requests, and never above 100%, however the counts lag.
TEST_F(VelkrunProgress, TheErrorShareTakesBothCountsFromOneMoment) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        r.respond(500, "x");
    });
    const std::string script =
        m_dir.write("failing.txt", "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                                       "\nreportdir=\ndelaystart=0\nclients=4\nrequests="
                                       "150\nignoreerrors=1\n[bad]\n");
    const Finished run = throughPipe({script}, {"VELKRUN_PROGRESS_INTERVAL_MS=50"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::regex counts(
        R"(Progress:.* (\d+)/\d+ test-sequence requests.* (\d+) errors? \(([0-9.]+)%)");
    int lines = 0;
    for (auto it = std::sregex_iterator(run.err.begin(), run.err.end(), counts);
         it != std::sregex_iterator(); ++it, ++lines) {
        EXPECT_LE(std::stoll((*it)[2]), std::stoll((*it)[1])) << (*it)[0];
        EXPECT_LE(std::stod((*it)[3]), 100.0) << (*it)[0];
    }
    EXPECT_GT(lines, 0) << run.err;
}

}  // namespace velk::test
