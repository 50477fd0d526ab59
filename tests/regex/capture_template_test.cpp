#include "regex/capture_template.h"

#include <gtest/gtest.h>

#include <string>

namespace velk {
namespace {

// "id=42; name=bob": whole match 0..15, group 1 "42", group 2 absent, group 3 "bob".
const std::string kText = "id=42; name=bob";
const int32_t kCaps[] = {0, 15, 3, 5, -1, -1, 12, 15};

TEST(CaptureTemplate, ExportStyleEscapesAndDrops) {
    const struct {
        const char* pattern;
        const char* expected;
    } table[] = {
        {"$1", "42"},       {"<$3:$1>", "<bob:42>"}, {"$0", "id=42; name=bob"},
        {"$2", ""},         // a group that took no part
        {"$5$9", ""},       // beyond the pairs given
        {"$$1", "$1"},      // "$$" is a dollar
        {"a$xb", "ab"},     // "$" with another character drops both
        {"cost$", "cost"},  // a final "$" goes alone
        {"plain", "plain"},
    };
    for (const auto& c : table)
        EXPECT_EQ(expandCaptureTemplate(c.pattern, kText, kCaps, 4, TemplateDollars::kEscapes, 255),
                  c.expected)
            << c.pattern;
}

TEST(CaptureTemplate, DigitsOnlyStyleKeepsOtherDollars) {
    EXPECT_EQ(
        expandCaptureTemplate("$$1 a$x $", kText, kCaps, 4, TemplateDollars::kDigitsOnly, 255),
        "$42 a$x $");
}

TEST(CaptureTemplate, ResultIsCutToMaximumLength) {
    std::string pattern;
    for (int i = 0; i < 30; ++i) pattern += "$0";
    std::string out =
        expandCaptureTemplate(pattern, kText, kCaps, 4, TemplateDollars::kEscapes, 255);
    EXPECT_EQ(out.size(), 255u);
    EXPECT_EQ(out.substr(0, 15), kText);
    EXPECT_EQ(expandCaptureTemplate("abcdef", kText, kCaps, 4, TemplateDollars::kEscapes, 3),
              "abc");
}

TEST(CaptureTemplate, OffsetsOutsideTheTextYieldNothing) {
    const int32_t bad[] = {0, 99, 7, 3};
    EXPECT_EQ(expandCaptureTemplate("[$0][$1]", kText, bad, 2, TemplateDollars::kEscapes, 255),
              "[][]");
    EXPECT_EQ(expandCaptureTemplate("[$0]", kText, nullptr, 0, TemplateDollars::kEscapes, 255),
              "[]");
}

}  // namespace
}  // namespace velk
