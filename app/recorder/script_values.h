#pragma once
// Script values: what a page's scripts (fetch, XMLHttpRequest) and its
// navigations sent and got back, and proposals to replace a value that a later
// request sent by the engine expression that fetches it again at run time:
//
//   a JSON field of an earlier answer   $exportjson=NAME,PATH on the answering
//                                       request, $var(NAME) where it is sent
//   a <meta> tag of the page just before   $Meta(name)
//   a cookie the server set, echoed in a header or value   $Cookie(name)
//   the Location header of an earlier answer   $exportheader=NAME,Location on
//                                       the answering request, $var(NAME) where
//                                       it is sent: as a header value, JSON field
//                                       or parameter, or as the whole URL when
//                                       the request went where the Location
//                                       (a path such as "/api/orders/42")
//                                       points.  The Location of a redirect is
//                                       not taken: the engine follows it and
//                                       keeps only the last answer's headers.
//
// Which values are proposed (so that the list stays short):
//   - the value came out of an earlier response (the latest one that holds it);
//   - the user did not type it: a value that any request sent before the
//     response that gave it out (a user name, a password) is never proposed;
//   - and it changes: it differs between two loads of the same visit (when a
//     second load is given), or it looks generated: at least
//     kMinGeneratedLength characters, all letters, digits or "-_.~+/=", with
//     both letters and digits.  A Location rarely is such a token; the rule
//     named "Location" takes one whose path's last segment is all digits or
//     looks generated ("/api/orders/42").
// Each proposal says where the value came from and which rule chose it.
// Bounded for long visits: a value is looked for in the 200 answers before its
// request, in the first 20000 JSON values of each, and at most 500 values of
// one request are looked at.
//
// API for the recorder's proposals dialog (and the HAR import):
//   std::vector<ScriptExchange> exchanges = ...;      // in the scenario's order
//   auto proposals = proposeScriptValues(exchanges);  // show, let the user untick
//   { std::lock_guard g(container); applyScriptValues(container, proposals); }
//
// Plain functions over plain values; the caller holds the container's lock
// around applyScriptValues.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velk::scenario {
class CRequestsContainer;
}

namespace velk::recorder {

// Response bodies are kept up to this many bytes; a value past it is not found.
inline constexpr size_t kMaxKeptResponseBody = 256 * 1024;
// The shortest value the "looks generated" rule takes.
inline constexpr size_t kMinGeneratedLength = 16;

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as the browser sent it, and its answer.
struct ScriptExchange {
    int32_t requestId = 0;  // the scenario request it became (0: none)
    bool navigation = false;
    std::string method;       // "GET", "POST", ...
    std::string url;          // absolute
    HeaderList headers;       // the headers the page or script set, not the browser's own
    std::string contentType;  // of the body sent
    std::string body;         // as sent
    int32_t status = 0;
    std::string responseType;    // the answer's Content-Type
    HeaderList responseHeaders;  // as received, Set-Cookie and Location included
    std::string responseBody;    // up to kMaxKeptResponseBody bytes
};

struct ScriptValueProposal {
    // Url: the request's whole URL (its path and query in the scenario).
    enum class Place { Header, JsonField, Parameter, Url };
    enum class Source { JsonField, MetaTag, Cookie, Location };

    int32_t requestId = 0;  // the request that sends the value
    Place place = Place::Header;
    std::string name;  // header name, JSON path of the body field, parameter name or "URL"
    std::string recordedValue;
    Source source = Source::JsonField;
    int32_t sourceRequestId = 0;  // the request whose answer gave the value out
    std::string sourceName;       // JSON path, meta tag name, cookie name or "Location"
    std::string variable;         // JSON, Location: the variable the answering request keeps
                                  // it in ($exportjson, $exportheader)
    std::string expression;       // what replaces the value
    std::string origin;           // where it came from, for the user
    std::string rule;             // which rule chose it, for the user
    bool ticked = true;
};

// secondLoad: the same visit recorded again (may be null); a value whose source
// gives another value there is proposed by the "differs" rule.
std::vector<ScriptValueProposal> proposeScriptValues(
    const std::vector<ScriptExchange>& exchanges,
    const std::vector<ScriptExchange>* secondLoad = nullptr);

// Rewrites each ticked proposal's request: its header line, the field in its
// content, its parameter or its URL now holds the expression; a JSON source's
// request gets its $exportjson line, a Location source's its $exportheader line.  Returns how many
// were applied (a request or value that is gone is skipped).
int32_t applyScriptValues(scenario::CRequestsContainer& requests,
                          const std::vector<ScriptValueProposal>& proposals);

// The name=value pairs of a query or urlencoded body, decoded.
HeaderList decodeFormPairs(std::string_view text);

// The header lines, content and $exportjson lines of the scenario's requests
// are parameters with these names (written as the script's request keys).
inline constexpr const char* kHeaderParam = "$header";
inline constexpr const char* kContentParam = "$content";
inline constexpr const char* kExportJsonParam = "$exportjson";
inline constexpr const char* kExportHeaderParam = "$exportheader";

}  // namespace velk::recorder
