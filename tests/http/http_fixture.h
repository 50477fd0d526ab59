#pragma once
// A virtual user's HTTP side against a loopback test server: a test script is
// parsed into an HttpTestSet, and one HttpSession plays its requests.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/message.h"
#include "common/message_capture.h"
#include "common/temp_dir.h"
#include "http/connection_selector.h"
#include "http/http_session.h"
#include "http/request_executor.h"
#include "results/shared_run.h"
#include "script/parsed_test.h"
#include "script/script_parser.h"
#include "support/test_http_server.h"

namespace velk::test {

// A parsed test and what its users would share, for one user without a run.
struct HttpTestSet : ParsedTest, SharedRun {};

class HttpFixture : public ::testing::Test {
protected:
    void SetUp() override { setOutFunc(&m_messages, MessageCapture::sink); }
    void TearDown() override {
        m_session.reset();
        setOutFunc(nullptr, nullptr);
    }

    // Parses script (with $gvar(port) for the server's port) and prepares user 0.
    void load(const std::string& script, int userIndex = 0, uint16_t port = 0) {
        m_set = std::make_unique<HttpTestSet>();
        m_set->globals["port"] = std::to_string(port ? port : m_server.port());
        ASSERT_TRUE(ScriptParser(*m_set).parse("server=127.0.0.1\nport=$gvar(port)\n" + script));
        startUser(userIndex);
    }

    void startUser(int userIndex) {
        m_set->currentTarget.set(m_set->options.server, m_set->options.port);
        m_session = std::make_unique<HttpSession>(m_set->options, m_set->headers,
                                                  m_set->currentTarget, m_set->httpCounters);
        m_session->userIndex = userIndex;
        m_session->random.seed(12345);
        ASSERT_TRUE(m_session->log.open(m_logDir.file("user.log")));
        ASSERT_TRUE(setUpUserConnection(*m_session).isOk());
    }

    RequestDef& request(const std::string& name) { return *m_set->requests.at(name); }

    int32_t run(const std::string& name) {
        return executeRequest(*m_session, request(name), m_body);
    }

    // The user's log so far.
    std::string logText() {
        m_session->log.close();
        std::string text;
        std::ifstream in(m_logDir.file("user.log"), std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        m_session->log.open(m_logDir.file("user2.log"));
        return text;
    }

    std::string body() const {
        return m_body ? std::string(m_session->response.view().substr(*m_body))
                      : std::string("<none>");
    }

    std::string hostHeader() const {
        return "Host: 127.0.0.1:" + std::to_string(m_server.port()) + "\r\n";
    }

    MessageCapture m_messages;
    TempDir m_logDir;
    TestHttpServer m_server;
    std::unique_ptr<HttpTestSet> m_set;
    std::unique_ptr<HttpSession> m_session;
    BodyRef m_body;
};

}  // namespace velk::test
