// HAR files as browsers save them, damaged and hostile ones, and the
// script-value proposals made from what they hold.
#include "app/recorder/har_import.h"

#include <gtest/gtest.h>

#include <string>

#include "app/recorder/script_values.h"
#include "app/scenario/requests_container.h"
#include "common/status_assert.h"

namespace velk::recorder {
namespace {

struct EntryText {
    std::string url = "http://127.0.0.1:8080/";
    std::string method = "GET";
    std::string type = "document";
    std::string started = "2026-12-10T05:30:00.000Z";
    std::string headers = R"([{"name":"User-Agent","value":"b"},{"name":"X-App","value":"1"}])";
    std::string post = "";  // the postData member, with its comma, or empty
    std::string response =
        R"({"status":200,"headers":[],"content":{"mimeType":"text/html","text":"<title>T</title>"}})";
};

std::string entry(const EntryText& e) {
    return R"({"startedDateTime":")" + e.started + R"(","_resourceType":")" + e.type +
           R"(","request":{"method":")" + e.method + R"(","url":")" + e.url + R"(","headers":)" +
           e.headers + e.post + R"(},"response":)" + e.response + "}";
}

std::string har(const std::string& entries) {
    return R"({"log":{"version":"1.2","creator":{"name":"t"},"entries":[)" + entries + "]}}";
}

TEST(HarImport, DamagedFilesGiveMessagesNamingTheFault) {
    const std::string longValue(9000, 'v');
    const std::string nested = std::string(200, '[') + std::string(200, ']');
    struct Case {
        std::string text, expected;
    } cases[] = {
        {"GET / HTTP/1.1", "not a HAR file: "},
        {nested, "not a HAR file: "},
        {R"({"log":{"version":"1.3","entries":[]}})", "log.version is 1.3, not 1.2"},
        {R"({"log":{"entries":[]}})", "log.version is missing"},
        {R"({"log":{"version":"1.2"}})", "log.entries is missing or not a list"},
        {har("{}"), "entry 1: startedDateTime is missing"},
        {har(R"({"startedDateTime":"2026-12-10T05:30:00Z","response":{}})"),
         "entry 1: request is missing"},
        {har(entry({.started = "yesterday"})), "entry 1: startedDateTime yesterday is not a time"},
        {har(entry({.started = "2026-13-40T25:00:00Z"})), "is not a time"},
        {har(entry({}) + "," + entry({.url = "http://h/" + longValue})),
         "entry 2: request.url is longer than 8192 bytes"},
        {har(entry({.headers = R"([{"name":"X","value":")" + longValue + R"("}])"})),
         "entry 1: request.headers is longer than 8192 bytes"},
        {har(entry({.headers = R"([{"name":"X","value":"a\r\nEvil: 1"}])"})),
         "request.headers X holds a line break"},
        {har(entry({.post = R"(,"postData":{"text":)" + std::string("\"") +
                            std::string(kMaxHarRequestBody + 1, 'b') + "\"}"})),
         "request.postData.text is longer than 1048576 bytes"},
        {har(entry({.response = R"({"headers":[]})"})),
         "entry 1: response.status is missing or not a status"},
        {har(entry({.response = R"({"status":-5})"})), "response.status is missing"},
        {har(entry({.url = "data:text/plain,hi"}) + "," + entry({.url = "blob:x"})),
         "the file holds no HTTP request to replay"},
    };
    for (const Case& c : cases) {
        const StatusOr<HarVisit> visit = readHar(c.text, false);
        const std::string& error = visit.status().message();
        EXPECT_EQ(visit.status().code(), StatusCode::kInvalid) << c.expected;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST(HarImport, KeepsNavigationsAndScriptRequestsWithTheHeadersThatMatter) {
    const std::string entries =
        entry({}) + "," +
        entry({.url = "http://127.0.0.1:8080/logo.png",
               .type = "image",
               .started = "2026-12-10T05:30:01.000Z"}) +
        "," +
        entry({.url = "ws://127.0.0.1:8080/live",
               .type = "websocket",
               .started = "2026-12-10T05:30:01.500Z"}) +
        "," +
        entry({.url = "http://127.0.0.1:8080/api/save#top",
               .method = "post",
               .type = "fetch",
               // Earlier than the one before: no pause, not a negative one.
               .started = "2026-12-10T06:30:04.000+01:00",
               .headers =
                   R"([{"name":"Cookie","value":"s=1"},{"name":"sec-fetch-mode","value":"cors"},)"
                   R"({"name":"Content-Type","value":"application/json"},)"
                   R"({"name":"X-CSRF-Token","value":"abc"}])",
               .post = R"(,"postData":{"mimeType":"application/json","text":"{\"a\":\n1}"})"}) +
        "," +
        entry({.url = "http://127.0.0.1:8080/next$x", .started = "2026-12-10T05:30:03.000Z"}) +
        "," +
        entry({.url = "http://127.0.0.1:8080/steal",
               .type = "fetch",
               .headers = R"x([{"name":"X-A","value":"$File(/etc/passwd)"}])x"});
    const StatusOr<HarVisit> read = readHar(har(entries), false);
    ASSERT_TRUE(velk::test::isOk(read));
    const HarVisit& visit = *read;
    ASSERT_EQ(visit.entries.size(), 3u);
    EXPECT_EQ(visit.staticLeftOut, 1);
    ASSERT_EQ(visit.notes.size(), 2u);
    EXPECT_NE(visit.notes[0].find("entry 3 not recorded: a WebSocket"), std::string::npos);
    // A recorded text that the replay would run as an expression is never imported.
    EXPECT_NE(visit.notes[1].find("entry 6 left out: its headers or body hold"), std::string::npos);
    EXPECT_EQ(visit.entries[2].exchange.url, "http://127.0.0.1:8080/next%24x");
    const ScriptExchange& save = visit.entries[1].exchange;
    EXPECT_EQ(save.method, "POST");
    EXPECT_EQ(save.url, "http://127.0.0.1:8080/api/save");
    EXPECT_EQ(save.headers, (HeaderList{{"X-CSRF-Token", "abc"}}));
    EXPECT_EQ(save.contentType, "application/json");
    EXPECT_EQ(visit.entries[1].pauseSeconds, 4);
    EXPECT_EQ(visit.entries[2].pauseSeconds, 0);
    EXPECT_EQ(visit.entries[0].exchange.headers, (HeaderList{{"X-App", "1"}}));

    const StatusOr<HarVisit> withStatic = readHar(har(entries), true);
    ASSERT_TRUE(velk::test::isOk(withStatic));
    EXPECT_EQ(withStatic->entries.size(), 4u);
}

// The replay follows redirects itself: a redirect and the request that
// followed it become one request with the final answer.
TEST(HarImport, ARedirectAndTheRequestFollowingItAreOneRequest) {
    const std::string redirect =
        R"({"status":302,"headers":[{"name":"Location","value":"home?x=1"},)"
        R"({"name":"Set-Cookie","value":"s=abc"}],"content":{"mimeType":"text/html","text":""}})";
    const std::string entries =
        entry({.url = "http://h/app/login", .method = "POST", .response = redirect}) + "," +
        entry({.url = "http://h/app/home?x=1"}) + "," + entry({.url = "http://h/app/home?x=1"});
    const StatusOr<HarVisit> read = readHar(har(entries), false);
    ASSERT_TRUE(velk::test::isOk(read));
    const HarVisit& visit = *read;
    ASSERT_EQ(visit.entries.size(), 2u);
    EXPECT_EQ(visit.entries[0].redirectedTo, "/app/home");
    EXPECT_EQ(visit.entries[0].exchange.status, 200);
    EXPECT_EQ(visit.entries[0].exchange.responseBody, "<title>T</title>");
    EXPECT_EQ(visit.entries[0].exchange.responseHeaders.size(), 2u);
    EXPECT_EQ(visit.entries[1].redirectedTo, "");
}

ScriptExchange exchange(std::string method, std::string url, HeaderList headers, std::string body,
                        std::string responseType, std::string responseBody,
                        HeaderList responseHeaders = {}) {
    static int32_t id = 0;
    ScriptExchange e;
    e.requestId = ++id;
    e.method = std::move(method);
    e.url = std::move(url);
    e.headers = std::move(headers);
    e.body = std::move(body);
    e.contentType = e.body.empty() ? "" : "application/json";
    e.status = 200;
    e.responseType = std::move(responseType);
    e.responseBody = std::move(responseBody);
    e.responseHeaders = std::move(responseHeaders);
    return e;
}

TEST(ScriptValues, ProposesOnlyValuesAPageGaveOutThatChangeAndNeverTypedOnes) {
    const std::string token = "0f3a9c1b2d4e5f60718293a4b5c6d7e8";
    std::vector<ScriptExchange> visit = {
        exchange("GET", "http://h/", {}, "", "text/html",
                 R"(<meta name="csrf-token" content="c0ffee00c0ffee00c0ffee">)",
                 {{"Set-Cookie", "XSRF-TOKEN=77aa88bb99cc00dd11ee; Path=/"},
                  // A name that would add an expression of its own is never taken.
                  {"Set-Cookie", "a)$File(/etc/passwd=99aa88bb77cc66dd55ee"}}),
        exchange(
            "POST", "http://h/api/login",
            {{"X-CSRF-Token", "c0ffee00c0ffee00c0ffee"}, {"X-XSRF-TOKEN", "77aa88bb99cc00dd11ee"}},
            R"({"user":"ann","password":"secret"})", "application/json",
            R"({"token":")" + token + R"(","user":"ann","id":7,"word":"abcdefghijklmnopqrs"})"),
        exchange("GET", "http://h/api/orders?id=7&who=ann&w=abcdefghijklmnopqrs",
                 {{"Authorization", "Bearer " + token}}, "", "application/json", "{}"),
    };
    const std::vector<ScriptValueProposal> found = proposeScriptValues(visit);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "X-CSRF-Token");
    EXPECT_EQ(found[0].expression, "$Meta(csrf-token)");
    EXPECT_EQ(found[1].expression, "$Cookie(XSRF-TOKEN)");
    EXPECT_EQ(found[2].name, "Authorization");
    EXPECT_EQ(found[2].expression, "$var(token)");
    EXPECT_EQ(found[2].sourceName, "token");
    EXPECT_EQ(found[2].origin, "JSON field token of the answer to POST http://h/api/login");
    EXPECT_NE(found[2].rule.find("looks generated"), std::string::npos);
    // "ann" was typed; 7 and the word look like no generated value, but 7 differs
    // in a second load of the same visit.
    std::vector<ScriptExchange> again = visit;
    again[1].responseBody = R"({"token":"x","user":"ann","id":8,"word":"abcdefghijklmnopqrs"})";
    const std::vector<ScriptValueProposal> twice = proposeScriptValues(visit, &again);
    ASSERT_EQ(twice.size(), 4u);
    EXPECT_EQ(twice[3].name, "id");
    EXPECT_EQ(twice[3].expression, "$var(id)");
    EXPECT_EQ(twice[3].rule, "differs between two loads of the page");
}

// A Location that names a new item is kept by the answering request and read
// where a later request sends it, its URL included; a redirect's is not (the
// engine follows it), nor one whose path ends in no id.
TEST(ScriptValues, LocationOfACreatedItemIsKeptAndReadWhereItIsSent) {
    std::vector<ScriptExchange> visit = {
        exchange("POST", "http://h/api/orders", {}, R"({"item":"pen"})", "application/json", "{}",
                 {{"Location", " /api/orders/42 "}}),
        exchange("GET", "http://h/api/orders/42#top", {{"X-Order", "/api/orders/42"}}, "",
                 "application/json", "{}"),
        exchange("POST", "http://h/go", {}, "", "text/html", "", {{"Location", "/api/orders/43"}}),
        exchange("POST", "http://h/go2", {}, "", "text/html", "", {{"Location", "/api/done"}}),
        exchange("GET", "http://h/api/orders/43", {{"X-A", "/api/orders/43"}, {"X-B", "/api/done"}},
                 "", "application/json", "{}"),
    };
    visit[2].status = 302;
    for (int32_t i = 0; i < int32_t(visit.size()); ++i) visit[size_t(i)].requestId = i + 1;
    const std::vector<ScriptValueProposal> found = proposeScriptValues(visit);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].place, ScriptValueProposal::Place::Header);
    EXPECT_EQ(found[1].place, ScriptValueProposal::Place::Url);
    for (const ScriptValueProposal& p : found) {
        EXPECT_EQ(p.source, ScriptValueProposal::Source::Location);
        EXPECT_EQ(p.sourceRequestId, 1);
        EXPECT_EQ(p.expression, "$var(location)");
        EXPECT_EQ(p.origin, "Location header of the answer to POST http://h/api/orders");
        EXPECT_EQ(p.rule.rfind("Location", 0), 0u) << p.rule;
    }

    scenario::CRequestsContainer requests;
    scenario::CRequest::resetIdCounter();
    for (const char* url : {"http://h/api/orders", "http://h/api/orders/42"}) {
        auto r = std::make_unique<scenario::CRequest>();
        r->setUrl(url);
        requests.addChild(0, std::move(r));
    }
    {
        std::lock_guard<scenario::CRequestsContainer> g(requests);
        auto header = std::make_unique<scenario::CReqParam>();
        header->setNameAndEncode(kHeaderParam, false);
        auto f = std::make_unique<scenario::CReqParamFunction>();
        f->makeLiteral("X-Order: /api/orders/42");
        header->insert(-1, std::move(f));
        requests.findNode(2)->request->insertParam(-1, std::move(header));
    }
    EXPECT_EQ(applyScriptValues(requests, found), 2);
    std::lock_guard<scenario::CRequestsContainer> g(requests);
    const auto all = requests.flattened();
    ASSERT_EQ(all.size(), 2u);
    ASSERT_EQ(all[0]->paramCount(), 1);
    EXPECT_EQ(all[0]->getParam(0)->getName(), kExportHeaderParam);
    EXPECT_EQ(all[0]->getParam(0)->buildValue(false, '&'), "location,Location");
    EXPECT_EQ(all[1]->getUri(), "$var(location)");
    EXPECT_EQ(all[1]->getParam(0)->buildValue(false, '&'), "X-Order: $var(location)");
}

}  // namespace
}  // namespace velk::recorder
