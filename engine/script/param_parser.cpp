#include "script/param_parser.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "base/ascii.h"
#include "base/message.h"
#include "script/item_reader.h"
#include "script/parsed_test.h"

namespace velk {
namespace {

using Kind = ValuePiece::Kind;

struct FunctionName {
    const char* name;
    int id;
};
enum FunctionId {
    kNRand,
    kARand,
    kLRand,
    kSeq,
    kUrlParam,
    kHidden,
    kRegExp,
    kFile,
    kRxName,
    kVar,
    kClid,
    kList,
    kEnc,
    kJson,
    kMeta,
    kCookie
};
// Matched in this order by their leading letters, without regard to case.
constexpr std::array<FunctionName, 16> kFunctions{{{"NRand", kNRand},
                                                   {"ARand", kARand},
                                                   {"LRand", kLRand},
                                                   {"Seq", kSeq},
                                                   {"UrlParam", kUrlParam},
                                                   {"Hidden", kHidden},
                                                   {"RegExp", kRegExp},
                                                   {"File", kFile},
                                                   {"rxname", kRxName},
                                                   {"var", kVar},
                                                   {"clid", kClid},
                                                   {"list", kList},
                                                   {"enc<<", kEnc},
                                                   {"Json", kJson},
                                                   {"Meta", kMeta},
                                                   {"Cookie", kCookie}}};

const ItemStyle kNamedItem{.escapeAny = true, .maxLength = 255};

// Reads items after an opening "(" until one ends with ")" or the text ends.
std::vector<std::string> readItemList(std::string_view text, size_t pos,
                                      const ItemStyle& style = {}) {
    std::vector<std::string> items;
    while (pos < text.size()) {
        items.push_back(readItem(text, pos, style));
        if (text[pos - 1] == ')') break;
    }
    return items;
}

// End of "/expression/" starting at pos (which holds the opening "/"): the index
// of the closing "/" not escaped by a backslash, or npos.
size_t closingSlash(std::string_view text, size_t pos) {
    for (size_t i = pos + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
            continue;
        }
        if (text[i] == '/') return i;
    }
    return std::string_view::npos;
}

// One "$Name..." piece as the reader of its function sees it.
struct Call {
    int id;                      // FunctionId
    std::string_view piece;      // the whole piece, "$" included, for messages
    std::string_view args;       // what follows the function's name
    std::string_view paramName;  // the parameter's own name
    bool open() const { return !args.empty() && args[0] == '('; }
};

// The text of a piece that is no expression: as written, or "$$..." as "$...";
// nothing for an expression.
std::optional<std::string_view> literalText(std::string_view piece) {
    if (piece.empty() || piece[0] != '$') return piece;
    if (piece.size() >= 2 && piece[1] == '$') return piece.substr(1);
    return std::nullopt;
}

// The function whose name begins body ("NRand(1,9)" without its "$"), or null.
const FunctionName* findFunction(std::string_view body) {
    for (const FunctionName& f : kFunctions) {
        if (startsWithNoCase(body, f.name)) return &f;
    }
    return nullptr;
}

class PieceParser {
public:
    PieceParser(ParsedTest& set, RequestDef& request, bool runtime)
        : m_set(set), m_request(request), m_runtime(runtime) {}

    Status parse(std::string_view piece, std::string_view paramName, std::vector<ValuePiece>& out);

private:
    // Fills p from the arguments of one function; each reads the syntax of the
    // functions its name says.
    Status readCall(const Call& c, ValuePiece& p);
    Status readNumberRange(const Call& c, ValuePiece& p);   // $NRand
    Status readRandomString(const Call& c, ValuePiece& p);  // $ARand
    Status readPick(const Call& c, ValuePiece& p);          // $LRand, $list
    Status readCounter(const Call& c, ValuePiece& p);       // $Seq
    Status readPageField(const Call& c, ValuePiece& p);     // $UrlParam, $Hidden
    Status readCapture(const Call& c, ValuePiece& p);       // $RegExp
    Status readFileUpload(const Call& c, ValuePiece& p);    // $File
    Status readComputedName(const Call& c, ValuePiece& p);  // $rxname
    Status readNamedValue(const Call& c, ValuePiece& p);    // $var, $clid
    Status readJsonPath(const Call& c, ValuePiece& p);      // $Json
    Status readNamedLookup(const Call& c, ValuePiece& p);   // $Meta, $Cookie

    Status takeSlot(ValuePiece& p) {
        if (m_runtime) {
            return invalidInput("Error: $seq parameter cannot be created in runtime!");
        }
        p.slot = m_set.slotCount++;
        return Status::ok();
    }

