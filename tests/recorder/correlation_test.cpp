// The correlation rules as a table of small recorded exchanges: which recorded
// values are proposed for replacement, by what, and which are left alone.
#include "app/recorder/correlation.h"

#include <gtest/gtest.h>

#include "app/recorder/capture_matcher.h"
#include "app/recorder/recorder_hook.h"
#include "app/scenario/req_param_function.h"

namespace velk::recorder {
namespace {

using scenario::CReqParamFunction;
using Hidden = PageFacts::Hidden;
using Link = PageFacts::LinkParam;
using Params = std::vector<std::pair<std::string, std::string>>;

PageFacts page(std::vector<Hidden> hidden, std::vector<Link> links = {}) {
    PageFacts p;
    p.url = "http://127.0.0.1/page";
    p.status = 200;
    p.hidden = std::move(hidden);
    p.links = std::move(links);
    return p;
}

RecordedExchange exchange(int32_t id, Params params, std::optional<PageFacts> facts) {
    RecordedExchange e;
    e.requestId = id;
    e.requestName = "req_" + std::to_string(id);
    e.params = std::move(params);
    e.page = std::move(facts);
    return e;
}

struct Case {
    const char* what;
    std::vector<RecordedExchange> exchanges;
    // "request/parameter=replacement" for each proposal, in order.
    std::vector<std::string> expected;
};

std::vector<std::string> shown(const std::vector<Proposal>& proposals) {
    std::vector<std::string> out;
    for (const Proposal& p : proposals)
        out.push_back(p.requestName + "/" + p.parameter + "=" + p.replacement);
    return out;
}

TEST(Correlation, RulesOverRecordedExchanges) {
    const std::string token = "c2VjcmV0LXRva2VuLTQy";
    const std::vector<Case> cases{
        {"a hidden input of the page before",
         {exchange(1, {}, page({{"token", token, "/login"}})),
          exchange(2, {{"user", "alice"}, {"token", token}}, page({}))},
         {"req_2/token=$Hidden(token)"}},
        {"a link parameter of the page before",
         {exchange(1, {}, page({}, {{"sid", "s81x", "/cart?sid=s81x"}})),
          exchange(2, {{"sid", "s81x"}}, std::nullopt)},
         {"req_2/sid=$UrlParam(sid)"}},
        {"a value typed by the user, given out by no page",
         {exchange(1, {}, page({{"token", token, "/login"}})),
          exchange(2, {{"user", "alice"}, {"password", "secret"}}, page({}))},
         {}},
        {"a value the user typed that the page before gave out too",
         {exchange(1, {{"q", "lamp"}}, page({}, {{"q", "lamp", "/search?q=lamp&page=2"}})),
          exchange(2, {{"q", "lamp"}, {"page", "2"}}, std::nullopt)},
         {"req_2/q=$UrlParam(q)"}},
        {"a name the page gives two different values is left alone",
         {exchange(1, {}, page({{"token", "aaaa1111", "/a"}, {"token", "bbbb2222", "/b"}})),
          exchange(2, {{"token", "aaaa1111"}}, std::nullopt)},
         {}},
        {"the same value seen twice under one name",
         {exchange(1, {}, page({{"token", token, "/a"}, {"token", token, "/b"}})),
          exchange(2, {{"token", token}}, std::nullopt)},
         {"req_2/token=$Hidden(token)"}},
        {"a value seen twice in the recording: only where the page before gave it",
         {exchange(1, {}, page({{"token", token, "/login"}})),
          exchange(2, {{"token", token}}, page({})), exchange(3, {{"token", token}}, std::nullopt)},
         {"req_2/token=$Hidden(token)"}},
        {"a page two requests back cannot be read at run time",
         {exchange(1, {}, page({{"token", token, "/login"}})), exchange(2, {}, std::nullopt),
          exchange(3, {{"token", token}}, std::nullopt)},
         {}},
        {"a short value under another name is a coincidence",
         {exchange(1, {}, page({{"page", "1", "/list"}})),
          exchange(2, {{"qty", "1"}}, std::nullopt)},
         {}},
        {"a long value under another name is fetched by that name",
         {exchange(1, {}, page({{"csrfmiddlewaretoken", token, "/login"}})),
          exchange(2, {{"csrf", token}}, std::nullopt)},
         {"req_2/csrf=$Hidden(csrfmiddlewaretoken)"}},
        {"a hidden input wins over a link with the same value",
         {exchange(1, {}, page({{"state", token, "/go"}}, {{"state", token, "/go?state=x"}})),
          exchange(2, {{"state", token}}, std::nullopt)},
         {"req_2/state=$Hidden(state)"}},
        {"a name no expression can hold is left alone",
         {exchange(1, {}, page({{"a)b", token, "/go"}})),
          exchange(2, {{"a)b", token}}, std::nullopt)},
         {}},
        {"empty values are never proposed",
         {exchange(1, {}, page({{"note", "", "/go"}})), exchange(2, {{"note", ""}}, std::nullopt)},
         {}},
        {"the first request has no page before it",
         {exchange(1, {{"token", token}}, page({{"token", token, "/login"}}))},
         {}},
    };
    for (const Case& c : cases) EXPECT_EQ(shown(findProposals(c.exchanges)), c.expected) << c.what;
}

TEST(Correlation, ProposalsSayWhereTheValueCameFrom) {
    const auto proposals =
        findProposals({exchange(1, {}, page({{"token", "t0k3n-value", "http://127.0.0.1/login"}})),
                       exchange(2, {{"token", "t0k3n-value"}}, std::nullopt)});
    ASSERT_EQ(proposals.size(), 1u);
    EXPECT_EQ(proposals[0].recordedValue, "t0k3n-value");
    EXPECT_EQ(proposals[0].origin,
              "hidden input \"token\" of http://127.0.0.1/page (form to http://127.0.0.1/login)");
    EXPECT_TRUE(proposals[0].ticked);
}

TEST(Correlation, ApplyingReplacesOnlyTheTickedParameters) {
    scenario::CRequestsContainer requests;
    scenario::CRequest::resetIdCounter();
    for (const char* value : {"first-token-1", "second-token-2"}) {
        auto r = std::make_unique<scenario::CRequest>();
        auto p = std::make_unique<scenario::CReqParam>();
        p->setNameAndEncode("token", true);
        auto f = std::make_unique<CReqParamFunction>();
        f->setText(value);
        p->insert(-1, std::move(f));
        r->insertParam(-1, std::move(p));
        requests.addChild(0, std::move(r));
    }
    auto exchanges = collectExchanges(requests, {{1, page({{"token", "second-token-2", "/x"}})}});
    ASSERT_EQ(exchanges.size(), 2u);
    EXPECT_EQ(exchanges[1].params, (Params{{"token", "second-token-2"}}));
    auto proposals = findProposals(exchanges);
    ASSERT_EQ(proposals.size(), 1u);

    proposals[0].ticked = false;
    EXPECT_EQ(applyProposals(requests, proposals), 0);
    proposals[0].ticked = true;
    EXPECT_EQ(applyProposals(requests, proposals), 1);
    std::lock_guard<scenario::CRequestsContainer> g(requests);
    const auto all = requests.flattened();
    EXPECT_EQ(all[0]->getParam(0)->buildValue(false, '&'), "first-token-1");
    EXPECT_EQ(all[1]->getParam(0)->buildValue(false, '&'), "$Hidden(token)");
}

TEST(Correlation, OutcomeKeepsTheRedirectTargetOnlyWhenThePageMoved) {
    PageFacts landed = page({});
    landed.url = "http://127.0.0.1:8080/account?welcome=1";
    landed.title = "Your account - VELK demo shop";
    landed.size = 812;
    const auto moved = outcomeOf(landed, "http://127.0.0.1:8080/login");
    EXPECT_EQ(moved.location, "/account");
    EXPECT_EQ(moved.status, 200);
    EXPECT_EQ(moved.title, "Your account - VELK demo shop");
    EXPECT_EQ(moved.size, 812);
    EXPECT_EQ(outcomeOf(landed, "http://127.0.0.1:8080/account").location, "");
}

}  // namespace
}  // namespace velk::recorder

