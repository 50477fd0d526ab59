// The request list's cells and widths, and Delete and Clear on a scenario.
#include "app/recorder/request_list_rows.h"

#include <gtest/gtest.h>

namespace velk::recorder {
namespace {

using scenario::CReqParam;
using scenario::CReqParamFunction;
using scenario::CRequest;

CRequest* add(scenario::CScenario& s, int32_t parent, const char* server, int32_t secure,
              const char* uri) {
    auto r = std::make_unique<CRequest>();
    r->setServer(server);
    r->setSecure(secure);
    r->setUri(uri);
    return s.requests().addChild(parent, std::move(r));
}

void addParam(CRequest& r, const char* name, const char* text, bool encode = true) {
    auto p = std::make_unique<CReqParam>();
    p->setNameAndEncode(name, encode);
    auto f = std::make_unique<CReqParamFunction>();
    f->makeLiteral(text);
    p->insert(-1, std::move(f));
    r.insertParam(-1, std::move(p));
}

TEST(RequestListRows, CellsShowTopLevelRequestsInOrder) {
    scenario::CScenario s;
    CRequest* a = add(s, 0, "h:8080", CRequest::kHttps, "login");
    addParam(*a, "user", "J r");
    addParam(*a, "empty", "");
    a->setDelayFrom(7);
    CRequest* b = add(s, 0, "h", CRequest::kPlain, "");
    add(s, b->getId(), "child", 1, "c");
    add(s, 0, "h", CRequest::kUnknown, "x");
    add(s, 0, "", CRequest::kHttps, "y");
    const auto rows = requestRows(s.requests());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].id, a->getId());
    EXPECT_EQ(rows[0].name, a->getName());
    EXPECT_EQ(rows[0].url, "https://h:8080/login");
    EXPECT_EQ(rows[0].data, "user=J+r&empty=");
    EXPECT_EQ(rows[0].delay, "7 sec");
    EXPECT_EQ(rows[1].url, "http://h/");
    EXPECT_EQ(rows[1].data, "");
    EXPECT_EQ(rows[1].delay, "0 sec");
    EXPECT_EQ(rows[2].url, "h/x");
    EXPECT_EQ(rows[3].url, "/y");
}

TEST(RequestListRows, WidthsFollowTheListWidth) {
    EXPECT_EQ(requestColumnWidths(453), (std::array<int, 4>{50, 180, 180, 50}));
    EXPECT_EQ(requestColumnWidths(10), (std::array<int, 4>{50, 0, 0, 50}));
}

TEST(RequestListRows, DeleteAndClearEmptyTheSequences) {
    scenario::CScenario s;
    CRequest* a = add(s, 0, "h", 1, "a");
    CRequest* b = add(s, 0, "h", 1, "b");
    add(s, b->getId(), "h", 1, "b1");
    const int32_t keep = add(s, 0, "h", 1, "c")->getId();
    s.run().initialSequence = {"req_1"};
    s.run().mainSequence = {"x", "y"};
    s.run().finalSequence = {"z"};
    EXPECT_EQ(removeRequests(s, {a->getId(), b->getId(), 9999}), 2);
    EXPECT_EQ(s.requests().count(), 1);
    EXPECT_EQ(requestRows(s.requests())[0].id, keep);
    EXPECT_TRUE(s.run().initialSequence.empty());
    EXPECT_TRUE(s.run().mainSequence.empty());
    EXPECT_TRUE(s.run().finalSequence.empty());
    s.run().mainSequence = {"x"};
    clearRequests(s);
    EXPECT_EQ(s.requests().count(), 0);
    EXPECT_TRUE(s.run().mainSequence.empty());
}

}  // namespace
}  // namespace velk::recorder
