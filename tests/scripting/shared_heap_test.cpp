// Script users as tasks on event loops (the default; VELK_SCRIPT_TASKS=0 in
// the environment of the whole binary is set aside here): the users of a
// loop share one interpreter heap, each in a global environment of its own,
// and take turns.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>

#include "scripting/script_run.h"

namespace velk::test {
namespace {

class SharedHeap : public ScriptRun {
protected:
    // The switch is read when a run starts; no other thread runs here then.
    void SetUp() override {
        if (const char* was = std::getenv("VELK_SCRIPT_TASKS")) m_was = was;
        setenv("VELK_SCRIPT_TASKS", "1", 1);
        ScriptRun::SetUp();
    }
    void TearDown() override {
        ScriptRun::TearDown();
        if (m_was)
            setenv("VELK_SCRIPT_TASKS", m_was->c_str(), 1);
        else
            unsetenv("VELK_SCRIPT_TASKS");
    }
    std::optional<std::string> m_was;
    // A fresh test of js for users on loops event-loop threads.
    bool parseOn(int loops, const std::string& js, const std::string& general) {
        FreeTestSet(m_set);
        m_set = CreateTestSet();
        return parse(js, general, "[p]\n$uri=/p\nu=\n") && SetLoopThreads(m_set, loops) == 1;
    }
    int requestsTo(const std::string& prefix) const {
        int n = 0;
        for (const std::string& t : targets()) n += t.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
};

TEST_F(SharedHeap, UsersOfOneLoopNeitherSeeNorChangeEachOthersGlobals) {
    // Each user leaves its mark on its globals and built-ins, lets the others
    // run (a request parks it), and then finds only its own marks.
    const std::string js =
        "var me = velk.GetOpt(\"clid\");\n"
        "var clean = typeof mark === \"undefined\" && [].tag === undefined &&\n"
        "    Math.max.tag === undefined;\n"
        "var mark = me; Array.prototype.tag = me; Math.PI = me; Function.prototype.tag = me;\n"
        "for (var i = 0; i < 3; i++) velk.Request(\"p\");\n"
        "var ok = clean && mark === me && [].tag === me && Math.PI === 3.141592653589793 &&\n"
        "    Math.max.tag === me && Math.max(1, 2) === 2;\n"
        "velk.SetParam(\"p\", \"u\", (ok ? \"own\" : \"mixed\") + me);\n"
        "velk.Request(\"p\");\n";
    for (int loops : {1, 3}) {
        SCOPED_TRACE(loops);
        const int before = requestsTo("/p?u=own");
        ASSERT_TRUE(parseOn(loops, js, "clients=8\nkeepalive=1\n"));
        ASSERT_EQ(RunTest(m_set), 1);
        EXPECT_EQ(requestsTo("/p?u=own") - before, 8);
        EXPECT_EQ(requestsTo("/p?u=mixed"), 0);
        EXPECT_TRUE(m_messages.lines().empty());
    }
}

TEST_F(SharedHeap, UsersAfterTheFirstRunTheKeptBytecodeWithTheScriptsLines) {
    // The loop's first user compiles the script, the others share its program:
    // their globals are still their own and their errors name the same line.
    ASSERT_TRUE(parseOn(1,
                        "var me = velk.GetOpt(\"clid\");\n"
                        "velk.Request(\"p\"); velk.SetParam(\"p\", \"u\", \"own\" + me); "
                        "velk.Request(\"p\");\n"
                        "if (me != \"0\") null.x;\n",
                        "clients=3\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    for (int u = 0; u < 3; ++u) EXPECT_EQ(requestsTo("/p?u=own" + std::to_string(u)), 1) << u;
    ASSERT_EQ(m_messages.lines().size(), 2u);
    for (const std::string& line : m_messages.lines())
        EXPECT_EQ(line.rfind("Script Error: (3,0): TypeError", 0), 0u) << line;
}

TEST_F(SharedHeap, AHostileScriptEndsItsUserAloneOnItsLoop) {
    // User 0 misbehaves; users 1 to 3 share its one loop and finish their work.
    const struct {
        const char* js;
        const char* message;  // the one message line starts with it (lines from the "if")
    } cases[] = {
        {"var s = \"x\", keep = [];\nfor (;;) { s += s; keep.push(s); }",
         "Script Error: (3,0): Error: alloc failed"},
        {"function f(n) { return f(n + 1) + 1; }\nf(0);", "Script Error: (2,0): RangeError"},
        {"var s = new Array(1 << 20).join(\"ab\");\nwhile (true) s = s + s;",
         "Script Error: (3,0): Error: alloc failed"},
        {"[1, 2].forEach(function() { velk.Request(\"p\"); });\n"
         "[3].map(function() { velk.Request(\"p\"); throw new Error(\"thrown\"); });",
         "Script Error: (3,0): Error: thrown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.js);
        m_messages.clear();
        const std::string js = std::string("if (velk.GetOpt(\"clid\") == \"0\") {\n") + c.js +
                               "\n} else for (var i = 0; i < 3; i++) velk.Request(\"p\");";
        ASSERT_TRUE(parseOn(1, js, "clients=4\n"));
        auto result = std::async(std::launch::async, [this] { return RunTest(m_set); });
        ASSERT_EQ(result.wait_for(std::chrono::seconds(120)), std::future_status::ready);
        EXPECT_EQ(result.get(), 1);
        for (int u = 1; u < 4; ++u) EXPECT_EQ(results(u).size(), 3u) << u;
        ASSERT_EQ(m_messages.lines().size(), 1u);
        EXPECT_EQ(m_messages.lines()[0].rfind(c.message, 0), 0u) << m_messages.lines()[0];
    }
}

TEST_F(SharedHeap, AScriptThatNeverWaitsLetsTheOthersOfItsLoopRunUntilTheAbort) {
    // One loop: user 0 computes for ever, the others still make all their
    // requests; the abort then stops user 0 without a script error.
    ASSERT_TRUE(parseOn(1,
                        "if (velk.GetOpt(\"clid\") == \"0\") { var n = 0; for (;;) n++; }\n"
                        "for (var i = 0; i < 5; i++) velk.Request(\"p\");",
                        "clients=4\n"));
    auto result = std::async(std::launch::async, [this] { return RunTest(m_set); });
    EXPECT_TRUE(m_server.waitForRequests(15, 60000));
    AbortRun(m_set);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(result.get(), 1);
    for (int u = 1; u < 4; ++u) EXPECT_EQ(results(u).size(), 5u) << u;
    EXPECT_TRUE(m_messages.lines().empty());
}

}  // namespace
}  // namespace velk::test
