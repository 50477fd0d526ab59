#pragma once
// Script-driven runs for tests: a test whose [script] section holds JavaScript,
// run through the engine's C interface against a loopback server, with the
// messages, progress, per-user results and report it produced.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/message_capture.h"
#include "common/temp_dir.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::test {

struct ProgressLog {
    std::mutex mutex;
    std::vector<std::pair<int32_t, int32_t>> calls;
    static void sink(void* context, int32_t made, int32_t total) {
        auto* self = static_cast<ProgressLog*>(context);
        std::lock_guard lock(self->mutex);
        self->calls.emplace_back(made, total);
    }
    std::vector<std::pair<int32_t, int32_t>> all() {
        std::lock_guard lock(mutex);
        return calls;
    }
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ScriptRun : public ::testing::Test {
protected:
    void SetUp() override {
        InitKS(0, 0);
        SetOutFunc(&m_messages, MessageCapture::sink);
        SetProgressReporter(&m_progress, ProgressLog::sink);
        m_set = CreateTestSet();
        // Every request gets its own target and body back, so scripts can read them.
        m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
            r.respond(req.target.starts_with("/missing") ? 404 : 200,
                      "echo " + req.target + " [" + req.body + "]");
        });
    }
    void TearDown() override {
        FreeTestSet(m_set);
        SetOutFunc(nullptr, nullptr);
        SetProgressReporter(nullptr, nullptr);
        CleanupKS();
    }

    // A test with general lines, then js as its [script] section, then requests.
    std::string testText(const std::string& js, const std::string& general = "",
                         const std::string& requests = "") const {
        return "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
               "\ndelaystart=0\nscript=$inline.js\n" + general + "\n[script]\n" + js +
               "\n[/script]\n" + requests;
    }
    // VELK_TEST_LOOPS=N runs every test on N event loops (ctest runs the
    // binary once on one loop, once on the machine's default).
    bool parse(const std::string& js, const std::string& general = "",
               const std::string& requests = "") {
        if (ParseTest(m_set, "script.txt", testText(js, general, requests).c_str()) != 1)
            return false;
        const char* loops = std::getenv("VELK_TEST_LOOPS");
        return loops == nullptr || SetLoopThreads(m_set, std::atoi(loops)) == 1;
    }
    // Parses and runs; RunTest's result.
    int32_t run(const std::string& js, const std::string& general = "",
                const std::string& requests = "") {
        if (!parse(js, general, requests)) return -1;
        return RunTest(m_set);
    }

    // The results a user's script recorded, in order (GetResults without its count).
    std::vector<int32_t> results(int32_t user) {
        auto** queue = static_cast<int32_t**>(GetResults(m_set, user));
        if (!queue || !*queue) return {};
        const int32_t n = (*queue)[0];
        return std::vector<int32_t>(*queue + 1, *queue + 1 + n);
    }
    std::string report() {
        std::string text;
        SaveResults(
            m_set, &text,
            [](void* sink, const char* piece) { *static_cast<std::string*>(sink) += piece; },
            nullptr);
        return text;
    }
    std::vector<std::string> targets() const {
        std::vector<std::string> out;
        for (const ReceivedRequest& r : m_server.requests()) out.push_back(r.target);
        return out;
    }
    // The user's log (log=1 with logdir set to the temporary directory).
    std::string userLog(int user, int clients = 1) const {
        return readFile(m_dir.file("script-" + std::to_string(clients) + "x1-user" +
                                   std::to_string(user + 1) + ".log"));
    }
    std::string logOptions() const { return "log=1\nlogdir=" + m_dir.path().string() + "\n"; }

    TempDir m_dir;
    MessageCapture m_messages;
    ProgressLog m_progress;
    TestHttpServer m_server;
    TestSet* m_set = nullptr;
};

}  // namespace velk::test
