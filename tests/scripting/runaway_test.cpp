// Scripts that do not end by themselves: an abort or maxtime still ends their
// users, cleanly and without a script error.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "scripting/script_run.h"

namespace velk::test {
namespace {

class RunawayScripts : public ScriptRun {
protected:
    // Runs the parsed test on a thread; aborts it once the server has seen a
    // first request; true when the run then ended within the bound.
    bool runAndAbort() {
        auto result = std::async(std::launch::async, [this] { return RunTest(m_set); });
        if (!m_server.waitForRequests(1, 60000)) return false;
        AbortRun(m_set);
        // Generous: the bound only keeps a broken stop from hanging the suite.
        return result.wait_for(std::chrono::seconds(120)) == std::future_status::ready &&
               result.get() == 1;
    }
};

TEST_F(RunawayScripts, ALoopThatNeverAsksIsStoppedByAbortRun) {
    ASSERT_TRUE(
        parse("velk.Request(\"home\");\nvar n = 0;\nwhile (true) { n++; }", "", "[home]\n"));
    EXPECT_TRUE(runAndAbort());
    EXPECT_EQ(results(0).size(), 1u);
    EXPECT_TRUE(m_messages.lines().empty());
}

TEST_F(RunawayScripts, CatchingTheStopDoesNotHelp) {
    ASSERT_TRUE(
        parse("velk.Request(\"home\");\n"
              "for (;;) { try { for (;;) {} } catch (e) {} finally { for (var i = 0; i < 1e6; i++) "
              "{} } }",
              "", "[home]\n"));
    EXPECT_TRUE(runAndAbort());
    EXPECT_TRUE(m_messages.lines().empty());
}

TEST_F(RunawayScripts, ALoopOfRequestsEndsAndKeepsEveryResult) {
    ASSERT_TRUE(parse("for (;;) { velk.Request(\"home\"); }", "", "[home]\n"));
    EXPECT_TRUE(runAndAbort());
    // Each request the server saw was recorded; the user ended cleanly.
    EXPECT_EQ(int(results(0).size()), m_server.requestCount());
    EXPECT_TRUE(m_messages.lines().empty());
    EXPECT_NE(report().find("--- Client 0 ---\nhome\t"), std::string::npos);
}

TEST_F(RunawayScripts, ALoopDeepInNativeCallsIsStoppedToo) {
    ASSERT_TRUE(
        parse("velk.Request(\"home\");\n"
              "function f(n) { if (n > 0) [1].forEach(function() { f(n - 1); }); else for (;;) {} "
              "}\nf(3);",
              "clients=2\n", "[home]\n"));
    EXPECT_TRUE(runAndAbort());
    EXPECT_TRUE(m_messages.lines().empty());
}

TEST_F(RunawayScripts, MaxtimeStopsALoopWithoutAnAbortRun) {
    ASSERT_TRUE(
        parse("velk.Request(\"home\");\nwhile (true) {}", "maxtime=1\nclients=3\n", "[home]\n"));
    auto result = std::async(std::launch::async, [this] { return RunTest(m_set); });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(result.get(), 1);
    for (int u = 0; u < 3; ++u) EXPECT_EQ(results(u).size(), 1u);
    EXPECT_TRUE(m_messages.lines().empty());
}

TEST_F(RunawayScripts, AFinalizerThatLoopsDoesNotHoldUpTheEndOfItsUser) {
    // The script itself ends; its heap's finalizers run when the host closes.
    ASSERT_TRUE(
        parse("var o = {};\nDuktape.fin(o, function() { for (;;) { velk.Request(\"home\"); } });\n"
              "var p = {};\nDuktape.fin(p, function() { for (;;) {} });\n"
              "velk.Request(\"home\");",
              "", "[home]\n"));
    auto result = std::async(std::launch::async, [this] { return RunTest(m_set); });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(result.get(), 1);
}

}  // namespace
}  // namespace velk::test
