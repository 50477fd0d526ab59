#include "app/scenario/requests_container.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace velk::scenario {
namespace {

std::unique_ptr<CRequest> named(const char* name) {
    auto r = std::make_unique<CRequest>();
    r->setName(name);
    return r;
}

std::string order(const CRequestsContainer& c) {
    std::string out;
    for (const CRequest* r : c.flattened()) out += (out.empty() ? "" : " ") + r->getName();
    return out;
}

int32_t idOf(CRequestsContainer& c, const char* name) {
    for (const CRequest* r : c.flattened())
        if (r->getName() == name) return r->getId();
    return -1;
}

// a (a1 (a11) a2) b
void buildTree(CRequestsContainer& c) {
    const int32_t a = c.addChild(0, named("a"))->getId();
    const int32_t a1 = c.addChild(a, named("a1"))->getId();
    c.addChild(a1, named("a11"));
    c.addChild(a, named("a2"));
    c.addChild(0, named("b"));
}

TEST(RequestsContainer, AddChildBuildsTheTreeInFlattenedOrder) {
    CRequestsContainer c;
    buildTree(c);
    EXPECT_EQ(order(c), "a a1 a11 a2 b");
    EXPECT_EQ(c.count(), 5);
    EXPECT_EQ(c.roots().size(), 2u);
    EXPECT_EQ(c.findNode(idOf(c, "a11"))->parent->request->getName(), "a1");
    EXPECT_EQ(c.findNode(12345), nullptr);
    EXPECT_EQ(c.addChild(12345, named("lost")), nullptr);
    EXPECT_EQ(c.count(), 5);
}

TEST(RequestsContainer, InsertAfterComesNextInFlattenedOrder) {
    struct Case {
        const char* after;
        const char* expected;
    } cases[] = {
        {"b", "a a1 a11 a2 b new"},      // the last node: end of the root list
        {"a", "a new a1 a11 a2 b"},      // a node with children: its first child
        {"a1", "a a1 new a11 a2 b"},     // likewise
        {"a11", "a a1 a11 new a2 b"},    // a last child: before its parent's next sibling
        {"a2", "a a1 a11 a2 new b"},     // before the parent's next sibling
        {nullptr, "a a1 a11 a2 b new"},  // id 0: end of the root list
    };
    for (const Case& c : cases) {
        CRequestsContainer tree;
        buildTree(tree);
        const int32_t id = c.after ? idOf(tree, c.after) : 0;
        ASSERT_NE(tree.insertAfter(id, named("new")), nullptr);
        EXPECT_EQ(order(tree), c.expected) << (c.after ? c.after : "0");
        // The new node sits where flattened order says, in the tree too.
        const auto* node = tree.findNode(idOf(tree, "new"));
        if (c.after && std::string(c.after) == "a11") {
            EXPECT_EQ(node->parent->request->getName(), "a");
        }
        if (c.after && std::string(c.after) == "a") {
            EXPECT_EQ(node->parent->request->getName(), "a");
        }
    }
    CRequestsContainer tree;
    buildTree(tree);
    EXPECT_EQ(tree.insertAfter(999, named("lost")), nullptr);
    EXPECT_EQ(tree.count(), 5);
}

TEST(RequestsContainer, RemoveTakesTheWholeSubtree) {
    CRequestsContainer c;
    buildTree(c);
    EXPECT_TRUE(c.remove(idOf(c, "a1")));
    EXPECT_EQ(order(c), "a a2 b");
    EXPECT_TRUE(c.remove(idOf(c, "a")));
    EXPECT_EQ(c.count(), 1);
    EXPECT_FALSE(c.remove(4711));
    c.setInsertAfterId(3);
    c.setParentId(4);
    c.deleteAll();
    EXPECT_EQ(c.count(), 0);
    EXPECT_EQ(c.getInsertAfterId(), 0);
    EXPECT_EQ(c.getParentId(), 0);
}

RecordedNavigation navigation(int32_t pause, const char* url,
                              std::vector<std::pair<std::string, std::string>> pairs = {}) {
    RecordedNavigation n;
    n.pauseSeconds = pause;
    n.method = 2;
    n.secure = 0;
    n.contentType = "application/x-www-form-urlencoded";
    n.url = url;
    n.pairs = std::move(pairs);
    return n;
}

TEST(RequestsContainer, AddRecordedMovesEachPauseToTheRequestBefore) {
    CRequestsContainer c;
    c.addRecorded(navigation(7, "http://shop/"));
    c.addRecorded(navigation(3, "http://shop/login"));
    c.addRecorded(navigation(5, "https://shop:8443/pay?x=1"));
    const auto all = c.flattened();
    ASSERT_EQ(all.size(), 3u);
    // The first keeps its own pause until a next one arrives, then takes that one's.
    EXPECT_EQ(all[0]->getDelayFrom(), 3);
    EXPECT_EQ(all[0]->getDelayTo(), 3);
    EXPECT_EQ(all[1]->getDelayFrom(), 5);
    EXPECT_EQ(all[2]->getDelayFrom(), 0);
    EXPECT_EQ(all[2]->getDelayTo(), 0);
    EXPECT_EQ(all[2]->getServer(), "shop:8443");
    EXPECT_EQ(all[2]->getUri(), "pay?x=1");
    EXPECT_EQ(all[2]->getSecure(), 2);
    EXPECT_EQ(all[2]->getMethod(), 2);
    EXPECT_EQ(all[2]->getContentType(), "application/x-www-form-urlencoded");
    EXPECT_EQ(c.lastRecorded(), all[2]);
}

TEST(RequestsContainer, AddRecordedDecodesValuesExceptHeaders) {
    CRequestsContainer c;
    c.addRecorded(navigation(0, "http://shop/search",
                             {{"q", "desk+set%2c+50%25"}, {"HEADER$", "X-A: 1%20"}, {"e", ""}}));
    CRequest* r = c.flattened().at(0);
    ASSERT_EQ(r->paramCount(), 3);
    const CReqParam* q = r->getParam(0);
    EXPECT_TRUE(q->getEncode());
    ASSERT_EQ(q->count(), 1);
    EXPECT_EQ(q->get(0)->getKind(), CReqParamFunction::kStaticText);
    EXPECT_EQ(q->get(0)->getText(), "desk set, 50%");
    // Written into the script as the browser sent it.
    EXPECT_EQ(q->buildValue(false, '&'), "desk+set%2c+50%25");
    const CReqParam* h = r->getParam(1);
    EXPECT_FALSE(h->getEncode());
    EXPECT_EQ(h->buildValue(false, '&'), "X-A: 1%20");
    EXPECT_EQ(r->getParam(2)->buildValue(false, '&'), "");
}

TEST(RequestsContainer, AddRecordedPlacesAtTheInsertionPosition) {
    CRequestsContainer c;
    buildTree(c);
    c.setInsertAfterId(idOf(c, "a11"));
    c.addRecorded(navigation(0, "http://h/after"));
    EXPECT_EQ(c.flattened()[3]->getUri(), "after");
    c.setInsertAfterId(0);
    c.setParentId(idOf(c, "b"));
    c.addRecorded(navigation(0, "http://h/child"));
    EXPECT_EQ(c.findNode(idOf(c, "b"))->children.size(), 1u);
}

TEST(RequestsContainer, ARequestThatCannotBePlacedIsNotRemembered) {
    CRequestsContainer c;
    c.addRecorded(navigation(1, "http://h/one"));
    const CRequest* one = c.lastRecorded();
    c.setParentId(999);
    c.addRecorded(navigation(2, "http://h/lost"));
    EXPECT_EQ(c.count(), 1);
    EXPECT_EQ(c.lastRecorded(), one);
    // Removing the last recorded request forgets it, so the next capture does
    // not write into freed memory.
    c.setParentId(0);
    c.remove(one->getId());
    EXPECT_EQ(c.lastRecorded(), nullptr);
    c.addRecorded(navigation(4, "http://h/two"));
    EXPECT_EQ(c.flattened().at(0)->getDelayFrom(), 4);
}

TEST(RequestsContainer, RecordingWhileOthersWalkUnderTheLock) {
    CRequestsContainer c;
    constexpr int kThreads = 4, kEach = 150;
    std::atomic<bool> done{false};
    std::atomic<int> mismatches{0};
    std::thread walker([&] {
        while (!done.load()) {
            std::lock_guard<CRequestsContainer> g(c);
            // Under the lock the tree cannot change between these calls.
            const auto all = c.flattened();
            if (static_cast<int32_t>(all.size()) != c.count()) ++mismatches;
            for (const CRequest* r : all)
                if (c.findNode(r->getId()) == nullptr) ++mismatches;
        }
    });
    std::vector<std::thread> recorders;
    for (int t = 0; t < kThreads; ++t)
        recorders.emplace_back([&] {
            for (int i = 0; i < kEach; ++i)
                c.addRecorded(navigation(i % 3, "http://h/x", {{"a", "1"}}));
        });
    for (auto& t : recorders) t.join();
    done = true;
    walker.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(c.count(), kThreads * kEach);
    // Ids are unique although made concurrently.
    std::set<int32_t> ids;
    for (const CRequest* r : c.flattened()) ids.insert(r->getId());
    EXPECT_EQ(ids.size(), size_t(kThreads * kEach));
}

}  // namespace
}  // namespace velk::scenario