    ParsedTest& m_set;
    RequestDef& m_request;
    bool m_runtime;
    int m_depth = 0;  // $rxname pieces around the one being parsed
};

Status PieceParser::parse(std::string_view piece, std::string_view paramName,
                          std::vector<ValuePiece>& out) {
    ValuePiece p;
    if (std::optional<std::string_view> literal = literalText(piece)) {
        p.text.assign(*literal);
        out.push_back(std::move(p));
        return Status::ok();
    }
    const std::string_view body = piece.substr(1);
    const FunctionName* fn = findFunction(body);
    if (!fn) {
        return invalidInput("Unknown $ parameter %s\n", std::string(body).c_str());
    }
    const Call call{fn->id, piece, body.substr(std::char_traits<char>::length(fn->name)),
                    paramName};
    if (Status read = readCall(call, p); !read) return read;
    out.push_back(std::move(p));
    return Status::ok();
}

Status PieceParser::readCall(const Call& c, ValuePiece& p) {
    switch (c.id) {
        case kNRand:
            return readNumberRange(c, p);
        case kARand:
            return readRandomString(c, p);
        case kLRand:
        case kList:
            return readPick(c, p);
        case kSeq:
            return readCounter(c, p);
        case kUrlParam:
        case kHidden:
            return readPageField(c, p);
        case kRegExp:
            return readCapture(c, p);
        case kFile:
            return readFileUpload(c, p);
        case kRxName:
            return readComputedName(c, p);
        case kVar:
        case kClid:
            return readNamedValue(c, p);
        case kEnc:
            p.text = percentEncode(c.args);
            return Status::ok();
        case kJson:
            return readJsonPath(c, p);
        case kMeta:
        case kCookie:
            return readNamedLookup(c, p);
    }
    return Status::ok();
}

Status PieceParser::readNumberRange(const Call& c, ValuePiece& p) {
    const std::string argsText(c.args);
    int used = 0;
    if (std::sscanf(argsText.c_str(), "(%lf,%lf%n", &p.low, &p.high, &used) < 2 || used == 0) {
        return invalidInput("Invalid usage of %s\n", std::string(c.piece).c_str());
    }
    p.kind = Kind::NumberRange;
    if (size_t(used) < c.args.size() && c.args[size_t(used)] == ',') {
        size_t pos = size_t(used) + 1;
        p.text = readItem(c.args, pos);
    }
    return Status::ok();
}

Status PieceParser::readRandomString(const Call& c, ValuePiece& p) {
    const std::string argsText(c.args);
    if (std::sscanf(argsText.c_str(), "(%d,%d)", &p.first, &p.second) < 2) {
        return invalidInput("Invalid usage of %s\n", argsText.c_str());
    }
    p.kind = Kind::RandomString;
    return Status::ok();
}

Status PieceParser::readPick(const Call& c, ValuePiece& p) {
    const bool cyclic = c.id == kList;
    if (!c.open()) {
        if (cyclic) return invalidInput("'(' expected in after $list\n");
        return invalidInput("Invalid usage of %s\n", std::string(c.piece).c_str());
    }
    p.kind = cyclic ? Kind::CyclicPick : Kind::RandomPick;
    p.items = readItemList(c.args, 1);
    return cyclic ? takeSlot(p) : Status::ok();
}

Status PieceParser::readCounter(const Call& c, ValuePiece& p) {
    p.kind = Kind::Counter;
    std::string_view a = c.open() ? c.args.substr(1) : c.args;
    size_t comma = a.find(',');
    if (comma == std::string_view::npos) {
        p.text.assign(a.substr(0, a.find(')')));
    } else {
        p.text.assign(a.substr(0, comma));
        size_t startEnd = a.find_first_of(",)", comma + 1);
        if (startEnd == std::string_view::npos) {
            return invalidInput("Invalid usage of $Seq\n");
        }
        const std::string start(a.substr(comma + 1, startEnd - comma - 1));
        p.first = std::atoi(start.c_str());
        p.width = int32_t(start.size());
        if (a[startEnd] == ',') {
            const std::string step(
                a.substr(startEnd + 1, a.find(')', startEnd + 1) - startEnd - 1));
            p.second = std::atoi(step.c_str());
        }
    }
    return takeSlot(p);
}

Status PieceParser::readPageField(const Call& c, ValuePiece& p) {
    const bool link = c.id == kUrlParam;
    p.kind = link ? Kind::LinkParameter : Kind::HiddenField;
    if (c.open()) {
        std::string_view name = c.args.substr(1, c.args.find(')') - 1);
        p.text = link ? decodeCommas(name) : std::string(name);
    } else {
        p.text.assign(c.paramName);
    }
    return Status::ok();
}

Status PieceParser::readCapture(const Call& c, ValuePiece& p) {
    const std::string_view args = c.args;
    if (args.size() < 2 || args[0] != '(' || args[1] != '/') {
        return invalidInput("Invalid regexp parameter usage");
    }
    size_t close = closingSlash(args, 1);
    if (close == std::string_view::npos) {
        return invalidInput("Invalid regexp parameter usage\n");
    }
    size_t comma = args.find(',', close);
    std::string_view delimited =
        args.substr(1, (comma == std::string_view::npos ? args.size() : comma) - 1);
    p.pattern = Regex::compileScriptPattern(delimited);
    if (!p.pattern) {
        return invalidInput("Invalid regular expression for regexp parameter: %s",
                            std::string(delimited).c_str());
    }
    p.kind = Kind::Capture;
    if (comma != std::string_view::npos) {
        std::string_view rest = args.substr(comma + 1);
        if (!rest.empty()) rest.remove_suffix(1);  // the closing ")"
        p.extra.assign(rest);
    }
    return Status::ok();
}

Status PieceParser::readFileUpload(const Call& c, ValuePiece& p) {
    std::string_view a = c.open() ? c.args.substr(1) : c.args;
    size_t comma = a.find(',');
    std::string_view path = a.substr(0, comma);
    std::string_view type =
        comma == std::string_view::npos ? std::string_view() : a.substr(comma + 1);
    std::string_view& last = comma == std::string_view::npos ? path : type;
    if (!last.empty() && last.back() == ')') last.remove_suffix(1);
    p.kind = Kind::FileUpload;
    p.text = decodeCommas(path);
    p.extra = decodeCommas(type);
    m_request.multipart = true;
    m_request.method = 1;
    return Status::ok();
}

Status PieceParser::readComputedName(const Call& c, ValuePiece& p) {
    const std::string_view args = c.args;
    size_t pair = args.find("),");
    if (args.size() < 2 || args[0] != '(' || args[1] != '/' || pair == std::string_view::npos) {
        return invalidInput("Invalid $rxname usage\n");
    }
    size_t close = closingSlash(args, 1);
    size_t comma = close == std::string_view::npos ? close : args.find(',', close);
    if (comma == std::string_view::npos || comma > pair) {
        return invalidInput("Invalid $rxname usage\n");
    }
    std::string_view delimited = args.substr(1, comma - 1);
    p.pattern = Regex::compileScriptPattern(delimited);
    if (!p.pattern) {
        return invalidInput("Invalid regexp:%s\n", std::string(delimited).c_str());
    }
    p.kind = Kind::ComputedName;
    p.extra.assign(args.substr(comma + 1, pair - comma - 1));
    // Evaluation and clean-up walk the chain recursively: keep it shallow.
    if (m_depth >= kMaxNamedValueDepth) {
        return invalidInput("Error: $rxname nested deeper than %d levels\n", kMaxNamedValueDepth);
    }
    auto nested = std::make_shared<std::vector<ValuePiece>>();
    ++m_depth;
    Status parsed = parse(args.substr(pair + 2), c.paramName, *nested);
    --m_depth;
    if (!parsed) return parsed;
    p.nested = std::move(nested);
    return Status::ok();
}

Status PieceParser::readNamedValue(const Call& c, ValuePiece& p) {
    const bool variable = c.id == kVar;
    if (!c.open()) {
        return invalidInput(variable ? "'(' expected in after $var\n"
                                     : "'(' expected in after $clid\n");
    }
    size_t pos = 1;
    p.kind = variable ? Kind::Variable : Kind::UserNumber;
    p.text = readItem(c.args, pos, kNamedItem);
    if (pos < c.args.size() && c.args[pos - 1] == ',') p.extra = readItem(c.args, pos, kNamedItem);
    return Status::ok();
}

Status PieceParser::readJsonPath(const Call& c, ValuePiece& p) {
    const size_t close = c.args.rfind(')');
    if (!c.open() || close == std::string_view::npos) {
        return invalidInput("'(' expected in after $Json\n");
    }
    p.text.assign(c.args.substr(1, close - 1));
    std::string why;
    std::optional<json::Path> path = json::parsePath(p.text, &why);
    if (!path) {
        return invalidInput("Invalid JSON path %s: %s\n", p.text.c_str(), why.c_str());
    }
    p.kind = Kind::JsonValue;
    p.jsonPath = std::make_shared<const json::Path>(std::move(*path));
    return Status::ok();
}

Status PieceParser::readNamedLookup(const Call& c, ValuePiece& p) {
    const bool meta = c.id == kMeta;
    const size_t close = c.args.find(')');
    if (!c.open() || close == std::string_view::npos || close == 1) {
        return invalidInput("'(' and a name expected after %s\n", meta ? "$Meta" : "$Cookie");
    }
    p.text.assign(c.args.substr(1, close - 1));
    p.kind = meta ? Kind::MetaTag : Kind::CookieValue;
    return Status::ok();
}

}  // namespace

std::string percentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_') {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

Status parseValuePiece(ParsedTest& set, RequestDef& request, std::string_view piece, bool runtime,
                       std::vector<ValuePiece>& out) {
    return PieceParser(set, request, runtime).parse(piece, {}, out);
}

Status parseParamValue(ParsedTest& set, RequestDef& request, std::string_view name,
                       std::string_view value, ParamList& list, bool runtime) {
    ParamEntry entry;
    entry.name.assign(name);
    PieceParser parser(set, request, runtime);
    size_t start = 0;
    for (;;) {
        size_t amp = value.find('&', start);
        std::string_view piece =
            value.substr(start, amp == std::string_view::npos ? value.npos : amp - start);
        if (Status parsed = parser.parse(piece, name, entry.pieces); !parsed) return parsed;
        if (amp == std::string_view::npos) break;
        start = amp + 1;
    }
    list.push_back(std::move(entry));
    return Status::ok();
}

}  // namespace velk
