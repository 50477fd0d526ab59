#pragma once
// Small text helpers shared by the parser and the pages.
#include <optional>
#include <string>
#include <string_view>

namespace velk::demo {

std::string_view trim(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toLower(std::string_view text);
// Decimal digits only, no sign; nullopt when empty, not digits, or above max.
std::optional<unsigned long long> parseUnsigned(std::string_view text, unsigned long long max);
// &, <, >, " and ' as entities, so user text can go anywhere in a page.
std::string escapeHtml(std::string_view text);
// Decodes %XX and '+' (as a space) from a query string or form body.
std::string decodeFormComponent(std::string_view text);

}  // namespace velk::demo
