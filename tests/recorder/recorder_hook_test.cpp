// The recording hook: what a navigation becomes, when nothing is recorded, the
// pauses, and captures reaching a real request container.
#include "app/recorder/recorder_hook.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/scenario/requests_container.h"

namespace velk::recorder {
namespace {

using scenario::RecordedNavigation;

struct FakeSink : scenario::RecordedRequestSink {
    void addRecorded(const RecordedNavigation& navigation) override { got.push_back(navigation); }
    std::vector<RecordedNavigation> got;
};

class RecorderHookTest : public ::testing::Test {
protected:
    RecorderHookTest() : hook([this] { return now; }) {
        hook.attach(&sink);
        hook.setNotifier([this] { ++notified; });
    }
    int64_t now = 1000;
    int notified = 0;
    FakeSink sink;
    RecorderHook hook;
};

TEST_F(RecorderHookTest, TypedAddressBecomesOneGetWithItsQueryPairs) {
    hook.start();
    EXPECT_TRUE(hook.onBeforeNavigate("http://host/a.asp?x=1&y=2", "", ""));
    ASSERT_EQ(sink.got.size(), 1u);
    const RecordedNavigation& n = sink.got[0];
    EXPECT_EQ(n.method, 1);
    EXPECT_EQ(n.secure, 1);
    EXPECT_EQ(n.url, "http://host/a.asp");
    EXPECT_EQ(n.contentType, "text/html");
    EXPECT_EQ(n.pauseSeconds, 0);
    EXPECT_EQ(n.pairs, (std::vector<std::pair<std::string, std::string>>{{"x", "1"}, {"y", "2"}}));
    EXPECT_EQ(notified, 1);
}

TEST_F(RecorderHookTest, FormPostTakesTheBodyAndTheHeadersContentTypeAndLosesTheQuery) {
    hook.start();
    hook.onBeforeNavigate("HTTPS://host/login?q=1",
                          "a=1&b=", "Content-Type: application/x-www-form-urlencoded\r\n");
    ASSERT_EQ(sink.got.size(), 1u);
    const RecordedNavigation& n = sink.got[0];
    EXPECT_EQ(n.method, 2);
    EXPECT_EQ(n.secure, 2);
    EXPECT_EQ(n.url, "HTTPS://host/login");
    EXPECT_EQ(n.contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(n.pairs, (std::vector<std::pair<std::string, std::string>>{{"a", "1"}, {"b", ""}}));
}

TEST_F(RecorderHookTest, APostWithAnEmptyBodyStaysAPost) {
    hook.start();
    hook.onBeforeNavigate("http://host/empty-form", "", "", true);
    hook.onBeforeNavigate("http://host/", "", "", false);
    ASSERT_EQ(sink.got.size(), 2u);
    EXPECT_EQ(sink.got[0].method, 2);
    EXPECT_EQ(sink.got[1].method, 1);
}

TEST_F(RecorderHookTest, NothingIsRecordedOffOrWithoutASinkOrForOtherSchemes) {
    EXPECT_FALSE(hook.onBeforeNavigate("http://host/", "", ""));
    hook.start();
    for (const char* url : {"about:blank", "file:///tmp/x.html", "ftp://host/f", "javascript:x"})
        EXPECT_FALSE(hook.onBeforeNavigate(url, "", "")) << url;
    hook.stop();
    EXPECT_FALSE(hook.isRecording());
    EXPECT_FALSE(hook.onBeforeNavigate("http://host/", "", ""));
    hook.start();
    hook.clear();
    EXPECT_FALSE(hook.isRecording());
    hook.start();
    EXPECT_FALSE(hook.onBeforeNavigate("http://host/", "", ""));
    EXPECT_TRUE(sink.got.empty());
    EXPECT_EQ(notified, 0);
    hook.attach(&sink);
    EXPECT_TRUE(hook.onBeforeNavigate("http://host/", "", ""));
}

TEST_F(RecorderHookTest, PausesCountFromThePreviousCaptureAndRestartAtStart) {
    hook.start();
    for (int64_t t : {100, 105, 112, 90}) {
        now = t;
        hook.onBeforeNavigate("http://host/", "", "");
    }
    hook.start();
    now = 500;
    hook.onBeforeNavigate("http://host/", "", "");
    std::vector<int32_t> pauses;
    for (const auto& n : sink.got) pauses.push_back(n.pauseSeconds);
    // A clock set back gives no pause, never a negative one.
    EXPECT_EQ(pauses, (std::vector<int32_t>{0, 5, 7, 0, 0}));
}

TEST(RecorderHookContainer, EachPauseBecomesTheDelayOfTheRequestBefore) {
    int64_t now = 0;
    RecorderHook hook([&] { return now; });
    scenario::CRequestsContainer requests;
    hook.attach(&requests);
    RecorderHook::resetCounter();
    hook.start();
    now = 50;
    hook.onBeforeNavigate("http://h:8080/login", "user=J%C3%A9r%C3%B4me&token=a%26b+c",
                          "Content-Type: application/x-www-form-urlencoded");
    now = 54;
    hook.onBeforeNavigate("http://h:8080/products", "", "");
    std::lock_guard<scenario::CRequestsContainer> lock(requests);
    const auto all = requests.flattened();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]->getId(), 1);
    EXPECT_EQ(all[0]->getName(), "req_1");
    EXPECT_EQ(all[0]->getServer(), "h:8080");
    EXPECT_EQ(all[0]->getUri(), "login");
    EXPECT_EQ(all[0]->getDelayFrom(), 4);
    EXPECT_EQ(all[1]->getDelayFrom(), 0);
    ASSERT_EQ(all[0]->paramCount(), 2);
    // Stored decoded, so the script encodes them back to what the browser sent.
    EXPECT_EQ(all[0]->getParam(1)->buildValue(false, '&'), "a%26b+c");
    EXPECT_EQ(all[0]->getParam(0)->buildValue(false, '&'), "J%c3%a9r%c3%b4me");
}

TEST(RecorderHookContainer, CapturesFromSeveralThreadsAreAllKept) {
    RecorderHook hook;
    scenario::CRequestsContainer requests;
    hook.attach(&requests);
    hook.start();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) hook.onBeforeNavigate("http://h/p?i=1", "", "");
        });
    for (int i = 0; i < 50; ++i) {
        hook.start();
        hook.setNotifier([] {});
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(requests.count(), 400);
}

}  // namespace
}  // namespace velk::recorder
