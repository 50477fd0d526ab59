// Each method of the velk object, called by real scripts in real runs against a
// loopback server.  Scripts report what they saw with tell(): a request whose
// target carries the value, read back from what the server received.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>

#include "scripting/script_run.h"

namespace velk::test {
namespace {

// tell(text): one request "/tell?v=<text, URL-encoded>".
const std::string kTell =
    "function tell(s) { velk.SetParam(\"tell\", \"v\", encodeURIComponent(String(s))); "
    "velk.Request(\"tell\"); }\n";
const std::string kTellRequest = "[tell]\n$uri=/tell\n$method=GET\nv=\n";

std::string decode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

class VelkMethods : public ScriptRun {
protected:
    // What the scripts told, in the order the server received it.
    std::vector<std::string> told() const {
        std::vector<std::string> out;
        for (const std::string& t : targets())
            if (t.starts_with("/tell?v=")) out.push_back(decode(t.substr(8)));
        return out;
    }
};

TEST_F(VelkMethods, RequestPerformsRecordsAndCountsOnlySuccesses) {
    ASSERT_EQ(run(kTell + "var a = velk.Request(\"home\");\n"
                          "var b = velk.Request(\"missing\");\n"
                          "var c = velk.Request(\"nosuch\");\n"
                          "var d = velk.Request(\"Home\");\n"
                          "tell([a, b, c, d].join());\n",
                  "timestamp=1\nreportinfo=0\n",
                  "[home]\n$uri=/home\n[missing]\n$uri=/missing\n" + kTellRequest),
              1);
    EXPECT_EQ(targets(), (std::vector<std::string>{"/home", "/missing", "/tell?v=1%2C0%2C0%2C0"}));
    // Unknown names (request names keep their case) record nothing.
    const std::vector<int32_t> r = results(0);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_GE(r[0], 0);
    EXPECT_EQ(r[1], -2);
    EXPECT_GE(r[2], 0);
    EXPECT_TRUE(m_messages.lines().empty());

    // Progress counts successes and has no total.
    auto progress = m_progress.all();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(2, -1));

    TestInfo info{};
    GetInfo(m_set, &info);
    EXPECT_EQ(info.users, 1);
    EXPECT_EQ(info.iterations, -1);
    EXPECT_EQ(info.sequenceLength, 1);
    ASSERT_NE(info.sequenceNames, nullptr);
    EXPECT_STREQ(info.sequenceNames[0], "$inline.js");

