// What parameter expressions yield in real runs: the bytes the server received
// from several users over several iterations.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>

#include "common/message_capture.h"
#include "common/temp_dir.h"
#include "support/http_text.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::test {
namespace {

std::string readLog(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The query parameters of a request target, in order.
std::vector<std::pair<std::string, std::string>> queryOf(const std::string& target) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t q = target.find('?');
    if (q == std::string::npos) return out;
    std::string rest = target.substr(q + 1);
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t amp = rest.find('&', pos);
        std::string item =
            rest.substr(pos, amp == std::string::npos ? std::string::npos : amp - pos);
        size_t eq = item.find('=');
        out.emplace_back(item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
        if (amp == std::string::npos) break;
        pos = amp + 1;
    }
    return out;
}

class ParamRun : public ::testing::Test {
protected:
    void SetUp() override {
        SetOutFunc(&m_messages, MessageCapture::sink);
        SetProgressReporter(nullptr, nullptr);
        m_set = CreateTestSet();
    }
    void TearDown() override {
        FreeTestSet(m_set);
        SetOutFunc(nullptr, nullptr);
    }
    void run(const std::string& script) {
        const std::string text = "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                                 "\ndelaystart=0\nkeepalive=1\n" + script;
        ASSERT_EQ(ParseTest(m_set, "params", text.c_str()), 1) << m_messages.last();
        ASSERT_EQ(RunTest(m_set), 1) << m_messages.last();
    }
    // Requests of one user (told apart by the parameter "who" = $clid()).
    std::vector<ReceivedRequest> of(const std::string& who) {
        std::vector<ReceivedRequest> out;
        for (const ReceivedRequest& r : m_server.requests())
            for (const auto& [k, v] : queryOf(r.target + "?" + r.body))
                if (k == "who" && v == who) out.push_back(r);
        return out;
    }
    std::string param(const ReceivedRequest& r, const std::string& name) {
        for (const auto& [k, v] : queryOf(r.target))
            if (k == name) return v;
        return "<absent>";
    }

    MessageCapture m_messages;
    TestHttpServer m_server;
    TestSet* m_set = nullptr;
};

TEST_F(ParamRun, CountersPicksAndUserNumbersPerUser) {
    run("clients=2\nrequests=3\n[a]\nwho=$clid()\ns=$Seq(user,001)\nt=$Seq(id,1,100)\nk=$seq(k)\n"
        "l=$list(a,\"b,c\")\nc=$clid(u,_a)\nm=1&$clid(u)\ne=$enc<<a b/c\xe9\nd=$$x\n");
    for (int user = 0; user < 2; ++user) {
        auto requests = of(std::to_string(user));
        ASSERT_EQ(requests.size(), 3u) << user;
        for (int i = 0; i < 3; ++i) {
            const ReceivedRequest& r = requests[size_t(i)];
            EXPECT_EQ(param(r, "s"), "user00" + std::to_string(i + 1));
            EXPECT_EQ(param(r, "t"), "id" + std::to_string(1 + user * 100 + i));
            EXPECT_EQ(param(r, "k"), "k" + std::to_string(i));
            EXPECT_EQ(param(r, "l"), i % 2 == 0 ? "a" : "b,c");  // a quoted item keeps its comma
            EXPECT_EQ(param(r, "c"), "u" + std::to_string(user) + "_a");
            EXPECT_EQ(param(r, "m"), "1u" + std::to_string(user));
            EXPECT_EQ(param(r, "e"), "a%20b%2Fc%E9");
            EXPECT_EQ(param(r, "d"), "$x");
        }
    }
}

TEST_F(ParamRun, RandomValuesStayInTheirRanges) {
    run("clients=2\nrequests=20\n[a]\nwho=$clid()\nn=$NRand(1,10)\nf=$NRand(0.5,3.5)\nx=$NRand(5,5,"
        "id)\n"
        "r=$ARand(8,8)\nq=$ARand(4,8)\np=$LRand(x,y,z)\n");
    std::map<std::string, int> picks;
    for (const ReceivedRequest& r : m_server.requests()) {
        int n = std::stoi(param(r, "n"));
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 9);
        const std::string f = param(r, "f");
        EXPECT_TRUE(f == "0.5000" || f == "1.5000" || f == "2.5000") << f;
        EXPECT_EQ(param(r, "x"), "id5");
        EXPECT_EQ(param(r, "r").size(), 8u);
        EXPECT_GE(param(r, "q").size(), 4u);
        EXPECT_LE(param(r, "q").size(), 7u);
        for (char c : param(r, "r")) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)));
        ++picks[param(r, "p")];
    }
    EXPECT_EQ(m_server.requestCount(), 40);
    for (const auto& [value, count] : picks)
        EXPECT_TRUE(value == "x" || value == "y" || value == "z") << value;
}

