#pragma once
// The text rules of a recorded navigation: which URLs are recorded and with
// what scheme, how a query or form body becomes name/value pairs, and how the
// navigation's extra header lines become the content type or "header$" pairs.
//
// Pure functions; safe from any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/scenario/recorded_request_sink.h"

namespace velk::recorder {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// 1 for "http:", 2 for "https:" (either written in any case), 0 for any other
// URL, which is not recorded.
int32_t schemeOf(std::string_view url);

// Splits a query or urlencoded body into its pairs, names and values exactly as
// written.  Control characters, blanks and bytes above 'z' between pairs are
// skipped; a NUL byte ends the text.
Pairs scanPairs(std::string_view text);

// Reads the navigation's extra header lines into the navigation: a
// "Content-Type" line sets its content type, every other line (empty ones
// included) becomes a ("header$", line) pair.
void applyHeaderLines(std::string_view headers, scenario::RecordedNavigation& navigation);

}  // namespace velk::recorder