    // The report lists the client's results in order, with their clock times.
    const std::string text = report();
    const std::regex clientSection(
        "^--- Client 0 ---\n"
        "home\tIteration start\tIteration "
        "end\t[0-9]+\\.[0-9]{2}\t[0-9]{2}:[0-9]{2}:[0-9]{2}\t[0-9]{2}:[0-9]{2}:[0-9]{2}\n"
        "missing\tIteration start\tIteration "
        "end\tHTTPERR\t[0-9]{2}:[0-9]{2}:[0-9]{2}\t[0-9]{2}:[0-9]{2}:[0-9]{2}\n"
        "tell\tIteration start\tIteration end\t[0-9]+\\.[0-9]{2}\t[0-9:]{8}\t[0-9:]{8}\n"
        "\n--- Errors report ---\n\nTotal 1 error !!!\nHTTP: 1\n\n");
    EXPECT_TRUE(std::regex_search(text, clientSection)) << text;
    EXPECT_EQ(text.find("Basic statistics"), std::string::npos) << text;
    EXPECT_NE(text.find("\n200\t2\n404\t1\n"), std::string::npos) << text;
}

TEST_F(VelkMethods, RequestsOfAScriptWithoutRequestsMakeNoRunAndAReportOfEmptyClients) {
    EXPECT_EQ(run("var x = velk.Request(\"none\");", "clients=2\nreportinfo=0\n"), 0);
    EXPECT_EQ(m_server.requestCount(), 0);
    EXPECT_TRUE(results(0).empty());
    EXPECT_EQ(report().rfind("--- Client 0 ---\n--- Client 1 ---\n", 0), 0u);
}

TEST_F(VelkMethods, ResponseIsTheLastResponseWithItsHeaders) {
    ASSERT_EQ(run(kTell + "tell(velk.Response().length);\n"
                          "velk.Request(\"page\");\n"
                          "var r = velk.Response();\n"
                          "tell(r.split(\"\\r\\n\")[0] + \"|\" + "
                          "r.substr(r.indexOf(\"\\r\\n\\r\\n\") + 4));\n",
                  "", "[page]\n$uri=/page\n" + kTellRequest),
              1);
    EXPECT_EQ(told(), (std::vector<std::string>{"0", "HTTP/1.1 200 OK|echo /page []"}));
}

TEST_F(VelkMethods, SetParamOverridesAndTwoArgumentsRemoveTheOverride) {
    ASSERT_EQ(run(kTell + "var r = [velk.SetParam(\"p\", \"q\", \"new\")];\n"
                          "velk.Request(\"p\");\n"
                          "r.push(velk.SetParam(\"p\", \"q\"));\n"
                          "velk.Request(\"p\");\n"
                          "r.push(velk.SetParam(\"p\", \"q\", 7));\n"
                          "velk.Request(\"p\");\n"
                          "r.push(velk.SetParam(\"nosuch\", \"q\", \"x\"));\n"
                          "tell(r.join());\n",
                  "", "[p]\n$uri=/p\nq=orig\n" + kTellRequest),
              1);
    EXPECT_EQ(targets(), (std::vector<std::string>{"/p?q=new", "/p?q=orig", "/p?q=7",
                                                   "/tell?v=1%2C1%2C1%2C0"}));
}

TEST_F(VelkMethods, ExportedVariablesFollowEachSuccessfulRequest) {
    ASSERT_EQ(run("velk.Request(\"use\");\nvelk.Request(\"first\");\nvelk.Request(\"use\");\n"
                  "velk.Request(\"missing\");\nvelk.Request(\"use\");\n",
                  "",
                  "[first]\n$uri=/first\n$exportvar=got,/echo (\\S+)/,$1\n"
                  "[missing]\n$uri=/missing\n$exportvar=got,/nothing/,x\n"
                  "[use]\n$uri=/use\nv=$var(got,none)\n"),
              1);
    // A failed request leaves the variables as they were.
    EXPECT_EQ(targets(), (std::vector<std::string>{"/use?v=none", "/first", "/use?v=/first",
                                                   "/missing", "/use?v=/first"}));
}

TEST_F(VelkMethods, IsAbortingIsZeroUntilAbortRun) {
    ASSERT_TRUE(
        parse(kTell + "tell(velk.IsAborting());\n"
                      "var n = 0;\n"
                      "while (!velk.IsAborting() && n < 100000) { velk.Request(\"home\"); n++; }\n"
                      "velk.Logit(\"left the loop\");\n"
                      "tell(velk.IsAborting());\n",
              logOptions(), "[home]\n$uri=/home\n" + kTellRequest));
    std::thread runner([this] { RunTest(m_set); });
    ASSERT_TRUE(m_server.waitForRequests(5, 60000));
    AbortRun(m_set);
    runner.join();
    EXPECT_EQ(told(), (std::vector<std::string>{"0", "1"}));
    EXPECT_NE(userLog(0).find("--- notice from script ---\nleft the loop\n"), std::string::npos);
    EXPECT_TRUE(m_messages.lines().empty());
}

TEST_F(VelkMethods, GetOptGivesOptionsByTypeAndTheUserIndex) {
    ASSERT_EQ(
        run(kTell + "var names = [\"clients\", \"clid\", \"CLID\", \"Clid\", \"round\", "
                    "\"method\", \"server\",\n"
                    "  \"keepalive\", \"httperrorsymbol\", \"nosuch\", \"Clients\", \"rate\",\n"
                    "  \"description\", new Array(65).join(\"x\")];\n"
                    "var out = [];\n"
                    "for (var i = 0; i < names.length; i++) {\n"
                    "  var v = velk.GetOpt(names[i]);\n"
                    "  out.push(v === undefined ? \"(none)\" : v);\n"
                    "}\n"
                    "tell(out.join(\"|\"));\n",
            "clients=3\nmethod=POST\nkeepalive=1\ndescription=a shop, at night\n", kTellRequest),
        1);
    std::multiset<std::string> got;
    for (const std::string& t : told()) got.insert(t);
    std::multiset<std::string> expected;
    for (int u = 0; u < 3; ++u) {
        const std::string i = std::to_string(u);
        expected.insert("3|" + i + "|" + i + "|" + i +
                        "|10.000000|POST|127.0.0.1|1|HTTPERR|(none)|(none)|(none)|" +
                        "a shop, at night|(none)");
    }
    EXPECT_EQ(got, expected);
}

TEST_F(VelkMethods, LogitWritesANoticeOnlyWhenTheUserLogs) {
    ASSERT_EQ(
        run("velk.Request(\"home\");\nvelk.Logit(\"first line\\nsecond\");\nvelk.Logit(\"\");\n",
            logOptions(), "[home]\n$uri=/home\n"),
        1);
    const std::string log = userLog(0);
    EXPECT_NE(log.find("--- notice from script ---\nfirst line\nsecond\n--- end of notice ---\n"
                       "--- notice from script ---\n\n--- end of notice ---\n"),
              std::string::npos)
        << log;

    // Without a log the notice goes nowhere (and nothing fails).
    TestSet* quiet = CreateTestSet();
    ASSERT_EQ(
        ParseTest(quiet, "quiet.txt",
                  testText("velk.Logit(\"x\");velk.Request(\"home\");", "", "[home]\n$uri=/home\n")
                      .c_str()),
        1);
    EXPECT_EQ(RunTest(quiet), 1);
    FreeTestSet(quiet);
    size_t logs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
        logs += entry.path().filename().string().starts_with("quiet") ? 1 : 0;
    EXPECT_EQ(logs, 0u);
    EXPECT_TRUE(m_messages.lines().empty());
}

TEST_F(VelkMethods, AddRequestDefinesPlainHttpRequestsOnly) {
    const std::string port = std::to_string(m_server.port());
    ASSERT_EQ(run(kTell +
                      "var r = [velk.AddRequest(\"home\", \"/x\"),\n"
                      "  velk.AddRequest(\"secure\", \"https://127.0.0.1/\"),\n"
                      "  velk.AddRequest(\"ftp\", \"ftp://127.0.0.1/\"),\n"
                      "  velk.AddRequest(\"path\", \"/added?a=1\"),\n"
                      "  velk.AddRequest(\"full\", \"HTTP://127.0.0.1:" +
                      port +
                      "/full\"),\n"
                      "  velk.AddRequest(\"bare\", \"\"),\n"
                      "  velk.AddRequest(\"hostonly\", \"127.0.0.1:" +
                      port +
                      "\"),\n"
                      "  velk.AddRequest(\"path\", \"/again\")];\n"
                      "velk.Request(\"path\"); velk.Request(\"full\"); velk.Request(\"bare\");\n"
                      "velk.Request(\"hostonly\"); velk.Request(\"secure\");\n"
                      "tell(r.join());\n",
                  "uri=/general\nmethod=POST\n", "[home]\n$uri=/home\n" + kTellRequest),
              1);
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 5u);
    // New requests take method (and the rest) from the general options.
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/added?a=1");
    EXPECT_EQ(requests[1].target, "/full");
    EXPECT_EQ(requests[2].target, "/general");
    EXPECT_EQ(requests[3].target, "/general");
    EXPECT_EQ(requests[3].header("Host").rfind("127.0.0.1", 0), 0u);
    EXPECT_EQ(told(), (std::vector<std::string>{"0,0,0,1,1,1,1,0"}));
}

