// The texts velkrun writes about a run's figures: JSON strings and HTML text
// from untrusted request names, and thresholds read and judged.
#include <gtest/gtest.h>

#include "app/results/json_text.h"
#include "app/results/svg_chart.h"
#include "app/results/thresholds.h"

namespace velk::results {
namespace {

TEST(JsonText, UntrustedBytesBecomeValidJsonStrings) {
    const struct {
        std::string bytes, json;
    } cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {std::string("\x01\n\t\x7f", 4), "\"\\u0001\\u000a\\u0009\\u007f\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
        {"\xff", "\"\\ufffd\""},
        {"\xc3", "\"\\ufffd\""},                                   // cut short
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},                        // overlong "/"
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},             // a surrogate
        {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // past U+10FFFF
        {std::string("\0x", 2), "\"\\u0000x\""},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonText::quoted(c.bytes), c.json) << c.json;
}

TEST(JsonText, NumbersThatAreNotFiniteAreNull) {
    JsonText json;
    json.beginObject();
    json.number("a", 1.0 / 0.0);
    json.number("b", 2.5);
    json.endObject();
    EXPECT_EQ(json.text(), "{\n  \"a\": null,\n  \"b\": 2.500\n}\n");
}

TEST(HtmlText, NamesCannotOpenTagsAndAreCutOnCharacters) {
    EXPECT_EQ(htmlEscape("<a href='x'>&\x01\xff"),
              "&lt;a href=&#39;x&#39;&gt;&amp;&#xFFFD;&#xFFFD;");
    EXPECT_EQ(cutText("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 3), "\xc3\xa9\xc3\xa9&#8230;");
    EXPECT_EQ(cutText("<<", 3), "&lt;&lt;");
}

PassFigures figuresOf(double p95, int64_t count, int64_t errors) {
    PassFigures f;
    f.totals.emplace().durationMs = 2000;
    f.overall.count = count;
    f.overall.errors[1] = errors;
    f.overall.percentilesMs[2] = p95;
    f.overall.meanMs = 50;
    LatencyFigures login;
    login.name = "api:login";
    login.count = 10;
    login.percentilesMs[2] = 250;
    f.requests.push_back(login);
    return f;
}

TEST(Thresholds, ReadAndJudged) {
    const PassFigures f = figuresOf(120, 990, 10);
    const struct {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"p95<300", true, 120},           {"p95<120", false, 120},
        {"p95<=120", true, 120},          {"mean>=50", true, 50},
        {"errors<1%", false, 1.0},        {"errors<=1%", true, 1.0},
        {"errors<11", true, 10},          {"rps>499", true, 500},
        {"rps>500", false, 500},          {"api:login:p95<200", false, 250},
        {"api:login:p95<300", true, 250},
    };
    for (const auto& c : cases) {
        const StatusOr<Threshold> t = parseThreshold(c.text);
        ASSERT_TRUE(t) << c.text << ": " << t.status().message();
        const ThresholdResult r = evaluateThreshold(*t, f);
        EXPECT_TRUE(r.measured) << c.text;
        EXPECT_EQ(r.ok, c.ok) << c.text;
        EXPECT_DOUBLE_EQ(r.value, c.value) << c.text;
    }
    // A request name may hold "<" and ">": the operator is the last one.
    {
        const StatusOr<Threshold> t = parseThreshold("GET <list> => ok:p95<=.5");
        ASSERT_TRUE(t) << t.status().message();
        EXPECT_EQ(t->request, "GET <list> => ok");
        EXPECT_EQ(t->compare, Threshold::Compare::LessOrEqual);
        EXPECT_DOUBLE_EQ(t->limit, 0.5);
    }
    // Nothing to measure fails: an unknown request, or times where none were taken.
    for (const char* text : {"logout:p95<100", "p99<100"}) {
        const StatusOr<Threshold> t = parseThreshold(text);
        ASSERT_TRUE(t);
        const ThresholdResult r = evaluateThreshold(*t, text[0] == 'p' ? figuresOf(0, 0, 3) : f);
        EXPECT_FALSE(r.measured) << text;
        EXPECT_FALSE(r.ok) << text;
    }
}

}  // namespace
}  // namespace velk::results
