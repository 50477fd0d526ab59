#pragma once
// Raw request content ($content, $xmlcontent) is cut into literal runs and
// parameter expressions, each kept as a "pcontent" parameter entry, so that the
// body is rebuilt for every request with fresh values.
#include <string_view>
#include <vector>

#include "base/status.h"
#include "script/request_def.h"

namespace velk {

struct ParsedTest;

struct ContentPiece {
    std::string_view text;
    bool expression;
};

// Cuts content into pieces.  An expression starts at "$" followed by a known
// function name and "(" (any case) and ends at the ")" that balances it; "$$"
// stays literal; an expression still open at the end takes the rest.
std::vector<ContentPiece> cutContent(std::string_view content);

// Cuts the request's collected content into "pcontent" entries and empties the
// content buffer.  Fails with the message of the first expression rejected.
Status splitRequestContent(ParsedTest& set, RequestDef& request);

}  // namespace velk