TEST_F(VelkMethods, SetRequestOptChangesTheRequestForGood) {
    ASSERT_EQ(run(kTell + "var r = [velk.SetRequestOpt(\"nosuch\", \"$uri=/x\")];\n"
                          "r.push(velk.SetRequestOpt(\"form\", "
                          "\"$uri=/changed,$method=POST,extra=7,q=over\"));\n"
                          "velk.Request(\"form\"); velk.Request(\"form\");\n"
                          "r.push(velk.SetRequestOpt(\"form\", \"$bogus=1,$uri=/never\"));\n"
                          "r.push(velk.SetRequestOpt(\"form\", \"$method=get)\"));\n"
                          "velk.Request(\"form\");\n"
                          "tell(r.join());\n",
                  "", "[form]\n$uri=/form\nq=orig\n" + kTellRequest),
              1);
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(requests[i].method, "POST");
        EXPECT_EQ(requests[i].target, "/changed");
        EXPECT_EQ(requests[i].body, "q=over&extra=7");
    }
    // An unknown key is refused and ends the list: the uri stays.
    EXPECT_EQ(requests[2].method, "GET");
    EXPECT_EQ(requests[2].target, "/changed?q=over&extra=7");
    EXPECT_EQ(told(), (std::vector<std::string>{"0,1,0,1"}));
}