TEST_F(ParamRun, UsersSharingOneLoopDrawDifferentRandomValues) {
    EXPECT_EQ(SetLoopThreads(m_set, 2000), 0);
    ASSERT_EQ(SetLoopThreads(m_set, 1), 1);
    run("clients=4\nrequests=1\n[a]\nwho=$clid()\nr=$ARand(16,16)\n");
    std::set<std::string> drawn;
    for (const ReceivedRequest& r : m_server.requests()) drawn.insert(param(r, "r"));
    EXPECT_EQ(m_server.requestCount(), 4);
    EXPECT_EQ(drawn.size(), 4u);
}

TEST_F(ParamRun, ValuesCarriedFromResponsesToLaterRequests) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        // A 201 answer is read as a 200 is: its body feeds $exportvar and the values.
        if (req.target.starts_with("/form"))
            r.respond(201, "<input name=\"token\" value=\"T123\"><b id=\"field\">qty</b>");
        else
            r.respond(200, "nothing here");
    });
    run("requests=2\n[form]\n$uri=/form\n$exportvar=token,/name=\"token\" "
        "value=\"(\\w+)\"/,tok-$1$$\n"
        "[use]\n$uri=/use\nv=$var(token,none)\ng=$RegExp(/value=\"(\\w+)\"/,[$1])\n"
        "n=$rxname(/id=\"(\\w+)\"/,$1),5\n[after]\n$uri=/after\nv=$var(token,none)\n"
        "g=$RegExp(/value=\"(\\w+)\"/,[$1])\n$exportvar=token,/T(\\d+)/,$1\n[last]\n$uri=/"
        "last\nv=$var(token,none)\n");
    auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 8u);
    EXPECT_EQ(requests[1].target, "/use?v=tok-T123$&g=[T123]&field=5");
    // The page after has no token: $RegExp yields nothing, and the export that no
    // longer matches removes the variable.
    EXPECT_EQ(requests[2].target, "/after?v=tok-T123$&g=");
    EXPECT_EQ(requests[3].target, "/last?v=none");
}

TEST_F(ParamRun, LinkParametersAndHiddenFieldsOfThePreviousPage) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/page")
            r.respond(200,
                      "<a href=\"/product?id=42&amp;x=1\">p</a>"
                      "<form><input type=\"hidden\" name=\"token\" value=\"a b&amp;c\"></form>");
        else
            r.respond(200, "plain");
    });
    run("[page]\n$uri=/page\n[use]\n$uri=/use\nid=$UrlParam\nt=$Hidden(token)\n[again]\n$uri=/"
        "again\nid=$UrlParam\n");
    auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].target, "/use?id=42&t=a%20b%26c");
    EXPECT_EQ(requests[2].target, "/again?id=");  // the page before had no such link
}

// A meta tag's content and a stored cookie reach header lines, bodies and
// parameters; a tag or cookie that is not there gives nothing.
TEST_F(ParamRun, MetaTagsAndCookiesOfTheUserReachHeadersAndBodies) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/page")
            r.respond(200,
                      "<html><head><meta charset=utf-8><META content='a+b&amp;c' "
                      "Name=\"csrf-token\"/></head></html>",
                      "Set-Cookie: XSRF-TOKEN=x%2By; Path=/\r\n");
        else
            r.respond(200, "plain");
    });
    run("[page]\n$uri=/page\n[use]\n$method=POST\n$uri=/use\n"
        "$header=X-CSRF-Token: $Meta(csrf-token)\n$header=X-XSRF-TOKEN: $Cookie(XSRF-TOKEN)\n"
        "$header=X-None: [$Meta(other)$Cookie(other)]\n$content=<<END\nt=$Meta(csrf-token)\nEND\n"
        "[form]\n$uri=/form\nm=$Meta(csrf-token)\nc=$Cookie(XSRF-TOKEN)\n");
    auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].header("X-CSRF-Token"), "a+b&c");
    EXPECT_EQ(requests[1].header("X-XSRF-TOKEN"), "x%2By");
    EXPECT_EQ(requests[1].header("X-None"), "[]");
    EXPECT_EQ(requests[1].body, "t=a%2Bb%26c\n");
    // The page before /form was plain: no meta tag; the cookie is still the user's.
    EXPECT_EQ(requests[2].target, "/form?m=&c=x%2By");
}

