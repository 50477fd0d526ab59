// Joining the interceptor's navigations with the capture script's form bodies.
#include "app/recorder/capture_matcher.h"

#include <gtest/gtest.h>

namespace velk::recorder {
namespace {

std::string describe(const std::vector<CaptureMatcher::Ready>& ready) {
    std::string text;
    for (const auto& r : ready)
        text += (r.post ? "POST " : "GET ") + r.url + (r.postData.empty() ? "" : " " + r.postData) +
                (r.headers.empty() ? "" : " [" + r.headers + "]") +
                (r.bodyMissing ? " (no body)" : "") + ";";
    return text;
}

TEST(CaptureMatcher, GetsGoAtOnceAndPostsWithTheirFormsBodyInEitherOrder) {
    CaptureMatcher m;
    m.addNavigation("http://h/a?x=1", false, 0);
    EXPECT_EQ(describe(m.takeReady(0)), "GET http://h/a?x=1;");

    m.addNavigation("http://h/login", true, 10);
    m.addNavigation("http://h/frame", false, 11);
    EXPECT_EQ(describe(m.takeReady(12)), "");
    EXPECT_TRUE(m.waiting());
    m.addSubmission("http://h/other", "o=1", 13);
    EXPECT_EQ(describe(m.takeReady(13)), "");
    m.addSubmission("http://h/login", "user=a&token=t", 14);
    EXPECT_EQ(describe(m.takeReady(14)),
              "POST http://h/login user=a&token=t "
              "[Content-Type: application/x-www-form-urlencoded];GET http://h/frame;");
    EXPECT_FALSE(m.waiting());

    m.addSubmission("http://h/search", "q=lamp", 20);
    m.addNavigation("http://h/search", true, 21);
    EXPECT_EQ(describe(m.takeReady(21)),
              "POST http://h/search q=lamp [Content-Type: application/x-www-form-urlencoded];");
}

TEST(CaptureMatcher, APostWhoseBodyNeverComesGoesWithoutItAfterTheWait) {
    CaptureMatcher m;
    m.addNavigation("http://h/js-post", true, 1000);
    m.addNavigation("http://h/next", false, 1001);
    EXPECT_EQ(describe(m.takeReady(1000 + CaptureMatcher::kBodyWaitMs - 1)), "");
    EXPECT_EQ(describe(m.takeReady(1000 + CaptureMatcher::kBodyWaitMs)),
              "POST http://h/js-post (no body);GET http://h/next;");
    // A body that comes too late is not given to a later post elsewhere.
    m.addSubmission("http://h/js-post", "late=1", 5000);
    m.addNavigation("http://h/elsewhere", true, 5001);
    EXPECT_EQ(describe(m.takeReady(5001 + CaptureMatcher::kBodyWaitMs)),
              "POST http://h/elsewhere (no body);");
}

TEST(CaptureMatcher, ARedirectsNextHopIsNotANavigation) {
    CaptureMatcher m;
    m.addSubmission("http://h/login", "a=1", 0);
    m.addNavigation("http://h/login", true, 1);
    m.addRedirect("http://h/account", 2);
    m.addNavigation("http://h/account", true, 3);
    // Only the announced hop is dropped, once.
    m.addNavigation("http://h/account", false, 4);
    EXPECT_EQ(describe(m.takeReady(4)),
              "POST http://h/login a=1 [Content-Type: application/x-www-form-urlencoded];"
              "GET http://h/account;");
    m.addRedirect("http://h/never", 10);
    m.addNavigation("http://h/never", false, 10 + CaptureMatcher::kSubmissionLifeMs + 1);
    EXPECT_EQ(describe(m.takeReady(10 + CaptureMatcher::kSubmissionLifeMs + 1)),
              "GET http://h/never;");
}

TEST(CaptureMatcher, OldAndSurplusBodiesAreDropped) {
    CaptureMatcher m;
    m.addSubmission("http://h/old", "a=1", 0);
    m.addNavigation("http://h/old", true, CaptureMatcher::kSubmissionLifeMs + 1);
    EXPECT_EQ(
        describe(m.takeReady(CaptureMatcher::kSubmissionLifeMs + CaptureMatcher::kBodyWaitMs + 1)),
        "POST http://h/old (no body);");

    for (size_t i = 0; i <= CaptureMatcher::kMaxSubmissions; ++i)
        m.addSubmission("http://h/f" + std::to_string(i), "n=" + std::to_string(i), 100000);
    m.addNavigation("http://h/f0", true, 100000);
    m.addNavigation("http://h/f1", true, 100000);
    EXPECT_EQ(describe(m.takeReady(100000 + CaptureMatcher::kBodyWaitMs)),
              "POST http://h/f0 (no body);POST http://h/f1 n=1 "
              "[Content-Type: application/x-www-form-urlencoded];");

    for (size_t i = 0; i < CaptureMatcher::kMaxQueued + 5; ++i)
        m.addNavigation("http://h/q" + std::to_string(i), true, 200000);
    EXPECT_EQ(m.takeReady(200000 + CaptureMatcher::kBodyWaitMs).size(), CaptureMatcher::kMaxQueued);
    m.addNavigation("http://h/x", true, 0);
    m.clear();
    EXPECT_FALSE(m.waiting());
}

}  // namespace
}  // namespace velk::recorder
