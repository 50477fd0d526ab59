#pragma once
// Argument items of the script language: "a,b)" or "\"a, b\",c)".  Used by
// $exportvar, sequence arguments and the list-like parameter expressions.
#include <cstddef>
#include <string>
#include <string_view>

namespace velk {

struct ItemStyle {
    // Inside quotes a backslash escapes any character (otherwise only a quote).
    bool escapeAny = false;
    // Longest item kept; longer ones are cut.
    size_t maxLength = std::string::npos;
};

// Reads the item that starts at pos.  A bare item runs to the next "," or ")";
// a quoted one (spaces before the quote are skipped) to its closing quote.  The
// "," or ")" after the item is consumed, and "%2c" stands for a comma.  On return
// pos is just past what was consumed.
std::string readItem(std::string_view text, size_t& pos, const ItemStyle& style = {});

// Replaces every "%2c" with a comma.
std::string decodeCommas(std::string_view text);

}  // namespace velk
