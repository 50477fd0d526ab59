// Bounded work and sharing: hostile patterns give up instead of hanging or
// exhausting memory, and one compiled expression serves many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "regex/regex.h"

namespace velk {
namespace {

TEST(RegexLimits, CatastrophicPatternWithDefaultLimitReturnsNoMatch) {
    Regex re;  // the limit scripts get
    ASSERT_TRUE(re.compile("/(a*)*b/", kFlagDelimited | kFlagFirstCharSet));
    int32_t caps[20];
    int pairs = 10;
    int error = -1;
    EXPECT_FALSE(re.match(std::string(30, 'a'), caps, pairs, &error));
    EXPECT_TRUE(error == kPatternOk || error == kPatternWorkLimit);
    EXPECT_EQ(caps[0], -1);
}

TEST(RegexLimits, CatastrophicPatternsReturnNoMatch) {
    const std::string as(30, 'a');
    const struct {
        const char* pattern;
        std::string subject;
    } cases[] = {
        {"/(a*)*b/", as},
        {"/(a|aa)+b/", as},
        {"/(a+)+b/", as},
        {"/(?:a|a)*(?:a|a)*(?:a|a)*b/", as},
        {"/(\\w+\\s?)+$/", "a few words of text, then a comma!"},
        {"/^(a+)+$/", as + "!"},
    };
    for (const auto& c : cases) {
        Regex re(2000000);
        ASSERT_TRUE(re.compile(c.pattern, kFlagDelimited | kFlagFirstCharSet)) << c.pattern;
        int32_t caps[20];
        int pairs = 10;
        int error = -1;
        EXPECT_FALSE(re.match(c.subject, caps, pairs, &error)) << c.pattern;
        EXPECT_TRUE(error == kPatternOk || error == kPatternWorkLimit) << c.pattern;
        EXPECT_EQ(caps[0], -1);
    }
}

TEST(RegexLimits, StepLimitReportsWorkLimit) {
    Regex re(100000);
    ASSERT_TRUE(re.compile("/(a*)*b/", kFlagDelimited));
    int pairs = 0;
    int error = 0;
    EXPECT_FALSE(re.match(std::string(30, 'a'), nullptr, pairs, &error));
    EXPECT_EQ(error, kPatternWorkLimit);
    // The same object still answers easy questions correctly afterwards.
    EXPECT_TRUE(re.match("aab", nullptr, pairs, &error));
    EXPECT_EQ(error, 0);
}

TEST(RegexLimits, BacktrackingStackIsBoundedAndOnTheHeap) {
    // Every iteration of a group loop keeps frames until the match ends; a
    // text long enough to need more than the cap gives up cleanly.
    Regex re;
    ASSERT_TRUE(re.compile("/(a|b)*c/", kFlagDelimited));
    int pairs = 0;
    int error = 0;
    std::string text(1 << 20, 'a');
    EXPECT_FALSE(re.match(text, nullptr, pairs, &error));
    EXPECT_EQ(error, kPatternWorkLimit);
    // A text that fits in the cap is matched, deep as the stack gets.
    text.resize(100000);
    text += 'c';
    EXPECT_TRUE(re.match(text, nullptr, pairs, &error));
    EXPECT_EQ(error, 0);
}

TEST(RegexLimits, HugeCountsCostNothingUntilMatched) {
    Regex re;
    ASSERT_TRUE(re.compile("/(?:ab){999999999}|(x){100000,}?y/", kFlagDelimited));
    int32_t caps[4];
    int pairs = 2;
    EXPECT_FALSE(re.match("ababab xxxy", caps, pairs));
    std::string many(100000, 'x');
    EXPECT_TRUE(re.match(many + "y", caps, pairs));
    EXPECT_EQ(caps[1], 100001);
}

TEST(RegexLimits, OneExpressionSharedByManyThreads) {
    auto re = Regex::compileScriptPattern("/name=\"(\\w+)\" value=\"([^\"]*)\"/i");
    ASSERT_TRUE(re);
    struct Subject {
        std::string text;
        int32_t valueStart;  // -1: no match
        int32_t valueEnd;
    };
    std::vector<Subject> subjects;
    for (int i = 0; i < 8; ++i) {
        std::string pad(static_cast<size_t>(i * 37), '.');
        std::string value = std::string(static_cast<size_t>(i), 'v');
        std::string text =
            pad + "<input NAME=\"f" + std::to_string(i) + "\" value=\"" + value + "\">";
        int32_t start = static_cast<int32_t>(text.find("value=\"") + 7);
        subjects.push_back({text, start, start + i});
        subjects.push_back({pad + "<input name=\"f\" value=unquoted>", -1, -1});
    }
    std::atomic<int> wrong{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 500; ++round) {
                const Subject& s = subjects[static_cast<size_t>(round + t) % subjects.size()];
                int32_t caps[20];
                int pairs = 10;
                bool matched = re->match(s.text, caps, pairs);
                bool right = s.valueStart < 0 ? !matched
                                              : matched && pairs == 3 && caps[4] == s.valueStart &&
                                                    caps[5] == s.valueEnd;
                if (!right) ++wrong;
                ++done;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(done.load(), 2000);
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace velk
