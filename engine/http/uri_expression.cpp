#include "http/uri_expression.h"

#include "base/ascii.h"

namespace velk {
namespace {

// An unquoted attribute ends at the tag's ">" too.
bool endsLink(char c) {
    return c == '"' || c == '\'' || c == '>' || static_cast<unsigned char>(c) < '!';
}

// The link value that starts at pos: an opening quote or apostrophe is passed
// over, and "http://" with its host is dropped so the path goes to the server
// the request is aimed at.
std::string_view linkValueAt(std::string_view body, size_t pos) {
    if (pos < body.size() && (body[pos] == '"' || body[pos] == '\'')) ++pos;
    std::string_view value = body.substr(pos);
    if (value.starts_with("http://")) {
        size_t i = 7;
        while (i < value.size() && value[i] != '/' && !endsLink(value[i])) ++i;
        value.remove_prefix(i);
    }
    size_t end = 0;
    while (end < value.size() && !endsLink(value[end])) ++end;
    return value.substr(0, end);
}

// Searches for the lower-case form of an attribute, then the upper-case one.
size_t findAttribute(std::string_view body, size_t from, std::string_view lower,
                     std::string_view upper) {
    size_t pos = body.find(lower, from);
    if (pos == std::string_view::npos) pos = body.find(upper, from);
    return pos == std::string_view::npos ? pos : pos + lower.size();
}

std::optional<std::string_view> resolveAction(std::string_view body) {
    size_t pos = findAttribute(body, 0, " action=", " ACTION=");
    if (pos == std::string_view::npos) return std::nullopt;
    return linkValueAt(body, pos);
}

std::optional<std::string_view> resolveHref(std::string_view args, std::string_view body) {
    if (!args.empty() && args[0] == '(') args.remove_prefix(1);
    std::string_view pattern = args.substr(0, args.find(')'));
    size_t found = body.find(pattern);
    if (found == std::string_view::npos) return std::nullopt;
    size_t open = body.rfind('<', found);
    if (open == std::string_view::npos) return std::nullopt;
    size_t pos = findAttribute(body, open, " href=", " HREF=");
    if (pos == std::string_view::npos) return std::nullopt;
    return linkValueAt(body, pos);
}

std::optional<std::string_view> resolveVar(std::string_view args, const VariableTable& variables) {
    if (!args.empty() && args[0] == '(') args.remove_prefix(1);
    size_t nameEnd = args.find_first_of(",)");
    if (nameEnd == std::string_view::npos || nameEnd > kMaxUriVariableName) return std::nullopt;
    std::string_view value;
    if (auto v = variables.find(args.substr(0, nameEnd));
        v != variables.end() && !v->second.empty()) {
        value = v->second;
    } else {
        if (args[nameEnd] != ',') return std::nullopt;
        std::string_view rest = args.substr(nameEnd + 1);
        value = rest.substr(0, rest.find(')'));
    }
    // Variables may hold text captured from responses: a blank or line break
    // would end the request line early and let a page inject headers.
    size_t end = 0;
    while (end < value.size() && static_cast<unsigned char>(value[end]) >= '!' &&
           value[end] != 0x7F)
        ++end;
    return value.substr(0, end);
}

}  // namespace

std::optional<std::string_view> resolveUriExpression(std::string_view expression,
                                                     std::optional<std::string_view> body,
                                                     const VariableTable& variables) {
    std::optional<std::string_view> target;
    if (startsWithNoCase(expression, "$action")) {
        if (body) target = resolveAction(*body);
    } else if (startsWithNoCase(expression, "$href")) {
        if (body) target = resolveHref(expression.substr(5), *body);
    } else if (startsWithNoCase(expression, "$var")) {
        target = resolveVar(expression.substr(4), variables);
    }
    // An empty target would leave the request line without one.
    if (target && target->empty()) target.reset();
    return target;
}

}  // namespace velk