namespace velk::recorder {
namespace {

// A multipart form: its submission keeps its kind and file fields to the
// request, whose file fields become File components naming the files.
TEST(MultipartRecording, FileFieldsBecomeFileComponents) {
    CaptureMatcher matcher;
    matcher.addSubmission("http://h/up", "title=Q1+notes&doc=notes.txt", 0, true, {"doc"});
    matcher.addNavigation("http://h/up", true, 1);
    const auto ready = matcher.takeReady(2);
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].headers, CaptureMatcher::kMultipartContentType);
    EXPECT_EQ(ready[0].fileFields, std::vector<std::string>{"doc"});
    // Without a file field the engine could not send it as multipart: it is
    // recorded urlencoded, its values encoded as usual.
    matcher.addSubmission("http://h/note", "text=a+b", 3, true, {});
    matcher.addNavigation("http://h/note", true, 4);
    const auto plain = matcher.takeReady(5);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].headers, CaptureMatcher::kFormContentType);

    scenario::CRequestsContainer requests;
    RecorderHook hook([] { return int64_t(0); });
    hook.attach(&requests);
    hook.start();
    ASSERT_TRUE(hook.onBeforeNavigate(ready[0].url, ready[0].postData, ready[0].headers, true,
                                      ready[0].fileFields));
    std::lock_guard<scenario::CRequestsContainer> g(requests);
    const scenario::CRequest& r = *requests.flattened().at(0);
    EXPECT_EQ(r.getContentType(), "multipart/form-data");
    ASSERT_EQ(r.paramCount(), 2);
    // A part's value is sent as it is, not URL-encoded.
    EXPECT_FALSE(r.getParam(0)->getEncode());
    EXPECT_EQ(r.getParam(0)->buildValue(false, '&'), "Q1 notes");
    EXPECT_EQ(r.getParam(1)->get(0)->getKind(), scenario::CReqParamFunction::kFile);
    EXPECT_EQ(r.getParam(1)->buildValue(false, '&'), "$File(notes.txt)");
}

}  // namespace
}  // namespace velk::recorder
