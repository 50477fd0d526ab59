#include "script/param_parser.h"

#include <gtest/gtest.h>

#include "base/message.h"
#include "common/message_capture.h"
#include "script/parsed_test.h"

namespace velk {
namespace {

using test::MessageCapture;
using Kind = ValuePiece::Kind;

class ParamParserTest : public ::testing::Test {
protected:
    void SetUp() override { setOutFunc(&m_capture, MessageCapture::sink); }
    void TearDown() override { setOutFunc(nullptr, nullptr); }

    bool parse(std::string_view value, bool runtime = false) {
        m_list.clear();
        return reportIfFailed(parseParamValue(m_set, m_request, "p", value, m_list, runtime));
    }
    const ValuePiece& piece(size_t i = 0) { return m_list.at(0).pieces.at(i); }

    ParsedTest m_set;
    RequestDef m_request;
    ParamList m_list;
    MessageCapture m_capture;
};

TEST_F(ParamParserTest, RefusedValuesGiveTheirMessages) {
    struct Case {
        const char* value;
        const char* message;
    } cases[] = {
        {"$foo(1)", "Unknown $ parameter foo(1)"},
        {"$NRand(1)", "Invalid usage of $NRand(1)"},
        {"$NRand", "Invalid usage of $NRand"},
        {"$ARand(x,2)", "Invalid usage of (x,2)"},
        {"$Seq(a,1", "Invalid usage of $Seq"},
        {"$list", "'(' expected in after $list"},
        {"$clid", "'(' expected in after $clid"},
        {"$var[x]", "'(' expected in after $var"},
        {"$rxname(/a/,b", "Invalid $rxname usage"},
        {"$rxname(a),b", "Invalid $rxname usage"},
        {"$rxname(/a(/,b),c", "Invalid regexp:/a(/"},
        {"$RegExp/x/", "Invalid regexp parameter usage"},
        {"$RegExp(/abc", "Invalid regexp parameter usage"},
        {"$RegExp(/a(/,$1)", "Invalid regular expression for regexp parameter: /a(/"},
        {"ok&$bogus", "Unknown $ parameter bogus"},
        {"$Json", "'(' expected in after $Json"},
        {"$Meta", "'(' and a name expected after $Meta"},
        {"$cookie()", "'(' and a name expected after $Cookie"},
        {"$json(a..b)", "Invalid JSON path a..b: name expected"},
        {"$Json(a[x])", "Invalid JSON path a[x]: index expected"},
    };
    for (const Case& c : cases) {
        m_capture.clear();
        EXPECT_FALSE(parse(c.value)) << c.value;
        EXPECT_EQ(m_capture.last(), c.message) << c.value;
    }
}

TEST_F(ParamParserTest, PiecesKeepWhatTheyNeedToYield) {
    ASSERT_TRUE(parse("$Seq(user,001)&$SEQX(k,7,3)&$seq(x)"));
    EXPECT_EQ(piece(0).kind, Kind::Counter);
    EXPECT_EQ(piece(0).text, "user");
    EXPECT_EQ(piece(0).first, 1);
    EXPECT_EQ(piece(0).width, 3);
    EXPECT_EQ(piece(1).first, 7);  // leading letters decide: $seqx is $Seq
    EXPECT_EQ(piece(1).second, 3);
    EXPECT_EQ(piece(2).text, "x");
    EXPECT_EQ(piece(2).width, 0);
    EXPECT_EQ(m_set.slotCount, 3);

    ASSERT_TRUE(parse("$LRand(a,\"b\\\"c\",d%2ce)"));
    EXPECT_EQ(piece().items, (std::vector<std::string>{"a", "b\"c", "d,e"}));

    ASSERT_TRUE(parse("$var(\"to\\ken\",fall back)"));
    EXPECT_EQ(piece().text, "token");
    EXPECT_EQ(piece().extra, "fall back");

    ASSERT_TRUE(parse("$UrlParam&$Hidden(sid)&$UrlParam(a%2cb)"));
    EXPECT_EQ(piece(0).text, "p");  // without a name: the parameter's own
    EXPECT_EQ(piece(1).text, "sid");
    EXPECT_EQ(piece(2).text, "a,b");

    ASSERT_TRUE(parse("$rxname(/n=(\\w+)/,$1),$clid(u)"));
    EXPECT_EQ(piece().kind, Kind::ComputedName);
    EXPECT_EQ(piece().extra, "$1");
    ASSERT_TRUE(piece().nested);
    EXPECT_EQ(piece().nested->at(0).kind, Kind::UserNumber);

    EXPECT_FALSE(m_request.multipart);
    ASSERT_TRUE(parse("$File(/tmp/a%2cb.txt,image/png)"));
    EXPECT_EQ(piece().text, "/tmp/a,b.txt");
    EXPECT_EQ(piece().extra, "image/png");
    EXPECT_TRUE(m_request.multipart);
    EXPECT_EQ(m_request.method, 1);
}

TEST_F(ParamParserTest, EncodingIsALiteralAndAmpersandsSplitFirst) {
    ASSERT_TRUE(parse("$enc<<a b&c/\xff"));
    ASSERT_EQ(m_list[0].pieces.size(), 2u);
    EXPECT_EQ(piece(0).kind, Kind::Literal);
    EXPECT_EQ(piece(0).text, "a%20b");
    EXPECT_EQ(piece(1).text, "c/\xff");
    EXPECT_EQ(percentEncode("a-b.c_d~ \x80"), "a-b.c_d%7E%20%80");
}

TEST_F(ParamParserTest, CountersAndListsNeedSlotsOnlyTheTestCanGive) {
    for (const char* value : {"$Seq(a,1)", "$list(a,b)"}) {
        m_capture.clear();
        EXPECT_FALSE(parse(value, true)) << value;
        EXPECT_EQ(m_capture.last(), "Error: $seq parameter cannot be created in runtime!");
    }
    EXPECT_TRUE(parse("$clid(u)", true));
    EXPECT_EQ(m_set.slotCount, 0);
}

}  // namespace
}  // namespace velk
