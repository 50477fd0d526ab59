#include "regex/delimited_pattern.h"

namespace velk {

DelimitedPattern splitDelimitedPattern(std::string_view text) {
    DelimitedPattern p;
    p.text.assign(text);
    if (text.empty() || text[0] != '/') {
        p.error = kPatternMalformed;
        return p;
    }
    size_t i = 1;
    while (i < text.size() && text[i] != '/') i += (text[i] == '\\' && i + 1 < text.size()) ? 2 : 1;
    if (i >= text.size()) {
        p.error = kPatternMalformed;
        p.errorPosition = text.size();
        return p;
    }
    p.expression.assign(text.substr(1, i - 1));
    for (size_t f = i + 1; f < text.size(); ++f) {
        switch (text[f]) {
            case 'i':
                p.flags |= kFlagIgnoreCase;
                break;
            case 's':
                p.flags |= kFlagDotAll;
                break;
            case 'm':
                p.flags |= kFlagMultiLine;
                break;
            case 'x':
                p.flags |= kFlagExtended;
                break;
            case 'o':
                p.flags |= kFlagFirstCharSet;
                break;
            default:
                p.error = kPatternUnknownFlag;
                p.errorPosition = f;
                return p;
        }
    }
    return p;
}

}  // namespace velk
