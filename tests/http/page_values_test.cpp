// Values taken from the previous page: URL parameters, hidden fields, pattern
// captures and request targets.
#include "http/page_values.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "http/uri_expression.h"
#include "regex/regex.h"

namespace velk {
namespace {

std::string valueOr(std::optional<std::string_view> v, const char* none = "<none>") {
    return v ? std::string(*v) : std::string(none);
}

struct PageCase {
    const char* page;
    const char* name;
    const char* expected;
};

TEST(PageValues, UrlParameterTable) {
    const PageCase cases[] = {
        {"<a href=\"/p?id=42&x=1\">", "id", "42"},
        {"<a href=\"/p?x=1&id=7\">", "id", "7"},
        {"<a href=/p?id=5>go</a>", "id", "5"},
        {"<a href='/p?id=5'>", "id", "5'"},      // an apostrophe does not end it
        {"text id=3 and ?x=1", "id", "<none>"},  // only after "?" or "&"
        {"id=1", "id", "<none>"},
        {"?id", "id", "<none>"},  // no "=" at all
        {"?idx=9", "id", "9"},    // the name is found as text
        {"?id=a b", "id", "a"},
        {"?id=a\r\nHost: evil", "id", "a"},  // control characters end it
        {"?id=", "id", ""},
        {"?id=&y=2", "id", ""},
        {"?a=1", "", "<none>"},
    };
    for (const PageCase& c : cases) {
        UserRandom random(1);
        EXPECT_EQ(valueOr(extractUrlParam(c.page, c.name, random)), c.expected) << c.page;
    }
}

TEST(PageValues, HiddenFieldTable) {
    const PageCase cases[] = {
        {"<input type=hidden name=\"tok\" value=\"a b\">", "tok", "a b"},
        {"<input value=v1 type=hidden name=tok>", "tok", "v1"},
        {"<input type=hidden NAME=\"tok\" VALUE=\"x\">", "tok", "x"},
        {"<input type=hidden name=\"tok\" value=abc def>", "tok", "abc"},
        {"<input type=hidden name=\"tok\" value=\"unclosed>rest", "tok", "unclosed"},
        {"<input name=\"tok\" value=\"\">", "tok", ""},
        {"<input name=\"tok\" id=\"t\">  <p value=\"later\">", "tok",
         "<none>"},                                               // value outside the tag
        {"<input name=\"token\" value=\"x\">", "tok", "<none>"},  // followed by a letter
        {"<input id=\"tok\" value=\"x\">", "tok", "<none>"},      // not a name attribute
        {"<input name=\"mytok\" value=\"m\">", "tok", "m"},       // found as text after name
        {"name=\"tok\" value=\"x\"", "tok", "<none>"},            // no tag
        {"<input name=\"tok\" value=\"a&amp;b\">", "tok", "a&amp;b"},
        {"<input name=\"tok\" value='q r'>", "tok", "'q"},
        {"<input name=\"tok\" value=\"v", "tok", "v"},
    };
    for (const PageCase& c : cases) {
        UserRandom random(1);
        EXPECT_EQ(valueOr(extractHidden(c.page, c.name, random)), c.expected) << c.page;
    }
}

TEST(PageValues, MetaTagTable) {
    const PageCase cases[] = {
        {"<meta name=\"csrf-token\" content=\"abc\">", "csrf-token", "abc"},
        {"<META CONTENT='x y' NAME=Csrf-Token />", "csrf-token", "x y"},
        {"<meta property=\"og:title\" content=t>", "og:title", "t"},
        {"<meta name=a content=1><meta name=b content=2>", "b", "2"},
        {"<metadata name=a content=1>", "a", "<none>"},
        {"<meta name=\"a\">", "a", "<none>"},                // no content
        {"<meta name=\"ab\" content=1>", "a", "<none>"},     // names compare whole
        {"<meta content=\"unclosed name=a", "a", "<none>"},  // the quote swallows the rest
        {"<meta name=a content=\"v", "a", "v"},              // cut off at the end
        {"<p name=a content=1>", "a", "<none>"},
    };
    for (const PageCase& c : cases)
        EXPECT_EQ(valueOr(extractMeta(c.page, c.name)), c.expected) << c.page;
}

TEST(PageValues, HiddenFieldEncodedForUrlencodedRequestsOnly) {
    const std::string page = "<input type=hidden name=\"t\" value=\"a&amp;b 1&x\">";
    UserRandom random(1);
    TextBuffer out;
    appendHidden(page, "t", random, true, out);
    EXPECT_EQ(out.view(), "a%26b%201%26x");
    out.clear();
    appendHidden(page, "t", random, false, out);
    EXPECT_EQ(out.view(), "a&amp;b 1&x");
    out.clear();
    appendHidden(page, "missing", random, true, out);
    EXPECT_TRUE(out.empty());
}

TEST(PageValues, SeveralCandidatesAreChosenWithTheUsersGenerator) {
    const std::string page =
        "<input name=\"t\" value=\"first\"><input name=\"t\" value=\"second\">"
        "<a href=\"?id=one\"><a href=\"&id=two\"><a href=\"?id=three\">";
    std::set<std::string> hidden, params;
    for (uint32_t seed = 0; seed < 40; ++seed) {
        UserRandom random(seed), expected(seed);
        std::string h = valueOr(extractHidden(page, "t", random));
        EXPECT_EQ(h, expected.next(2) == 0 ? "first" : "second");
        hidden.insert(h);
        std::string p = valueOr(extractUrlParam(page, "id", random));
        const char* choices[] = {"one", "two", "three"};
        EXPECT_EQ(p, choices[expected.next(3)]);
        params.insert(p);
        EXPECT_EQ(random.state(), expected.state());
    }
    EXPECT_EQ(hidden.size(), 2u);
    EXPECT_EQ(params.size(), 3u);

    // One candidate still takes a draw, so later draws stay in step.
    UserRandom one(5), reference(5);
    EXPECT_EQ(valueOr(extractUrlParam("?id=1", "id", one)), "1");
    reference.next(1);
    EXPECT_EQ(one.state(), reference.state());
    // None takes no draw.
    EXPECT_FALSE(extractHidden("nothing", "t", one));
    EXPECT_EQ(one.state(), reference.state());
}

TEST(PageValues, OnlyTheFirstFiftyOccurrencesAreCandidates) {
    std::string page;
    for (int i = 0; i < 80; ++i) page += "<a href=\"?n=" + std::to_string(i) + "\">";
    for (uint32_t seed = 0; seed < 200; ++seed) {
        UserRandom random(seed);
        EXPECT_LT(std::stoi(std::string(*extractUrlParam(page, "n", random))), 50);
    }
}

TEST(PageValues, HostilePagesAreScannedOnceWithinTheirBounds) {
    // Millions of occurrences that fail the checks late: each scan stays linear.
    const std::string blanks(4 << 20, 't');
    UserRandom random(1);
    EXPECT_FALSE(extractHidden(blanks, "t", random));
    std::string names;
    while (names.size() < (4u << 20)) names += "<x name=t name=t ";
    EXPECT_FALSE(extractHidden(names, "t", random));
    names += "value=\"end\">";
    EXPECT_EQ(valueOr(extractHidden(names, "t", random)), "end");
    EXPECT_FALSE(extractUrlParam(std::string(4 << 20, '?'), "?", random));
    // A long value is cut at the most a value may hold.
    const std::string longValue = "?v=" + std::string(20000, 'z');
    EXPECT_EQ(extractUrlParam(longValue, "v", random)->size(), kMaxPageValue);
    // A value at the very end of the body stops there.
    const std::string tail = "<input name=\"t\" value=\"abc";
    EXPECT_EQ(
        valueOr(extractHidden(std::string_view(tail).substr(0, tail.size() - 1), "t", random)),
        "ab");
}

TEST(PageValues, BodyPatternExpandsItsTemplate) {
    auto re = Regex::compileScriptPattern("/id=(\\d+)(x)?/");
    ASSERT_TRUE(re);
    const std::string page = "<a href=\"?id=42\">";
    EXPECT_EQ(expandBodyPattern(page, *re, "[$1|$2|$0|$9|$a|$]").value_or("<none>"),
              "[42||id=42||$a|$]");
    EXPECT_FALSE(expandBodyPattern(std::string_view("no match"), *re, "$1"));
    EXPECT_FALSE(expandBodyPattern(std::nullopt, *re, "$1"));
}

struct TargetCase {
    const char* expression;
    const char* page;  // nullptr: no previous body
    const char* expected;
};

TEST(UriExpression, TargetTable) {
    const VariableTable variables{
        {"next", "/v/1"}, {"empty", ""}, {"spaced", "/a b"}, {"crlf", "/a\r\nX: y"}};
    const TargetCase cases[] = {
        {"$action", "<form method=post action=\"/login.php?x=1\">", "/login.php?x=1"},
        {"$ACTION", "<FORM ACTION='/up'>", "/up"},
        {"$action", "<form action=/bare method=post>", "/bare"},
        {"$action", "<form action=/go>", "/go"},
        {"$action", "<form Action=\"/mixed\">", "<none>"},  // only the two spellings
        {"$action", "<form action=\"http://host.example/a/b.html\">", "/a/b.html"},
        {"$action", "<form action=\"https://host.example/a\">", "https://host.example/a"},
        {"$action", "<form action=\"http://host.example\">", "<none>"},  // nothing left
        {"$action", "<form action=\"\">", "<none>"},
        {"$action", "<form>", "<none>"},
        {"$action", nullptr, "<none>"},
        {"$href(item)", "<a href=\"/p1\">item</a><a href=\"/p2\">item</a><a href=\"/p3\">item</a>",
         "/p1"},
        {"$HREF(third)", "<a href=\"/p1\">x</a> <A HREF=http://other.example/a/b.html>third</A>",
         "/a/b.html"},
        {"$href(Third)", "<a href=\"/p1\">third</a>", "<none>"},  // the pattern keeps its case
        {"$href(logo", "<img src=logo.png> <a href='/after'>", "/after"},  // on from the "<"
        {"$href", "<a href=\"/any\">", "/any"},
        {"$href(x)", "x <a href=\"/y\">", "<none>"},  // no "<" before it
        {"$href(x)", "<p>x</p>", "<none>"},
        {"$href(x)", nullptr, "<none>"},
        {"$var(next)", nullptr, "/v/1"},
        {"$VAR(next,/d)", nullptr, "/v/1"},
        {"$var(missing,/default)", nullptr, "/default"},
        {"$var(empty,/default)", "", "/default"},
        {"$var(missing)", nullptr, "<none>"},
        {"$var(missing,)", nullptr, "<none>"},
        {"$var(next", nullptr, "<none>"},
        {"$var(spaced)", nullptr, "/a"},
        {"$var(crlf)", nullptr, "/a"},
        {"$unknown", "<form action=/x>", "<none>"},
    };
    for (const TargetCase& c : cases) {
        std::optional<std::string_view> body;
        if (c.page) body = c.page;
        EXPECT_EQ(valueOr(resolveUriExpression(c.expression, body, variables)), c.expected)
            << c.expression << " on " << (c.page ? c.page : "(none)");
    }
    const std::string longName = "$var(" + std::string(64, 'n') + ",/d)";
    EXPECT_FALSE(resolveUriExpression(longName, std::nullopt, variables));
}

}  // namespace
}  // namespace velk
