// What a script may not do to its host: loop around expensive built-ins after
// the run is stopped, take all memory, nest expressions without end, or choke on
// bytes that are no UTF-8; and errors in calls carry their own line.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "scripting/script_run.h"

namespace velk::test {
namespace {

class ScriptLimits : public ScriptRun {};

TEST_F(ScriptLimits, ALoopAroundAnExpensiveBuiltInEndsSoonAfterTheAbort) {
    ASSERT_TRUE(parse("velk.Request(\"home\");\nfor (;;) { new Array(1000001).join(\"x\"); }", "",
                      "[home]\n"));
    auto result = std::async(std::launch::async, [this] { return RunTest(m_set); });
    ASSERT_TRUE(m_server.waitForRequests(1, 60000));
    AbortRun(m_set);
    // Minutes without the clock check; the bound only catches a hang.
    ASSERT_EQ(result.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(result.get(), 1);
    EXPECT_TRUE(m_messages.lines().empty());
}

TEST_F(ScriptLimits, BudgetsEndTheScriptWithAScriptError) {
    std::string nested;
    for (int i = 0; i < 3000; ++i) nested += "$rxname(/a/,n),";
    const struct {
        std::string js;
        const char* message;
    } cases[] = {
        {"var s = \"x\", keep = [];\nfor (;;) { s += s; keep.push(s); }",
         "Script Error: (2,0): Error: alloc failed"},
        {"var ok = velk.AddParam(\"home\", \"p\", \"" + nested +
             "x\");\nvelk.Logit(\"added \" + ok);",
         "Error: $rxname nested deeper than 64 levels"},
        {"velk.Request(\"home\");\nvelk.Bogus();",
         "Script Error: (2,0): TypeError: undefined not callable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.js.substr(0, 60));
        m_messages.clear();
        TestSet* set = CreateTestSet();
        ASSERT_EQ(ParseTest(set, "limits.txt", testText(c.js, "", "[home]\n").c_str()), 1);
        RunTest(set);
        FreeTestSet(set);
        ASSERT_FALSE(m_messages.lines().empty());
        EXPECT_EQ(m_messages.lines()[0].rfind(c.message, 0), 0u) << m_messages.lines()[0];
    }
}

TEST_F(ScriptLimits, ResponsesOfAnyBytesAndMethodNamesOfAnyCase) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.respond(200, std::string("abc\xfe\xff\x80", 6));
    });
    ASSERT_EQ(
        run("velk.request(\"home\");\nvar r = velk.RESPONSE();\n"
            "velk.LOGIT(/abc\\xfe\\xff\\x80$/.test(r) + \" \" + r.charCodeAt(r.length - 1));\n"
            "velk.AddParam(\"home\", \"echo\", r.substr(r.length - 3));\nvelk.Request(\"home\");",
            logOptions(), "[home]\n"),
        1);
    EXPECT_TRUE(m_messages.lines().empty()) << m_messages.last();
    EXPECT_NE(userLog(0).find("true 128"), std::string::npos) << userLog(0).substr(0, 500);
    ASSERT_EQ(m_server.requestCount(), 2);
    EXPECT_EQ(m_server.requests()[1].target, "/?echo=\xfe\xff\x80");
}

}  // namespace
}  // namespace velk::test
