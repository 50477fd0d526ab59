// The shipped velk-demo-site program: start it as a script would, read its port,
// fetch a page, stop it with SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/build_tree.h"
#include "demo/demo_client.h"

namespace velk::demo::test {
namespace {

// A child process with its stdout on a pipe; killed if a test leaves it running.
class Child {
public:
    explicit Child(std::vector<std::string> args) : m_args(std::move(args)) {
        // Built before fork: the child of a threaded process may only exec.
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(VELK_DEMO_SITE_PATH));
        for (auto& arg : m_args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::execv(VELK_DEMO_SITE_PATH, argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        m_out = fds[0];
    }
    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) ::close(m_out);
    }

    // One line of stdout within 10 s; empty on time-out or end.
    std::string readLine() {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(m_out, &c, 1) != 1 || c == '\n') return line;
            line += c;
        }
        return line;
    }

    // The exit status once it has exited (within 10 s), or -1.
    int waitExit() {
        for (int i = 0; i < 200 && m_pid > 0; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    pid_t pid() const { return m_pid; }

private:
    std::vector<std::string> m_args;
    pid_t m_pid = -1;
    int m_out = -1;
};

TEST(DemoExecutable, PrintsPortServesAndExitsZeroOnSigterm) {
    const std::string portFile =
        ::testing::TempDir() + "velk-demo-port-" + std::to_string(::getpid());
    Child child({"--port", "0", "--port-file", portFile});
    ASSERT_GT(child.pid(), 0);
    const std::string line = child.readLine();
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const int port = std::stoi(line.substr(prefix.size()));
    ASSERT_GT(port, 0);

    std::ifstream file(portFile);
    int filePort = 0;
    file >> filePort;
    EXPECT_EQ(filePort, port);
    ::unlink(portFile.c_str());

    DemoClient client(static_cast<uint16_t>(port));
    auto home = client.request(getRequest("/"));
    ASSERT_TRUE(home);
    EXPECT_EQ(home->status, 200);

    ASSERT_EQ(::kill(child.pid(), SIGTERM), 0);
    EXPECT_EQ(child.waitExit(), 0);
}

TEST(DemoExecutable, HelpAndUsageErrors) {
    Child help({"--help"});
    EXPECT_EQ(help.readLine().rfind("usage: velk-demo-site", 0), 0u);
    EXPECT_EQ(help.waitExit(), 0);
    Child bad({"--port", "banana"});
    EXPECT_EQ(bad.waitExit(), 2);
}

}  // namespace
}  // namespace velk::demo::test