TEST_F(ParamRun, FailChecksAndFileUploads) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        r.respond(200, req.target == "/bad" ? "Login failed" : "Welcome back");
    });
    TempDir dir;
    const std::string file = dir.write("up.txt", "file bytes\x01\x02");
    run("[plain]\n$uri=/bad\n$fail=/failed/i\n[inverted]\n$uri=/good\n$fail=!/Welcome/\n"
        "[missing]\n$uri=/good\n$fail=!/Goodbye/\n[upload]\n$uri=/up\nnote=hi\ndoc=$File(" +
        file + ",text/plain)\ngone=$File(" + dir.file("none.bin") + ")\n");
    auto** rows = static_cast<int32_t**>(GetResults(m_set, 0));
    EXPECT_EQ(rows[0][0], -3);
    EXPECT_GE(rows[1][0], 0);
    EXPECT_EQ(rows[2][0], -3);
    EXPECT_GE(rows[3][0], 0);
    const ReceivedRequest upload = m_server.requests()[3];
    EXPECT_EQ(upload.method, "POST");
    EXPECT_NE(upload.header("Content-Type").find("multipart/form-data; boundary="),
              std::string::npos);
    EXPECT_NE(upload.body.find("Content-Disposition: form-data; name=\"doc\"; filename=\"" + file +
                               "\"\r\nContent-Type: text/plain\r\n\r\nfile bytes\x01\x02\r\n"),
              std::string::npos)
        << upload.body;
    EXPECT_NE(upload.body.find("name=\"gone\"; filename=\"" + dir.file("none.bin") +
                               "\"\r\nContent-Type: application/octet-stream\r\n\r\n\r\n"),
              std::string::npos)
        << upload.body;
    EXPECT_NE(upload.body.find("name=\"note\"\r\n\r\nhi\r\n"), std::string::npos);
}

TEST_F(ParamRun, RawContentIsRebuiltForEveryRequest) {
    run("clients=2\nrequests=2\n[xml]\n$uri=/ws\n$header=Content-Type: text/xml\n$content=<<END\n"
        "<n user=\"$clid(u)\">$Seq(,1)</n> & more\nEND\n");
    std::vector<std::string> bodies;
    for (const ReceivedRequest& r : m_server.requests()) bodies.push_back(r.body);
    std::sort(bodies.begin(), bodies.end());
    EXPECT_EQ(bodies, (std::vector<std::string>{
                          "<n user=\"u0\">1</n> & more\n", "<n user=\"u0\">2</n> & more\n",
                          "<n user=\"u1\">1</n> & more\n", "<n user=\"u1\">2</n> & more\n"}));
}

