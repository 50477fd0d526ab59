// Script errors as a user sees them ("Script Error: (line,col): description"),
// the choice of engine by the script's name, and scripts that cannot be loaded.
#include <gtest/gtest.h>

#include <filesystem>

#include "scripting/script_run.h"

namespace velk::test {
namespace {

class ScriptErrors : public ScriptRun {
protected:
    // Runs text in a test set of its own; the messages it produced.
    std::vector<std::string> runAlone(const std::string& text) {
        m_messages.clear();
        TestSet* set = CreateTestSet();
        EXPECT_EQ(ParseTest(set, "alone.txt", text.c_str()), 1);
        RunTest(set);
        FreeTestSet(set);
        return m_messages.lines();
    }
    std::string general(const std::string& script) const {
        return "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
               "\ndelaystart=0\nscript=" + script + "\n";
    }
};

constexpr const char* kWrongCount =
    "TypeError: Wrong number of arguments or invalid property assignment";

TEST_F(ScriptErrors, WrongArgumentCountsAreScriptErrorsAtTheCallingLine) {
    const char* calls[] = {
        "velk.Request()",
        "velk.Request(\"home\", 2)",
        "velk.Response(1)",
        "velk.SetParam(\"home\")",
        "velk.SetParam(\"a\", \"b\", \"c\", \"d\")",
        "velk.IsAborting(0)",
        "velk.GetOpt()",
        "velk.GetOpt(\"a\", \"b\")",
        "velk.Logit()",
        "velk.AddRequest(\"a\")",
        "velk.SetRequestOpt(\"a\")",
        "velk.AddParam(\"a\", \"b\")",
        "velk.ResetRequest()",
        "velk.ResetRequest(\"a\", \"b\")",
    };
    int before = 0;
    for (const char* call : calls) {
        SCOPED_TRACE(call);
        const std::vector<std::string> lines =
            runAlone(testText(std::string("velk.Request(\"home\");\nvar x =\n  ") + call +
                                  ";\nvelk.Request(\"after\");",
                              "", "[home]\n$uri=/home\n[after]\n$uri=/after\n"));
        EXPECT_EQ(lines,
                  (std::vector<std::string>{std::string("Script Error: (3,0): ") + kWrongCount}));
        // The script ran up to the call and no further.
        before += 1;
        EXPECT_EQ(m_server.requestCount(), before);
        EXPECT_EQ(targets().back(), "/home");
    }
}

TEST_F(ScriptErrors, TextArgumentsMustBeStringsOthersAreConverted) {
    const std::vector<std::string> lines = runAlone(
        testText("velk.SetParam(\"p\", \"q\", 7);\nvelk.SetParam(\"p\", \"r\", undefined);\n"
                 "velk.SetParam(\"p\", \"s\", {toString: function() { return \"obj\"; }});\n"
                 "velk.Request(\"p\");\nvelk.Request(5);\nvelk.GetOpt(5);\nvelk.Request(\"p\");",
                 "", "[p]\n$uri=/p\nq=1\nr=2\ns=3\n"));
    EXPECT_EQ(lines, (std::vector<std::string>{"Script Error: (6,0): TypeError: Type mismatch"}));
    EXPECT_EQ(targets(), (std::vector<std::string>{"/p?q=7&r=&s=obj"}));
}

TEST_F(ScriptErrors, AScriptCanCatchAWrongCall) {
    const std::vector<std::string> lines = runAlone(
        testText("try { velk.AddParam(1); } catch (e) { velk.SetParam(\"p\", \"e\", e.name); }\n"
                 "velk.Request(\"p\");",
                 "", "[p]\n$uri=/p\ne=\n"));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(targets(), (std::vector<std::string>{"/p?e=TypeError"}));
}

TEST_F(ScriptErrors, SyntaxErrorIsReportedWithItsLineAndNothingRuns) {
    const std::vector<std::string> lines = runAlone(
        testText("velk.Request(\"home\");\nvar a = ;\nvelk.Request(\"home\");", "", "[home]\n"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Script Error: (2,0): SyntaxError: ", 0), 0u) << lines[0];
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(ScriptErrors, RunTimeErrorsCarryTheLineOfTheFault) {
    struct Case {
        const char* script;
        const char* message;
    } cases[] = {
        {"velk.Request(\"home\");\nvar y = 1;\nnoSuchFunction();",
         "Script Error: (3,0): ReferenceError: identifier 'noSuchFunction' undefined"},
        {"function f() {\n  throw new Error(\"boom\");\n}\nvelk.Request(\"home\");\nf();",
         "Script Error: (2,0): Error: boom"},
        // A thrown value that is no Error has no line.
        {"velk.Request(\"home\");\nthrow \"plain text\";", "Script Error: (0,0): plain text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(runAlone(testText(c.script, "", "[home]\n")),
                  (std::vector<std::string>{c.message}));
    }
    EXPECT_EQ(m_server.requestCount(), 3);
}

TEST_F(ScriptErrors, LongDescriptionsAreCutToTheirBuffer) {
    const std::vector<std::string> lines =
        runAlone(testText("throw new Error(new Array(401).join(\"x\"));", "", "[home]\n"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Script Error: (1,0): Error: " + std::string(255 - 7, 'x'));
}

TEST_F(ScriptErrors, AnErrorThatCannotBeReadIsNotReported) {
    // Reading the error runs its toString, which throws again.
    const std::vector<std::string> lines = runAlone(testText(
        "velk.Request(\"home\");\nthrow {toString: function() { throw new Error(\"again\"); }};",
        "", "[home]\n"));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(m_server.requestCount(), 1);
}

TEST_F(ScriptErrors, EngineIsChosenByTheFirstExtensionInTheName) {
    const std::string js = "velk.Request(\"home\");\n";
    struct Case {
        std::string name;
        bool runs;
    } cases[] = {
        {"test.js", true},  {"a.js.vbs", true}, {"test.vbs", false},  {"x.pl", false},
        {"x.pl.js", false}, {"test.JS", false}, {"plain.txt", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir.write(c.name, js);
        const int before = m_server.requestCount();
        const std::vector<std::string> said = runAlone(general(path) + "clients=2\n[home]\n");
        EXPECT_EQ(said, c.runs ? std::vector<std::string>{}
                               : std::vector<std::string>{
                                     "Script Error: Failed to create scripting engine: " + path});
        EXPECT_EQ(m_server.requestCount() - before, c.runs ? 2 : 0);
    }
}

TEST_F(ScriptErrors, InlineNamesUseTheScriptSectionAndStillChooseTheEngine) {
    const std::string body = "\n[script]\nvelk.Request(\"home\");\n[/script]\n[home]\n";
    EXPECT_TRUE(runAlone(general("$INLINE.js") + body).empty());
    EXPECT_EQ(m_server.requestCount(), 1);
    EXPECT_EQ(
        runAlone(general("$inline.vbs") + body),
        std::vector<std::string>{"Script Error: Failed to create scripting engine: $inline.vbs"});
    EXPECT_EQ(runAlone(general("$inline") + body),
              std::vector<std::string>{"Script Error: Failed to create scripting engine: $inline"});
    EXPECT_EQ(m_server.requestCount(), 1);
}

TEST_F(ScriptErrors, AScriptThatCannotBeLoadedIsSaidOnceAndAnyBytesLoad) {
    std::filesystem::create_directory(m_dir.file("dir.js"));
    for (const std::string& name : {m_dir.file("missing.js"), m_dir.file("dir.js")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(runAlone(general(name) + "clients=3\n[home]\n"),
                  std::vector<std::string>{"Script Error: Error opening script file: " + name});
    }
    EXPECT_EQ(m_server.requestCount(), 0);
    // Texts are 8-bit: a Latin-1 byte loads, reaches the server as it was written,
    // and a zero byte ends the text.
    std::string text = "velk.AddParam(\"home\", \"w\", \"caf\xe9\");\nvelk.Request(\"home\");\n";
    text += '\0';
    text += "velk.Request(\"home\");";
    EXPECT_TRUE(runAlone(general(m_dir.write("latin1.js", text)) + "clients=2\n[home]\n").empty());
    ASSERT_EQ(m_server.requestCount(), 2);
    EXPECT_EQ(m_server.requests()[0].target, "/?w=caf\xe9");
}

TEST_F(ScriptErrors, DeepRecursionIsAScriptErrorNotACrash) {
    const char* scripts[] = {
        // nested native calls
        "function g(n) { return n == 0 ? 0 : [1].map(function() { return g(n - 1); })[0]; "
        "}\ng(100000);",
        // the compiler
        "eval(\"var x = \" + new Array(20001).join(\"(\") + \"1\" + new Array(20001).join(\")\"));",
        // regular expressions
        "var s = new Array(100001).join(\"ab\");\n/(ab)+/.exec(s);",
        // string conversion
        "function t(n) { return n == 0 ? \"\" : String({toString: function() { return t(n - 1); "
        "}}); }\nt(100000);",
    };
    for (const char* script : scripts) {
        SCOPED_TRACE(script);
        const std::vector<std::string> lines =
            runAlone(testText(std::string(script) + "\nvelk.Request(\"never\");", "", "[never]\n"));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("Script Error: (", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find("RangeError"), std::string::npos) << lines[0];
    }
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(ScriptErrors, ARequestMadeAtTheDeepestPointStillFitsTheStack) {
    // The recursion stops near the end of the stack; the script then sends a
    // request (plain, and through TLS) from there, so the reserve left for
    // velk's own calls is tried in earnest.
    TestHttpServer tlsServer(TestHttpServer::Options{true});
    // A call that is itself refused for lack of stack throws to the level
    // above, which tries it again: each request is made as deep as it can be.
    const std::string js =
        "var todo = [\"plain\", \"tls\"], next = 0;\n"
        "function g() {\n"
        "  try { [1].map(g); } catch (e) {}\n"
        "  if (next < todo.length) { velk.Request(todo[next]); next++; }\n"
        "}\n"
        "g();\n";
    const std::vector<std::string> lines =
        runAlone(testText(js, "",
                          "[plain]\n$uri=/plain\n[tls]\n$uri=/tls\n$secure=2\n$port=" +
                              std::to_string(tlsServer.port()) + "\n"));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(targets(), (std::vector<std::string>{"/plain"}));
    ASSERT_EQ(tlsServer.requestCount(), 1);
    EXPECT_EQ(tlsServer.requests()[0].target, "/tls");
}

}  // namespace
}  // namespace velk::test
