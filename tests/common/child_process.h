#pragma once
// A program run by a test: its standard output and error go to files, its exit
// status is waited for within a limit, and it is killed when the test ends
// before it does.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace velk::test {

inline std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ChildProcess {
public:
    ChildProcess(const std::string& program, std::vector<std::string> args, std::string outPath,
                 std::string errPath)
        : m_out(std::move(outPath)), m_err(std::move(errPath)) {
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (posix_spawnp(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (m_pid > 0 && !m_reaped) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void signal(int sig) {
        if (m_pid > 0 && !m_reaped) kill(m_pid, sig);
    }
    // Exit status, or -1 when it did not end within the limit (then it is killed).
    int wait(int seconds = 120) {
        for (int i = 0; i < seconds * 20 && m_pid > 0; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_reaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }
    std::string out() const { return readWhole(m_out); }
    std::string err() const { return readWhole(m_err); }

private:
    std::string m_out, m_err;
    pid_t m_pid = -1;
    bool m_reaped = false;
};

}  // namespace velk::test