// Values of a JSON answer reach the next request's parameters, uri, header
// lines and body; $exportjson keeps one for every later request, $exportheader
// the answer's Location (an answer without it removes the variable); a token that
// would add a header line of its own cannot.
TEST_F(ParamRun, JsonValuesReachParametersUriHeadersAndBodies) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target.starts_with("/login"))
            r.respond(201,
                      R"({"token":"tok-)" + req.header("X-Who") +
                          R"(\r\nX-Evil: 1","data":{"items":[{"id":5},{"id":"a\u00e9"}]},)"
                          R"("a":{"b c":[1,2]}})",
                      "Content-Type: application/json\r\nLocation:  /api/orders/42 \r\n");
        else if (req.target.starts_with("/orders/") || req.target == "/api/orders/42")
            r.respond(200, R"({"name":"N \"q\"","id":12})");
        else
            r.respond(200, "<html>not JSON</html>");
    });
    TempDir dir;
    run("clients=2\nencodevalues=1\nlog=1\nlogdir=" + dir.path().string() +
        "\n[login]\n$uri=/login\n$header=X-Who: $clid(u)\n$exportjson=token,token\n"
        "$exportheader=loc,LOCATION\n"
        "[list]\n$uri=/orders/$Json(data.items[0].id)/lines\n"
        "$header=Authorization: Bearer $var(token)\n$header=X-Pair: $Json($.a[\"b c\"])\n"
        "$header=X-Loc: $var(loc)\nwho=$clid(u)\nname=$Json(data.items[1].id)\n"
        "[order]\n$uri=$var(loc)\n$exportheader=loc,Location\n"
        "[create]\n$uri=/create\n$header=Content-Type: application/json\n$content=<<END\n"
        "{\"name\":\"$Json(name)\",\"id\":$Json(id),\"t\":\"$var(token)\"}\nEND\n"
        "[after]\n$uri=/after\nv=$Json(id)\nt=$var(token,none)\nl=$var(loc,gone)\n");
    for (const std::string who : {"u0", "u1"}) {
        SCOPED_TRACE(who);
        const std::vector<ReceivedRequest> list = of(who);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].target, "/orders/5/lines?who=" + who + "&name=a%C3%A9");
        EXPECT_EQ(list[0].header("Authorization"), "Bearer tok-" + who + "X-Evil: 1");
        EXPECT_FALSE(list[0].hasHeader("X-Evil"));
        EXPECT_EQ(list[0].header("X-Pair"), "[1,2]");
        EXPECT_EQ(list[0].header("X-Loc"), "/api/orders/42");
    }
    std::set<std::string> bodies, afters;
    size_t orders = 0;
    for (const ReceivedRequest& r : m_server.requests()) {
        orders += r.target == "/api/orders/42";
        if (r.target == "/create") bodies.insert(r.body);
        if (r.target.starts_with("/after")) afters.insert(r.target);
    }
    EXPECT_EQ(bodies, (std::set<std::string>{
                          "{\"name\":\"N \"q\"\",\"id\":12,\"t\":\"tok-u0\r\nX-Evil: 1\"}\n",
                          "{\"name\":\"N \"q\"\",\"id\":12,\"t\":\"tok-u1\r\nX-Evil: 1\"}\n"}));
    EXPECT_EQ(orders, 2u);
    // After an answer that is no JSON, $Json gives nothing and the log says why.
    EXPECT_EQ(afters, (std::set<std::string>{"/after?v=&t=tok-u0%0D%0AX-Evil:%201&l=gone",
                                             "/after?v=&t=tok-u1%0D%0AX-Evil:%201&l=gone"}));
    const std::string log = readLog(dir.file("params-2x1-user1.log"));
    EXPECT_NE(log.find("JSON: the body is not JSON the path id can be read in: not a JSON value"),
              std::string::npos)
        << log.substr(0, 3000);
}

// Values at the ends of the int32 range, and a $fail pattern that gives up its work
// limit: defined results (the sanitizer builds stop on overflow), no silent pass.
TEST_F(ParamRun, RangeEndsAndWorkLimitsGiveDefinedResults) {
    m_server.setHandler(
        [](const ReceivedRequest&, Responder& r) { r.respond(200, std::string(40, 'a')); });
    TempDir dir;
    run("requests=2\nignoreerrors=1\nlog=1\nlogdir=" + dir.path().string() +
        "\n[a]\ns=$Seq(s,2147483647)\nr=$ARand(-2147483648,2147483647)\n$fail=/(a|a)*b/\n");
    auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(param(requests[0], "s"), "s2147483647");
    EXPECT_EQ(param(requests[1], "s"), "s-2147483648");
    EXPECT_EQ(param(requests[0], "r"), "");
    auto** rows = static_cast<int32_t**>(GetResults(m_set, 0));
    EXPECT_EQ(rows[0][0], -3);
    EXPECT_EQ(rows[0][1], -3);
    const std::string log = readLog(dir.file("params-1x2-user1.log"));
    EXPECT_NE(log.find("$fail pattern of a gave up at its work limit"), std::string::npos)
        << log.substr(0, 2000);
}

TEST_F(ParamRun, SequenceArgumentsCannotMakeCounters) {
    run("[a]\n[testseq]\na(\"x=$Seq(k,1)\")\n");
    EXPECT_EQ(m_messages.last(), "Error: $seq parameter cannot be created in runtime!");
    EXPECT_EQ(m_server.requests()[0].target, "/");
}

}  // namespace
}  // namespace velk::test
