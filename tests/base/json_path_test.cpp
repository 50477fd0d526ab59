#include "base/json_path.h"

#include <gtest/gtest.h>

#include <string>

namespace velk::json {
namespace {

using Outcome = Lookup::Outcome;

Lookup lookUp(std::string_view text, std::string_view pathText) {
    std::optional<Path> path = parsePath(pathText);
    EXPECT_TRUE(path.has_value()) << pathText;
    return path ? find(text, *path) : Lookup{};
}

TEST(JsonPath, FindsValuesByPath) {
    const std::string body = R"({"token":"abc.def","data":{"items":[{"id":17},{"id":-2.5e3}]},
        "a":{"b c":true,"q\"k":null},"esc":"tab\tline\nq\"\u00e9\ud83d\ude00\ud800x",
        "list":[1,[2,3],{"x":"y"}],"dup":1,"dup":2,"utf8":"é","empty":{}})";
    struct Case {
        const char* path;
        Outcome outcome;
        std::string value;
    };
    const Case cases[] = {
        {"token", Outcome::kFound, "abc.def"},
        {"$.token", Outcome::kFound, "abc.def"},
        {"data.items[0].id", Outcome::kFound, "17"},
        {"$.data.items[1].id", Outcome::kFound, "-2.5e3"},
        {R"($.a["b c"])", Outcome::kFound, "true"},
        {R"($['a']['q\"k'])", Outcome::kFound, ""},  // null gives nothing
        {"esc", Outcome::kFound, "tab\tline\nq\"\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDx"},
        {"utf8", Outcome::kFound, "\xC3\xA9"},
        {"list[1]", Outcome::kFound, "[2,3]"},
        {"list[2]", Outcome::kFound, R"({"x":"y"})"},
        {"data.items", Outcome::kFound, R"([{"id":17},{"id":-2.5e3}])"},
        {"dup", Outcome::kFound, "1"},  // the first of repeated names
        {"list[3]", Outcome::kNotFound, ""},
        {"missing", Outcome::kNotFound, ""},
        {"token.x", Outcome::kNotFound, ""},  // a string has no members
        {"data[0]", Outcome::kNotFound, ""},  // an object is no array
        {"empty.x", Outcome::kNotFound, ""},
        {"Token", Outcome::kNotFound, ""},  // names are exact
    };
    for (const Case& c : cases) {
        Lookup found = lookUp(body, c.path);
        EXPECT_EQ(found.outcome, c.outcome) << c.path << " " << found.problem;
        EXPECT_EQ(found.value, c.value) << c.path;
    }
    EXPECT_EQ(lookUp("  [1, 2]  ", "$").value, "[1, 2]");
    EXPECT_EQ(lookUp("\"top\"", "").value, "top");

    for (const char* bad : {"a..b", "a[", "a[x]", "a[\"b", "$x", "a[1", "[\"a\"]x"})
        EXPECT_FALSE(parsePath(bad).has_value()) << bad;
}

TEST(JsonPath, DamagedAndHostileBodiesGiveAClearResult) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string deepObjects = [] {
        std::string s;
        for (int i = 0; i < 100000; ++i) s += "{\"a\":";
        return s + "1" + std::string(100000, '}');
    }();
    const std::string deepBeforeValue = "{\"x\":" + deep + ",\"a\":1}";
    const std::string hugeNumber = "{\"a\":" + std::string(100000, '9') + "}";
    const std::string bigString = "{\"pad\":\"" + std::string(10 << 20, 'x') + "\",\"a\":1}";
    const std::string nearLimit = "{\"pad\":\"" + std::string(7 << 20, 'x') + "\",\"a\":1}";
    struct Case {
        std::string body;
        const char* path;
        Outcome outcome;
        const char* problem;
    };
    const Case cases[] = {
        {"{\"a\":1,\"x\":" + deep + "}", "a", Outcome::kFound, nullptr},  // not read past
        {deep, "[0]", Outcome::kDamaged, "nested deeper than 256 levels"},
        {deepObjects, "a.a.a.a", Outcome::kDamaged, "nested deeper than 256 levels"},
        {deepBeforeValue, "a", Outcome::kDamaged, "nested deeper than 256 levels"},
        {hugeNumber, "a", Outcome::kDamaged, "number longer than 64 characters"},
        {"{\"a\":1e999999}", "a", Outcome::kFound, nullptr},  // as written
        {"{\"a\":\"never ends", "a", Outcome::kDamaged, "unterminated string"},
        {"{\"a\":\"x\\", "a", Outcome::kDamaged, "unterminated string"},
        {"{\"x\":\"bad \\q\",\"a\":1}", "a", Outcome::kDamaged, "invalid escape in a string"},
        {"{\"a\":\"\\u12G4\"}", "a", Outcome::kDamaged, "invalid \\u escape"},
        {"{\"a\":\"\\u12", "a", Outcome::kDamaged, "unfinished \\u escape"},
        {std::string("{\"a\":\"x\0y\"}", 11), "a", Outcome::kDamaged,
         "control character in a string"},
        {std::string("{\"x\":1\0,\"a\":2}", 14), "a", Outcome::kDamaged, "',' or the end"},
        {std::string("\0\0\0", 3), "a", Outcome::kDamaged, "not a JSON value"},
        {bigString, "a", Outcome::kDamaged, "text longer than 8388608 bytes"},
        {nearLimit, "a", Outcome::kFound, nullptr},
        {"", "a", Outcome::kDamaged, "text ends where a value is expected"},
        {"<html>not json</html>", "a", Outcome::kDamaged, "not a JSON value"},
        {"{\"x\":[1,2,}", "x", Outcome::kDamaged, "not a JSON value"},
        {"{\"x\":01,\"a\":1}", "a", Outcome::kDamaged, "',' or the end"},
        {"{\"x\" 1}", "a", Outcome::kDamaged, "':' expected"},
        {"{\"x\":tru}", "x", Outcome::kDamaged, "not a JSON value"},
        {"{\"x\":[1,2", "x", Outcome::kDamaged, "',' or the end"},
        {"{1:2}", "a", Outcome::kDamaged, "member name expected"},
    };
    for (const Case& c : cases) {
        Lookup found = lookUp(c.body, c.path);
        EXPECT_EQ(found.outcome, c.outcome) << c.body.substr(0, 40) << " " << found.problem;
        if (c.problem) {
            EXPECT_NE(found.problem.find(c.problem), std::string::npos) << found.problem;
        }
    }
}

}  // namespace
}  // namespace velk::json