TEST_F(VelkMethods, AddParamAppendsNewParametersOnly) {
    ASSERT_EQ(run(kTell + "var r = [velk.AddParam(\"nosuch\", \"a\", \"1\"),\n"
                          "  velk.AddParam(\"p\", \"q\", \"dup\"),\n"
                          "  velk.AddParam(\"p\", \"n\", \"added\"),\n"
                          "  velk.AddParam(\"p\", \"s\", \"$seq(1,1,1)\"),\n"
                          "  velk.AddParam(\"p\", \"n\", \"again\")];\n"
                          "velk.Request(\"p\");\n"
                          "tell(r.join());\n",
                  "", "[p]\n$uri=/p\nq=orig\n" + kTellRequest),
              1);
    EXPECT_EQ(targets(),
              (std::vector<std::string>{"/p?q=orig&n=added", "/tell?v=0%2C0%2C1%2C0%2C0"}));
    EXPECT_EQ(m_messages.lines(),
              (std::vector<std::string>{"Error: $seq parameter cannot be created in runtime!"}));
}

TEST_F(VelkMethods, ResetRequestEmptiesOnlyThisUsersRequest) {
    // User 0 resets its copy; user 1's copy (which shares the parsed
    // parameters) keeps them.
    ASSERT_EQ(run("velk.SetParam(\"p\", \"q\", \"over\");\n"
                  "velk.AddParam(\"p\", \"n\", \"1\");\n"
                  "if (velk.GetOpt(\"clid\") == \"0\") { velk.ResetRequest(\"p\"); "
                  "velk.ResetRequest(\"nosuch\"); }\n"
                  "velk.SetRequestOpt(\"p\", \"$uri=/p\" + velk.GetOpt(\"clid\"));\n"
                  "velk.Request(\"p\");\n",
                  "clients=2\n", "[p]\n$uri=/p\nq=orig\nr=2\n"),
              1);
    std::vector<std::string> got = targets();
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"/p0", "/p1?q=over&r=2&n=1"}));
}

TEST_F(VelkMethods, RequestDelayIsSleptAfterTheRequest) {
    ASSERT_EQ(run(kTell + "var t = Date.now();\nvelk.Request(\"slow\");\nvelk.Request(\"slow\");\n"
                          "tell(Date.now() - t);\n",
                  "", "[slow]\n$uri=/slow\n$delay=300-5000\n" + kTellRequest),
              1);
    const std::vector<std::string> t = told();
    ASSERT_EQ(t.size(), 1u);
    // Only the minimum is used; the upper bound is not a script's business.
    EXPECT_GE(std::stoi(t[0]), 600);
}

}  // namespace
}  // namespace velk::test
