// The host's developer traces, with VELK_TRACE set for this whole test program.
#include <gtest/gtest.h>

#include <cstdlib>

#include "scripting/script_run.h"

namespace velk::test {
namespace {

// Before main: the engine reads VELK_TRACE once, at its first trace.
const bool kTraceOn = ::setenv("VELK_TRACE", "1", 1) == 0;

class HostTraces : public ScriptRun {
protected:
    std::string tracesOf(const std::string& general) {
        TestSet* set = CreateTestSet();
        EXPECT_EQ(ParseTest(set, "traced.txt",
                            ("server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                             "\ndelaystart=0\n" + general)
                                .c_str()),
                  1);
        ::testing::internal::CaptureStderr();
        RunTest(set);
        const std::string traces = ::testing::internal::GetCapturedStderr();
        FreeTestSet(set);
        return traces;
    }
};

TEST_F(HostTraces, ARunTracesEveryStepOfTheHost) {
    ASSERT_TRUE(kTraceOn);
    const std::string traces =
        tracesOf("script=$inline.js\n[script]\nvelk.Request(\"home\");\n[/script]\n[home]\n");
    EXPECT_EQ(traces,
              "CScriptedFrame\n"
              "CScriptedFrame::InitializeScriptedFrame\n"
              "CScriptedFrame::OnStateChange\nState: Initialized.\n"
              "CScriptedFrame::RunScript\n"
              "CVelkObject\n"
              "CScriptedFrame::GetItemInfo\n"
              "CScriptedFrame::OnStateChange\nState: Started.\n"
              "CScriptedFrame::OnStateChange\nState: Connected.\n"
              "CVelkObject::Invoke\n"
              "CScriptedFrame::Close\n"
              "~CVelkObject\n"
              "CScriptedFrame::OnStateChange\nState: Disconnected.\n"
              "CScriptedFrame::OnStateChange\nState: Closed.\n"
              "~CScriptedFrame\n");
    EXPECT_EQ(m_server.requestCount(), 1);
}

TEST_F(HostTraces, FailuresOfTheHostAreTracedAndSaidOnce) {
    struct Case {
        std::string general;
        const char* failure;
    } cases[] = {
        {"script=" + m_dir.file("missing.js") + "\n", "Error opening script file.\n"},
        {"script=test.vbs\n", "Failed to create scripting engine.\n"},
        {"script=x.pl\n", "Failed to create scripting engine.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.general);
        const std::string traces = tracesOf(c.general + "[home]\n");
        EXPECT_NE(traces.find(std::string("CScriptedFrame::InitializeScriptedFrame\n")),
                  std::string::npos);
        EXPECT_NE(traces.find(c.failure), std::string::npos) << traces;
        EXPECT_EQ(traces.find("CScriptedFrame::RunScript\n"), std::string::npos) << traces;
        EXPECT_NE(traces.find("~CScriptedFrame\n"), std::string::npos) << traces;
    }
    EXPECT_EQ(m_server.requestCount(), 0);
    EXPECT_EQ(m_messages.lines().size(), std::size(cases));
}

TEST_F(HostTraces, ScriptErrorsAreTracedBesideTheirMessage) {
    const std::string traces = tracesOf("script=$inline.js\n[script]\nvar a = ;\n[/script]\n");
    EXPECT_NE(traces.find("CScriptedFrame::OnScriptError\nError calling ParseScriptText\n"),
              std::string::npos)
        << traces;
    ASSERT_EQ(m_messages.lines().size(), 1u);
    EXPECT_EQ(m_messages.lines()[0].rfind("Script Error: (1,0): SyntaxError", 0), 0u);
}

}  // namespace
}  // namespace velk::test
