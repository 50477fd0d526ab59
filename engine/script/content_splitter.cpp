#include "script/content_splitter.h"

#include <array>

#include "base/ascii.h"
#include "script/param_parser.h"

namespace velk {
namespace {

constexpr std::array kExpressionStarts{"nrand(",  "arand(",  "lrand(", "seq(",    "urlparam(",
                                       "hidden(", "regexp(", "file(",  "rxname(", "var(",
                                       "clid(",   "list(",   "json(",  "meta(",   "cookie("};

// Length of the function name and "(" that follow a "$" at pos, or 0.
size_t expressionStartAt(std::string_view content, size_t pos) {
    std::string_view rest = content.substr(pos + 1);
    for (const char* start : kExpressionStarts) {
        if (startsWithNoCase(rest, start)) return std::char_traits<char>::length(start);
    }
    return 0;
}

}  // namespace

std::vector<ContentPiece> cutContent(std::string_view content) {
    std::vector<ContentPiece> pieces;
    size_t literalStart = 0;
    size_t i = 0;
    while (i < content.size()) {
        if (content[i] != '$') {
            ++i;
            continue;
        }
        if (i + 1 < content.size() && content[i + 1] == '$') {
            i += 2;
            continue;
        }
        size_t nameLength = expressionStartAt(content, i);
        if (nameLength == 0) {
            ++i;
            continue;
        }
        if (i > literalStart)
            pieces.push_back({content.substr(literalStart, i - literalStart), false});
        size_t end = i + 1 + nameLength;  // just past the opening "("
        int depth = 1;
        while (end < content.size() && depth > 0) {
            if (content[end] == '(') ++depth;
            if (content[end] == ')') --depth;
            ++end;
        }
        pieces.push_back({content.substr(i, end - i), true});
        i = literalStart = end;
    }
    if (literalStart < content.size()) pieces.push_back({content.substr(literalStart), false});
    return pieces;
}

Status splitRequestContent(ParsedTest& set, RequestDef& request) {
    const std::string content(request.content ? request.content->view() : std::string_view{});
    for (const ContentPiece& piece : cutContent(content)) {
        if (piece.expression) {
            Status parsed = parseParamValue(set, request, kContentParamName, piece.text,
                                            *request.params, false);
            if (!parsed) return parsed;
        } else {
            // Literal runs are kept exactly as written: "&" and "$$" are content.
            ValuePiece literal;
            literal.text.assign(piece.text);
            request.params->push_back(ParamEntry{kContentParamName, {std::move(literal)}});
        }
    }
    if (request.content) request.content->clear();
    request.rawContent = true;
    return Status::ok();
}

}  // namespace velk
