#include "script/item_reader.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

std::vector<std::string> readAll(std::string_view text, const ItemStyle& style = {}) {
    std::vector<std::string> items;
    size_t pos = 0;
    while (pos < text.size() && items.size() < 100) items.push_back(readItem(text, pos, style));
    return items;
}

TEST(ItemReader, BareAndQuotedItemsWithCommaEscapes) {
    EXPECT_EQ(readAll("a,b%2cc,d)"), (std::vector<std::string>{"a", "b,c", "d"}));
    EXPECT_EQ(readAll("\"x, y\", \"q\\\"z\")"), (std::vector<std::string>{"x, y", "q\"z"}));
    // Only a quote is escaped by default; with escapeAny every character is.
    EXPECT_EQ(readAll("\"a\\b\")"), std::vector<std::string>{"a\\b"});
    EXPECT_EQ(readAll("\"a\\b\")", {.escapeAny = true}), std::vector<std::string>{"ab"});
}

TEST(ItemReader, StopsAfterTheClosingParenthesisAndCutsLongItems) {
    std::string_view text = "one)rest";
    size_t pos = 0;
    EXPECT_EQ(readItem(text, pos), "one");
    EXPECT_EQ(text.substr(pos), "rest");

    pos = 0;
    EXPECT_EQ(readItem("abcdef,", pos, {.maxLength = 3}), "abc");
    pos = 0;
    EXPECT_EQ(readItem("\"unterminated", pos), "unterminated");
}

}  // namespace
}  // namespace velk
