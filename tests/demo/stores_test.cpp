#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "bounded_map.h"
#include "session_store.h"
#include "token_store.h"

namespace velk::demo {
namespace {

TEST(BoundedMap, FullMapDropsTheOldestEntry) {
    BoundedMap<int> map(3);
    map.put("a", 1);
    map.put("b", 2);
    map.put("c", 3);
    map.put("a", 10);  // replacing makes "a" the newest
    map.put("d", 4);
    EXPECT_EQ(map.size(), 3u);
    EXPECT_FALSE(map.get("b"));
    EXPECT_EQ(map.get("a"), 10);
    EXPECT_EQ(map.get("c"), 3);
    EXPECT_EQ(map.get("d"), 4);
}

TEST(BoundedMap, TakenEntriesLeaveNoTraceInTheEvictionOrder) {
    BoundedMap<int> map(2);
    map.put("a", 1);
    map.put("b", 2);
    EXPECT_EQ(map.take("a"), 1);
    EXPECT_FALSE(map.take("a"));
    map.put("c", 3);  // room was made by the take, so "b" stays
    EXPECT_EQ(map.get("b"), 2);
    EXPECT_EQ(map.get("c"), 3);
    map.put("d", 4);
    EXPECT_FALSE(map.get("b"));
    EXPECT_EQ(map.size(), 2u);
}

TEST(TokenStore, EachTokenRedeemsOnceAndOldestAreForgotten) {
    TokenStore store(2);
    const std::string first = store.issue();
    const std::string second = store.issue();
    const std::string third = store.issue();
    EXPECT_FALSE(store.redeem(first)) << "evicted by the third";
    EXPECT_TRUE(store.redeem(second));
    EXPECT_FALSE(store.redeem(second));
    EXPECT_TRUE(store.redeem(third));
    EXPECT_FALSE(store.redeem(""));
}

TEST(TokenStore, ConcurrentIssueAndRedeemLoseNothing) {
    constexpr int kThreads = 8;
    constexpr int kPerThread = 500;
    TokenStore store(kThreads * kPerThread);
    std::vector<std::vector<std::string>> issued(kThreads);
    std::vector<int> redeemed(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) issued[t].push_back(store.issue());
            for (const std::string& token : issued[t]) redeemed[t] += store.redeem(token);
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<std::string> distinct;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(redeemed[t], kPerThread);
        distinct.insert(issued[t].begin(), issued[t].end());
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kPerThread));
}

TEST(SessionStore, OpenLookUpCloseAndEviction) {
    SessionStore store(2);
    const std::string ann = store.open("ann");
    const std::string bob = store.open("bob");
    EXPECT_NE(ann, bob);
    EXPECT_EQ(store.user(ann), "ann");
    store.close(ann);
    EXPECT_FALSE(store.user(ann));
    store.open("cy");
    store.open("dee");
    EXPECT_FALSE(store.user(bob)) << "oldest session dropped";
    EXPECT_FALSE(store.user("not-a-session"));
}

}  // namespace
}  // namespace velk::demo
