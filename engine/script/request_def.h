#pragma once
// One request section of a test script, and the parameter entries it carries.
//
// A RequestDef is built by the parser and owned by its ParsedTest.  When a run starts
// each virtual user gets its own copy; the parameter list is shared between the
// copies by reference count and is read-only during a run.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/json_path.h"
#include "base/text_buffer.h"
#include "regex/regex.h"

namespace velk {

// One piece of a parameter value: a literal text or one parameter expression.
// Which fields are used depends on the kind (see the parameter parser).
struct ValuePiece {
    enum class Kind : uint8_t {
        NumberRange = 0,    // $NRand: low, high, text = prefix
        RandomString = 1,   // $ARand: first, second = min and max length
        RandomPick = 2,     // $LRand: items
        Literal = 3,        // text
        Counter = 4,        // $Seq: text = prefix, first = start, width, second = step, slot
        LinkParameter = 5,  // $UrlParam: text = name
        HiddenField = 6,    // $Hidden: text = name
        Capture = 7,        // $RegExp: pattern, extra = template
        FileUpload = 8,     // $File: text = path, extra = content type
        ComputedName = 9,   // $rxname: pattern, extra = name template, nested = the value
        Variable = 10,      // $var: text = name, extra = default
        UserNumber = 11,    // $clid: text = prefix, extra = suffix
        CyclicPick = 12,    // $list: items, slot
        JsonValue = 13,     // $Json: text = path as written, jsonPath
        MetaTag = 14,       // $Meta: text = the meta tag's name
        CookieValue = 15,   // $Cookie: text = the cookie's name
    };
    Kind kind = Kind::Literal;
    std::string text;
    std::string extra;
    double low = 0, high = 0;
    int32_t first = 0, second = 0, width = 0;
    int32_t slot = -1;
    std::vector<std::string> items;
    std::shared_ptr<const Regex> pattern;
    std::shared_ptr<const std::vector<ValuePiece>> nested;
    std::shared_ptr<const json::Path> jsonPath;
};

struct ParamEntry {
    std::string name;
    std::vector<ValuePiece> pieces;
};
using ParamList = std::vector<ParamEntry>;

// Name of the parameter entries that carry raw request content.
inline constexpr const char* kContentParamName = "pcontent";

// A pattern as the script wrote it, compiled once and shared by every user's
// copy of the request (matching is read-only).
struct CompiledPattern {
    std::string text;
    std::shared_ptr<const Regex> regex;
};

// $exportvar: a pattern matched against each response and the template that
// makes the variable's value from the match.
struct ExportEntry {
    CompiledPattern pattern;
    std::string valueTemplate;
};

// $exportjson: the value at a path of the response's JSON body.
struct JsonExport {
    std::string pathText;
    json::Path path;
};

struct RequestDef {
    std::string uri;
    std::string name;
    std::optional<std::string> server;  // none: the general server option
    int32_t port = 0;
    bool portGiven = false;  // by a $port key, not taken from the port option
    std::optional<CompiledPattern> fail;
    bool failInverted = false;
    // $expectlocation: the path the last redirect must lead to; empty: no
    // redirect may happen.  Otherwise the request counts as a failed check.
    std::optional<std::string> expectLocation;
    int32_t method = 0;  // an HttpMethod (script/http_method.h)
    int32_t delay = 0;
    int32_t delayUpper = 0;
    int32_t keepalive = 0;
    bool multipart = false;
    std::string boundary;  // multipart boundary, drawn anew for each request
    std::shared_ptr<ParamList> params = std::make_shared<ParamList>();
    ParamList runtimeParams;
    std::map<std::string, ExportEntry> exports;
    std::map<std::string, JsonExport> jsonExports;
    // $exportheader: variable name -> response header name (any case).
    std::map<std::string, std::string> headerExports;
    std::map<std::string, std::string> overrides;
    std::map<std::string, std::string> computedNames;  // names given by $rxname pieces
    std::unique_ptr<TextBuffer> content;               // content being collected or read
    bool rawContent = false;                           // the body is the "pcontent" pieces
    // $header lines, each a value whose expressions are evaluated per request
    // (shared: read-only during a run), and whether one of them names the
    // content type, so that no form content type is made up beside it.
    std::shared_ptr<ParamList> headerLines;
    bool headerNamesContentType = false;
    // A $uri with value expressions in it (other than the "$action", "$href"
    // and "$var" forms at its start): its pieces, evaluated per request.
    std::shared_ptr<const std::vector<ValuePiece>> uriPieces;
    std::unique_ptr<TextBuffer> resolvedUri;  // the user's uri made of them, last time
    int32_t secure = 0;  // 0 follows the secure option, 2 TLS, other values plain

    // A virtual user's own copy: texts and buffers duplicated, the parameter list
    // shared, overrides copied.
    RequestDef cloneForUser() const;
};

// Applies a request key ($uri, $server, $port, $method, $keepalive, $delay,
// $secure; any case) to request.  False when name is no request key.
bool applyRequestKey(RequestDef& request, std::string_view name, std::string_view value);
// Whether the request has a parameter of that name (exact case), whether parsed
// with the test or added while it runs.
bool hasParameter(const RequestDef& request, std::string_view name);

}  // namespace velk
