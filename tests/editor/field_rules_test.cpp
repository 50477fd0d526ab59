// The editor's field rules and fixed lists, without widgets: the delay fields,
// the address-pattern typing, the From/To range, the speed and user-agent lists
// and the cells of a request's row.
#include <gtest/gtest.h>

#include "app/editor/address_pattern_rule.h"
#include "app/editor/delay_field_rule.h"
#include "app/editor/editor_tables.h"
#include "app/editor/from_to_rule.h"
#include "app/editor/request_row_text.h"
#include "app/scenario/request.h"

namespace velk::editor {
namespace {

using Moment = DelayFieldRule::Moment;

TEST(DelayFieldRule, NormalisesWhileTypingAndOnLeaving) {
    struct Case {
        const char* text;
        Moment moment;
        int32_t value;
        bool selectAll;
    };
    const int32_t last = 7;
    const Case cases[] = {
        {"", Moment::kTyping, 0, true},
        {"", Moment::kLeaving, 7, false},
        {"12", Moment::kTyping, 12, false},
        {"12a", Moment::kTyping, 7, false},
        {"a", Moment::kLeaving, 7, false},
        {"-", Moment::kTyping, 7, false},
        {"-5", Moment::kTyping, 0, false},
        {"-5", Moment::kLeaving, 0, false},
        {"86400", Moment::kTyping, 86400, false},
        {"86401", Moment::kTyping, 86400, false},
        {"99999999999999999999999", Moment::kLeaving, 86400, false},
        {"007", Moment::kTyping, 7, false},
    };
    for (const Case& c : cases) {
        const auto r = DelayFieldRule::normalise(c.text, last, c.moment);
        EXPECT_EQ(r.value, c.value) << c.text;
        EXPECT_EQ(r.text, std::to_string(c.value)) << c.text;
        EXPECT_EQ(r.selectAll, c.selectAll) << c.text;
    }
}

TEST(DelayFieldRule, TheOtherFieldFollows) {
    int32_t from = 86400, to = 3;
    DelayFieldRule::follow(true, from, to);
    EXPECT_EQ(to, 86400);
    from = 10, to = 5;
    DelayFieldRule::follow(false, from, to);
    EXPECT_EQ(from, 5);
    from = 2, to = 9;
    DelayFieldRule::follow(true, from, to);
    DelayFieldRule::follow(false, from, to);
    EXPECT_EQ(from, 2);
    EXPECT_EQ(to, 9);
}

// Types the characters one by one at the caret, as a user would.
struct Typing {
    std::string text;
    int caret = 0;
    bool movedOn = false;
    void type(const std::string& keys) {
        for (char c : keys) {
            const auto t = AddressPatternRule::type(text, caret, 0, c);
            text = t.text;
            caret = t.caret;
            movedOn = movedOn || t.moveNext;
        }
    }
};

TEST(AddressPatternRule, MacrosAreTypedInAnyCaseNumbersAsUsual) {
    struct Case {
        const char* keys;
        const char* text;
        bool movedOn;
    };
    const Case cases[] = {
        {"$r1", "$R1", true}, {"$c2", "$C2", true}, {"$C", "$C", false}, {"r", "", false},
        {"$x", "$", false},   {"$r3", "$R", false}, {"x", "", false},    {"12", "12", false},
        {"255", "255", true}, {"300", "255", true}, {"1$", "1", false},  {"1234", "123", true},
        {"$1", "$", false},   {".", "", false},
    };
    for (const Case& c : cases) {
        Typing typing;
        typing.type(c.keys);
        EXPECT_EQ(typing.text, c.text) << c.keys;
        EXPECT_EQ(typing.movedOn, c.movedOn) << c.keys;
    }
}

TEST(AddressPatternRule, ReplacesTheSelectionAndDotMovesOn) {
    const auto replaced = AddressPatternRule::type("$C1", 0, 3, '9');
    EXPECT_TRUE(replaced.accepted);
    EXPECT_EQ(replaced.text, "9");
    EXPECT_EQ(replaced.caret, 1);
    const auto dot = AddressPatternRule::type("12", 2, 0, '.');
    EXPECT_FALSE(dot.accepted);
    EXPECT_TRUE(dot.moveNext);
    EXPECT_EQ(dot.text, "12");
}

TEST(AddressPatternRule, SplitAndJoinGiveThePatternBack) {
    for (const char* pattern :
         {"192.168.$C2.$C1", "", "10", "10.0", "a..b", "1.2.3.4.5", "$R1.$R2.0.1"})
        EXPECT_EQ(AddressPatternRule::join(AddressPatternRule::split(pattern)), pattern);
    const auto fields = AddressPatternRule::split("192.168.$C2.$C1");
    EXPECT_EQ(fields, (AddressPatternRule::Fields{"192", "168", "$C2", "$C1"}));
    EXPECT_EQ(AddressPatternRule::split("1.2.3.4.5")[0], "1.2");
    EXPECT_EQ(AddressPatternRule::join({"1", "", "", ""}), "1");
}

TEST(FromToRule, NeitherPassesTheOther) {
    EXPECT_FALSE(FromToRule::fromChanged(5, 10).refused);
    const auto high = FromToRule::fromChanged(15, 10);
    EXPECT_TRUE(high.refused);
    EXPECT_EQ(high.from, 10);
    const auto negative = FromToRule::fromChanged(-3, 10);
    EXPECT_FALSE(negative.refused);
    EXPECT_EQ(negative.from, 0);
    const auto low = FromToRule::toChanged(8, 2);
    EXPECT_TRUE(low.refused);
    EXPECT_EQ(low.to, 8);
    EXPECT_EQ(FromToRule::toChanged(0, int64_t(INT32_MAX) + 5).to, INT32_MAX);
}

TEST(EditorTables, SpeedsAndUserAgents) {
    ASSERT_EQ(speedItems().size(), 11u);
    EXPECT_EQ(speedIndexFor(56000), 7);
    EXPECT_EQ(speedIndexFor(12345), 0);
    EXPECT_EQ(speedValueAt(1), 10000000);
    EXPECT_EQ(speedValueAt(-1), -1);
    EXPECT_EQ(speedValueAt(11), -1);
    const auto agents = userAgentLines();
    ASSERT_EQ(agents.size(), 70u);
    // The six group headers, where the groups begin.
    const std::pair<size_t, const char*> headers[] = {{0, "* VELK*"},     {2, "* IE 3.0 *"},
                                                      {40, "* IE 4.0 *"}, {53, "* IE 5.0 *"},
                                                      {58, "* IE 5.5 *"}, {63, "* IE 6.0 *"}};
    for (const auto& [index, text] : headers) EXPECT_STREQ(agents[index], text);
    EXPECT_STREQ(agents[69], "Mozilla/4.0 (compatible; MSIE 6.0b; Windows NT 5.0)");
}

TEST(RequestRowText, UrlDataAndDelayCells) {
    velk::scenario::CRequest r;
    r.setServer("shop:8080");
    r.setUri("a?b");
    r.setSecure(velk::scenario::CRequest::kHttps);
    auto p = std::make_unique<velk::scenario::CReqParam>();
    p->setName("q");
    auto f = std::make_unique<velk::scenario::CReqParamFunction>();
    f->setText("x,y");
    p->insert(-1, std::move(f));
    r.insertParam(-1, std::move(p));
    auto empty = std::make_unique<velk::scenario::CReqParam>();
    empty->setName("e");
    r.insertParam(-1, std::move(empty));
    EXPECT_EQ(requestUrlText(r), "https://shop:8080/a?b");
    EXPECT_EQ(requestDataText(r), "q=x,y&e=");
    r.setDelayFrom(2);
    r.setDelayTo(5);
    EXPECT_EQ(requestDelayText(r), "2-5 sec");
    r.setDelayFrom(5);
    r.setDelayTo(2);
    EXPECT_EQ(requestDelayText(r), "5 sec");
    r.setServer("");
    r.setSecure(velk::scenario::CRequest::kPlain);
    EXPECT_EQ(requestUrlText(r), "/a?b");
}

}  // namespace
}  // namespace velk::editor
