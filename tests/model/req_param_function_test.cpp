#include "app/scenario/req_param_function.h"

#include <gtest/gtest.h>

#include "app/scenario/req_param.h"

namespace velk::scenario {
namespace {

CReqParamFunction component(int32_t kind, std::string storedText, int32_t from = 0, int32_t to = 0,
                            int32_t shift = 0, std::string storedExtra = "") {
    CReqParamFunction f;
    f.setKind(kind);
    f.setStoredText(std::move(storedText));
    f.setFrom(from);
    f.setTo(to);
    f.setShift(shift);
    f.setStoredExtra(std::move(storedExtra));
    return f;
}

TEST(ReqParamFunction, ExpressionOfEveryKind) {
    using F = CReqParamFunction;
    struct Case {
        F f;
        bool replaceCommas, encode;
        std::string expected;
    } cases[] = {
        {component(F::kStaticText, "a b"), false, true, "a+b"},
        {component(F::kStaticText, "a b"), false, false, "a b"},
        {component(F::kStaticText, "x%2cy"), true, false, "x,y"},
        {component(F::kNumericRandom, "", 1, 100), false, true, "$NRand(1,100)"},
        {component(F::kNumericRandom, "id ", 1, 100), false, true, "$NRand(1,100,id+)"},
        {component(F::kNumericRandom, "p,q", -1, 2), false, false, "$NRand(4294967295,2,p,q)"},
        {component(F::kAlphanumericRandom, "ignored", 4, 8), false, true, "$ARand(4,8)"},
        {component(F::kRandomFromList, "red,green%2cblue"), false, false,
         "$LRand(red,green%2cblue)"},
        {component(F::kRandomFromList, "a b,c"), false, true, "$LRand(a+b,c)"},
        {component(F::kOrderedList, "desk set,mug"), false, true, "$List(desk+set,mug)"},
        {component(F::kSequence, "x", 1, 0, 0), false, true, "$Seq(x,1,0)"},
        {component(F::kSequence, "a,b", 7, 0, 100), false, true, "$Seq(a%2cb,7,100)"},
        {component(F::kUrl, "id"), false, true, "$UrlParam(id)"},
        {component(F::kHiddenParameter, "to ken"), false, true, "$Hidden(to ken)"},
        {component(F::kUserNumber, "u"), false, true, "$clid(u)"},
        {component(F::kUserNumber, "u", 0, 0, 0, "z"), false, true, "$clid(u,z)"},
        {component(F::kFile, "/tmp/a.png", 0, 0, 0, "image/png"), false, true,
         "$File(/tmp/a.png,image/png)"},
        {component(F::kFile, "/tmp/a.png"), false, true, "$File(/tmp/a.png)"},
        {component(F::kMetaTag, "csrf-token"), false, true, "$Meta(csrf-token)"},
        {component(F::kCookie, "XSRF-TOKEN"), false, true, "$Cookie(XSRF-TOKEN)"},
        {component(12, "text"), false, true, ""},
        {component(-1, "text"), false, false, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.f.expression(c.replaceCommas, c.encode), c.expected)
            << "kind " << c.f.getKind();
}

TEST(ReqParamFunction, CommaAccessorsStoreCommasAsPercent2c) {
    CReqParamFunction f;
    f.setText("a,b");
    EXPECT_EQ(f.storedText(), "a%2cb");
    EXPECT_EQ(f.getText(), "a,b");
    f.setExtra("x,y");
    EXPECT_EQ(f.storedExtra(), "x%2cy");
    EXPECT_EQ(f.getExtra(), "x,y");

    f.setList("\r\nred\r\ngreen,blue\r\n\r\n");
    EXPECT_EQ(f.storedText(), "red,green%2cblue");
    EXPECT_EQ(f.getList(), "red\r\ngreen,blue");

    f.makeLiteral("1,2");
    EXPECT_EQ(f.getKind(), CReqParamFunction::kStaticText);
    EXPECT_EQ(f.storedText(), "1,2");

    f.setKind(CReqParamFunction::kSequence);
    f.setFrom(3);
    f.setShift(4);
    f.setExtra("e");
    f.clear();
    EXPECT_EQ(f.getKind(), CReqParamFunction::kSequence);
    EXPECT_EQ(f.getFrom() + f.getTo() + f.getShift(), 0);
    EXPECT_EQ(f.storedText() + f.storedExtra(), "");
}

TEST(ReqParamFunction, KindsHaveTheirNamesAndHelpTexts) {
    const char* names[] = {"Static text",
                           "Numeric random",
                           "Alphanumeric random",
                           "Random from list",
                           "Ordered list",
                           "Sequence",
                           "URL",
                           "Hidden parameter",
                           "User number",
                           "File",
                           "Meta tag",
                           "Cookie"};
    for (int32_t k = 0; k < CReqParamFunction::kKindCount; ++k) {
        EXPECT_STREQ(CReqParamFunction::kindName(k), names[k]);
        EXPECT_STRNE(CReqParamFunction::kindHelp(k), "");
    }
    EXPECT_STREQ(
        CReqParamFunction::kindHelp(6),
        "Returns the value of the specified parameter of GET or POST request from HTML code of "
        "response to the previous request.");
    EXPECT_STREQ(CReqParamFunction::kindName(12), "");
    EXPECT_STREQ(CReqParamFunction::kindHelp(-1), "");
}

CReqParam param(bool encode, std::initializer_list<CReqParamFunction> parts) {
    CReqParam p;
    p.setNameAndEncode("p", encode);
    for (const CReqParamFunction& f : parts) {
        auto copy = std::make_unique<CReqParamFunction>();
        copy->copyFrom(f);
        p.insert(-1, std::move(copy));
    }
    return p;
}

TEST(ReqParam, BuildValueJoinsNonEmptyExpressions) {
    using F = CReqParamFunction;
    EXPECT_EQ(param(true, {component(F::kStaticText, "a b"), component(F::kSequence, "x", 1)})
                  .buildValue(false, '&'),
              "a+b&$Seq(x,1,0)");
    EXPECT_EQ(param(true, {component(F::kStaticText, ""), component(F::kUserNumber, "u")})
                  .buildValue(false, '&'),
              "$clid(u)");
    EXPECT_EQ(param(true, {component(F::kUserNumber, "u"), component(F::kStaticText, "")})
                  .buildValue(false, '&'),
              "$clid(u)");
    // A percent sign is sent percent-encoded, as a browser sends it.
    EXPECT_EQ(param(true, {component(F::kStaticText, "50%")}).buildValue(false, '&'), "50%25");
    EXPECT_EQ(param(false, {component(F::kStaticText, "50%")}).buildValue(false, '&'), "50%");
    EXPECT_EQ(param(false, {component(F::kNumericRandom, "", 1, 100)}).buildValue(false, '&'),
              "$NRand(1,100)");
    EXPECT_EQ(param(false, {}).buildValue(false, '&'), "");
}

// Only a well-formed body block may hold line breaks: any other would end the
// script line early or end the block before its end.
TEST(ReqParam, OnlyAWholeContentBlockMayHoldLineBreaks) {
    const struct {
        const char* name;
        const char* value;
        bool block;
    } cases[] = {
        {"$content", "<<END\r\n{\"a\":1}\r\nEND", true},
        {"$content", "<<END\r\nline 1\r\nline 2\r\nEND", true},
        {"$content", "<<END\r\nEND\r\n[general]\r\nEND", false},  // ends early
        {"$content", "<<END\r\na\nb\r\nEND", false},              // a bare LF
        {"$content", "<<END\r\na", false},                        // no end line
        {"$content", "<<\r\na\r\n", false},                       // no end name
        {"$content", "file.json", false},
        {"q", "<<END\r\na\r\nEND", false},  // another parameter
    };
    for (const auto& c : cases) {
        CReqParam p;
        p.setNameAndEncode(c.name, false);
        auto f = std::make_unique<CReqParamFunction>();
        f->makeLiteral(c.value);
        p.insert(-1, std::move(f));
        EXPECT_EQ(p.isContentBlock(), c.block) << c.value;
    }
}

TEST(ReqParam, InsertAtIndexOrAppend) {
    CReqParam p;
    auto make = [](const char* text) {
        auto f = std::make_unique<CReqParamFunction>();
        f->makeLiteral(text);
        return f;
    };
    p.insert(-1, make("b"));
    p.insert(0, make("a"));
    p.insert(7, make("d"));
    p.insert(2, make("c"));
    ASSERT_EQ(p.count(), 4);
    EXPECT_EQ(p.buildValue(false, ','), "a,b,c,d");
    EXPECT_EQ(p.get(4), nullptr);
    EXPECT_EQ(p.get(-1), nullptr);
    p.setNameAndEncode("n", true);
    p.clear();
    EXPECT_EQ(p.count(), 0);
    EXPECT_FALSE(p.getEncode());
    EXPECT_EQ(p.getName(), "");
}

}  // namespace
}  // namespace velk::scenario
