#pragma once
// The name=value pairs of a query string or an application/x-www-form-urlencoded
// body, decoded.  Also reads the name=value pairs of a Cookie header.  A value type;
// not safe for concurrent modification.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velk::demo {

class FormData {
public:
    // "a=1&b=x+y" (also "a" alone, as a=""); empty pieces are skipped.
    static FormData parse(std::string_view encoded);
    // "a=1; session=xyz"; cookie values are taken as they are, not decoded.
    static FormData parseCookies(std::string_view header);

    // The first value of name, or empty when absent.
    std::string_view get(std::string_view name) const;
    bool has(std::string_view name) const;
    size_t size() const { return m_fields.size(); }

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

}  // namespace velk::demo
