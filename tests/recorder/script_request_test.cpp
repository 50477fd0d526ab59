// What a page's script request becomes in the scenario, and how the script
// generator writes a body sent as written.
#include "app/recorder/script_request.h"

#include <gtest/gtest.h>

#include <mutex>

#include "app/scenario/requests_container.h"
#include "app/scenario/script_generator.h"
#include "common/status_assert.h"

namespace velk::recorder {
namespace {

using Body = ScriptRequest::Body;

// The pairs as "name=value" lines, for comparing at a glance.
std::string pairsOf(const scenario::RecordedNavigation& n) {
    std::string out;
    for (const auto& [name, value] : n.pairs) out += name + "=" + value + "|";
    return out;
}

TEST(ScriptRequest, BecomesARecordedNavigationThatReplaysTheSameCall) {
    struct Row {
        const char* method;
        const char* url;
        std::vector<std::pair<std::string, std::string>> headers;
        Body body;
        const char* text;
        int32_t wantMethod, wantSecure;
        const char *wantUrl, *wantType, *wantPairs;
    };
    const Row rows[] = {
        // A verb the scenario does not know is POST, as the engine reads it.
        {"PROPFIND",
         "http://h/dav?d=1",
         {},
         Body::kText,
         "<x/>",
         2,
         1,
         "http://h/dav?d=1",
         "text/plain;charset=UTF-8",
         "$content=<<VELK_BODY_END\r\n<x/>\r\nVELK_BODY_END|"},
        // A header line that would add lines to the script is not kept.
        {"GET",
         "https://h/a?x=1",
         {{"X-Bad", "a\r\nHost: evil"}, {"X-Ok", "1"}},
         Body::kNone,
         "",
         1,
         2,
         "https://h/a",
         "text/html",
         "$header=X-Ok: 1|x=1|"},
        {"DELETE",
         "http://h/i/3?soft=1",
         {},
         Body::kNone,
         "",
         5,
         1,
         "http://h/i/3?soft=1",
         "text/html",
         ""},
        {"POST", "http://h/big", {}, Body::kTooLarge, "", 2, 1, "http://h/big", "text/html", ""},
        {"POST",
         "ftp://h/f",
         {},
         Body::kText,
         "x",
         2,
         0,
         "ftp://h/f",
         "text/plain;charset=UTF-8",
         "$content=<<VELK_BODY_END\r\nx\r\nVELK_BODY_END|"},
    };
    for (const Row& row : rows) {
        ScriptRequest r;
        r.method = row.method;
        r.url = row.url;
        r.headers = row.headers;
        r.body = row.body;
        r.text = row.text;
        const scenario::RecordedNavigation n = scriptRequestNavigation(r);
        SCOPED_TRACE(row.url);
        EXPECT_EQ(n.method, row.wantMethod);
        EXPECT_EQ(n.secure, row.wantSecure);
        EXPECT_EQ(n.url, row.wantUrl);
        EXPECT_EQ(n.contentType, row.wantType);
        EXPECT_EQ(pairsOf(n), row.wantPairs);
    }
}

TEST(ScriptRequest, BodyIsWrittenAsAContentBlockTheBodyCannotEnd) {
    scenario::CRequestsContainer requests;
    ScriptRequest r;
    r.method = "POST";
    r.url = "http://h/api";
    r.headers = {{"Content-Type", "text/plain"}, {"X-CSRF-Token", "a,b"}};
    r.body = Body::kText;
    r.text = "one\nVELK_BODY_END\r\nthree";
    requests.addRecorded(scriptRequestNavigation(r));
    std::string section;
    {
        std::lock_guard<scenario::CRequestsContainer> lock(requests);
        const scenario::CRequest* request = requests.flattened().at(0);
        EXPECT_TRUE(request->getParam(1)->isContentBlock());
        ASSERT_TRUE(request->writeSection(section));
    }
    EXPECT_NE(section.find("$header=Content-Type: text/plain\r\n"
                           "$header=X-CSRF-Token: a,b\r\n"
                           "$content=<<VELK_BODY_END_2\r\n"
                           "one\r\nVELK_BODY_END\r\nthree\r\nVELK_BODY_END_2\r\n"),
              std::string::npos)
        << section;
    EXPECT_TRUE(velk::test::isOk(scenario::checkRequestFieldsAreSingleLines(requests)));

    // A line the script would read as a section or a comment is refused.
    r.text = "[1,2]";
    requests.addRecorded(scriptRequestNavigation(r));
    const Status refused = scenario::checkRequestFieldsAreSingleLines(requests);
    EXPECT_EQ(refused.code(), StatusCode::kInvalid);
    EXPECT_NE(refused.message().find("body has a line that begins with \"[\""), std::string::npos)
        << refused.message();
}

}  // namespace
}  // namespace velk::recorder
