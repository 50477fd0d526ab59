#include "app/recorder/script_values.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

#include "app/base/ascii_text.h"
#include "app/results/json_value.h"
#include "app/scenario/requests_container.h"
#include "app/scenario/url_coding.h"

namespace velk::recorder {
namespace {

using ValueProposal = ScriptValueProposal;
using results::JsonValue;
using LeafVisitor = std::function<void(const std::string& path, const std::string& text)>;

using base::asciiLower;
using base::sameNoCase;
using scenario::withoutFragment;

bool containsNoCase(std::string_view text, std::string_view part) {
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (sameNoCase(text.substr(i, part.size()), part)) return true;
    return false;
}

bool isIdentifier(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_'))
            return false;
    return true;
}

// A path as $Json and $exportjson read it: names joined by ".", element
// numbers in brackets, other names quoted.  Empty for a name it cannot quote.
std::string childPath(const std::string& parent, std::string_view key) {
    if (isIdentifier(key))
        return parent.empty() ? std::string(key) : parent + "." + std::string(key);
    if (key.empty() || key.find_first_of("\"\\$(),") != std::string_view::npos ||
        std::any_of(key.begin(), key.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return "";
    return (parent.empty() ? "$" : parent) + "[\"" + std::string(key) + "\"]";
}

// Strings and whole numbers at the leaves of a JSON document, with their paths.
void walkLeaves(const JsonValue& v, const std::string& path, int depth, const LeafVisitor& visit) {
    if (depth > JsonValue::kMaxDepth) return;
    switch (v.kind()) {
        case JsonValue::Kind::String:
            visit(path, v.string());
            break;
        case JsonValue::Kind::Number:
            if (std::abs(v.number()) < 1e15 && v.number() == std::floor(v.number()))
                visit(path, std::to_string(static_cast<long long>(v.number())));
            break;
        case JsonValue::Kind::Object:
            for (size_t i = 0; i < v.keys().size() && i < v.items().size(); ++i) {
                const std::string child = childPath(path, v.keys()[i]);
                if (!child.empty()) walkLeaves(v.items()[i], child, depth + 1, visit);
            }
            break;
        case JsonValue::Kind::Array:
            for (size_t i = 0; i < v.items().size(); ++i)
                walkLeaves(v.items()[i],
                           (path.empty() ? "$" : path) + "[" + std::to_string(i) + "]", depth + 1,
                           visit);
            break;
        default:
            break;
    }
}

std::unique_ptr<JsonValue> parseJson(std::string_view type, std::string_view body) {
    size_t first = body.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return nullptr;
    if (!containsNoCase(type, "json") && body[first] != '{' && body[first] != '[') return nullptr;
    std::string error;
    return JsonValue::parse(body, error);
}

std::string_view queryOf(std::string_view url) {
    const size_t q = url.find('?');
    if (q == std::string_view::npos) return {};
    const size_t hash = url.find('#', q);
    return url.substr(q + 1,
                      hash == std::string_view::npos ? std::string_view::npos : hash - q - 1);
}

std::string pathOf(std::string_view url) {
    const size_t scheme = url.find("://");
    const size_t slash = url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
    if (slash == std::string_view::npos) return "/";
    return std::string(url.substr(slash, url.find_first_of("?#", slash) - slash));
}

// The content of every <meta> tag by its name (or property), lower-cased.
std::map<std::string, std::string> metaTags(std::string_view html) {
    std::map<std::string, std::string> out;
    std::string lowered(html);
    for (char& c : lowered) c = asciiLower(c);
    for (size_t at = lowered.find("<meta"); at != std::string::npos && out.size() < 200;
         at = lowered.find("<meta", at + 5)) {
        const size_t end = html.find('>', at);
        const std::string_view tag = html.substr(
            at + 5, end == std::string_view::npos ? std::string_view::npos : end - at - 5);
        std::string name, content;
        bool hasContent = false;
        size_t pos = 0;
        while (pos < tag.size()) {
            while (pos < tag.size() && (tag[pos] == ' ' || tag[pos] == '/' || tag[pos] == '\t' ||
                                        tag[pos] == '\n' || tag[pos] == '\r'))
                ++pos;
            const size_t start = pos;
            while (pos < tag.size() && tag[pos] != '=' && tag[pos] != ' ' && tag[pos] != '/') ++pos;
            const std::string attribute(tag.substr(start, pos - start));
            std::string value;
            if (pos < tag.size() && tag[pos] == '=') {
                ++pos;
                const char quote = pos < tag.size() ? tag[pos] : ' ';
                if (quote == '"' || quote == '\'') {
                    const size_t close = tag.find(quote, pos + 1);
                    value =
                        tag.substr(pos + 1, close == std::string_view::npos ? std::string_view::npos
                                                                            : close - pos - 1);
                    pos = close == std::string_view::npos ? tag.size() : close + 1;
                } else {
                    const size_t close = tag.find(' ', pos);
                    value = tag.substr(pos, close == std::string_view::npos ? std::string_view::npos
                                                                            : close - pos);
                    pos = close == std::string_view::npos ? tag.size() : close;
                }
            } else if (pos == start) {
                ++pos;
            }
            if (sameNoCase(attribute, "name") || sameNoCase(attribute, "property")) {
                name = value;
                for (char& c : name) c = asciiLower(c);
            } else if (sameNoCase(attribute, "content") && !hasContent) {
                content = value;
                hasContent = true;
            }
        }
        if (!name.empty() && hasContent && !out.count(name)) out[name] = content;
        if (end == std::string_view::npos) break;
    }
    return out;
}

// The cookies a response set, by name.
std::map<std::string, std::string> setCookies(const HeaderList& headers) {
    std::map<std::string, std::string> out;
    for (const auto& [n, v] : headers) {
        if (!sameNoCase(n, "set-cookie")) continue;
        const std::string_view first = std::string_view(v).substr(0, v.find(';'));
        const size_t eq = first.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        std::string_view name = first.substr(0, eq);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        out[std::string(name)] = std::string(first.substr(eq + 1));
    }
    return out;
}

bool looksGenerated(std::string_view v) {
    if (v.size() < kMinGeneratedLength) return false;
    bool letter = false, digit = false;
    for (char c : v) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            letter = true;
        else if (c >= '0' && c <= '9')
            digit = true;
        else if (std::string_view("-_.~+/=").find(c) == std::string_view::npos)
            return false;
    }
    return letter && digit;
}

// Bounds that keep a long visit's proposals quick: the JSON leaves read of
// one answer, how far back a value is looked for, the values of one request.
constexpr size_t kMaxLeaves = 20000;
constexpr size_t kMaxLookBack = 200;
constexpr size_t kMaxValuesSent = 500;

// A Location path ("/...") resolved against the URL of the request it answered.
std::string resolveLocationPath(std::string_view base, std::string_view path) {
    const size_t scheme = base.find("://");
    const size_t pathStart = base.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
    return std::string(base.substr(0, pathStart)) + std::string(withoutFragment(path));
}

// The Location of an answer that is no redirect, trimmed; empty when none.
std::string locationOf(const ScriptExchange& e) {
    if (e.status >= 300 && e.status < 400) return "";
    for (const auto& [n, v] : e.responseHeaders) {
        if (!sameNoCase(n, "location")) continue;
        const size_t first = v.find_first_not_of(" \t");
        if (first == std::string::npos) return "";
        return v.substr(first, v.find_last_not_of(" \t") + 1 - first);
    }
    return "";
}

// What a response gave out, read once per exchange.
struct Given {
    std::unordered_map<std::string, std::string> jsonPathOf;   // value: its first path
    std::unordered_map<std::string, std::string> jsonValueAt;  // path: value
    std::map<std::string, std::string> meta;
    std::map<std::string, std::string> cookies;
    std::string location;     // as the header gave it
    std::string locationUrl;  // resolved; empty unless the Location is a path ("/...")
};

Given readGiven(const ScriptExchange& e) {
    Given g;
    if (const auto json = parseJson(e.responseType, e.responseBody))
        walkLeaves(*json, "", 0, [&](const std::string& path, const std::string& text) {
            if (g.jsonValueAt.size() >= kMaxLeaves) return;
            g.jsonValueAt.emplace(path, text);
            g.jsonPathOf.emplace(text, path);
        });
    if (containsNoCase(e.responseType, "html")) g.meta = metaTags(e.responseBody);
    g.cookies = setCookies(e.responseHeaders);
    g.location = locationOf(e);
    // Only a path can become the request's whole URL ($uri holds no host).
    if (g.location.starts_with("/") && !g.location.starts_with("//"))
        g.locationUrl = resolveLocationPath(e.url, g.location);
    return g;
}

struct Found {
    ValueProposal::Source source;
    std::string name;
    std::string given;  // the value as the source gave it
};

// A meta tag's or cookie's name goes into an expression: the server chose it,
// so only plain names are taken ("x)$File(..." is not).
bool isPlainName(std::string_view name) {
    return !name.empty() && name.size() <= 128 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.' || c == ':';
    });
}

// Where the response of e gave out value (JSON first, then meta, then cookie,
// then Location); a URL is looked for only as the Location.
std::optional<Found> findIn(const Given& g, const std::string& value, bool metaAllowed, bool url) {
    if (url) {
        if (!g.locationUrl.empty() && g.locationUrl == withoutFragment(value))
            return Found{ValueProposal::Source::Location, "Location", g.location};
        return std::nullopt;
    }
    if (auto it = g.jsonPathOf.find(value); it != g.jsonPathOf.end())
        return Found{ValueProposal::Source::JsonField, it->second, value};
    if (metaAllowed)
        for (const auto& [name, content] : g.meta)
            if (content == value && isPlainName(name))
                return Found{ValueProposal::Source::MetaTag, name, value};
    for (const auto& [name, v] : g.cookies)
        if ((v == value || scenario::urlDecode(v) == value) && isPlainName(name))
            return Found{ValueProposal::Source::Cookie, name, value};
    if (!g.location.empty() && g.location == value)
        return Found{ValueProposal::Source::Location, "Location", value};
    return std::nullopt;
}

// The value the same source gives in another exchange, if any.
std::optional<std::string> valueIn(const Given& g, const Found& f) {
    if (f.source == ValueProposal::Source::Location)
        return g.location.empty() ? std::nullopt : std::optional<std::string>(g.location);
    const auto* table = f.source == ValueProposal::Source::JsonField ? nullptr
                        : f.source == ValueProposal::Source::MetaTag ? &g.meta
                                                                     : &g.cookies;
    if (!table) {
        auto it = g.jsonValueAt.find(f.name);
        return it == g.jsonValueAt.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    auto it = table->find(f.name);
    return it == table->end() ? std::nullopt : std::optional<std::string>(it->second);
}

bool isAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// value in text as a whole token: "7" is not in "77aa".
bool holdsToken(std::string_view text, std::string_view value) {
    for (size_t at = text.find(value); at != std::string_view::npos;
         at = text.find(value, at + 1)) {
        const size_t end = at + value.size();
        if ((at == 0 || !isAlnum(text[at - 1]) || !isAlnum(value.front())) &&
            (end == text.size() || !isAlnum(text[end]) || !isAlnum(value.back())))
            return true;
    }
    return false;
}

bool sentBy(const ScriptExchange& e, const std::string& value) {
    if (holdsToken(e.url, value) || holdsToken(e.body, value)) return true;
    for (const auto& [n, v] : e.headers)
        if (holdsToken(v, value)) return true;
    return holdsToken(scenario::urlDecode(e.body), value) ||
           holdsToken(scenario::urlDecode(e.url), value);
}

struct Sent {
    ValueProposal::Place place;
    std::string name, value;
};

std::vector<Sent> valuesSent(const ScriptExchange& e) {
    std::vector<Sent> out;
    for (const auto& [n, v] : e.headers) {
        if (sameNoCase(n, "content-type") || v.empty()) continue;
        out.push_back({ValueProposal::Place::Header, n, v});
        // "Bearer <token>": the token.
        const size_t blank = v.find(' ');
        if (blank != std::string::npos && blank > 0 && blank <= 10 &&
            isIdentifier(std::string_view(v).substr(0, blank)) && blank + 1 < v.size())
            out.push_back({ValueProposal::Place::Header, n, v.substr(blank + 1)});
    }
    if (auto json = parseJson(e.contentType, e.body))
        walkLeaves(*json, "", 0, [&](const std::string& path, const std::string& text) {
            if (!text.empty()) out.push_back({ValueProposal::Place::JsonField, path, text});
        });
    for (const auto& [n, v] : decodeFormPairs(queryOf(e.url)))
        if (!v.empty()) out.push_back({ValueProposal::Place::Parameter, n, v});
    if (containsNoCase(e.contentType, "x-www-form-urlencoded"))
        for (const auto& [n, v] : decodeFormPairs(e.body))
            if (!v.empty()) out.push_back({ValueProposal::Place::Parameter, n, v});
    out.push_back({ValueProposal::Place::Url, "URL", std::string(withoutFragment(e.url))});
    return out;
}

// The rule named "Location": the path's last segment is a number or a token
// ("/api/orders/42", "/files/0f3a9c1b2d4e5f60").
bool locationLooksGenerated(std::string_view location) {
    std::string_view path = location.substr(0, location.find_first_of("?#"));
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const std::string_view last = path.substr(path.rfind('/') + 1);
    return (!last.empty() && last.size() <= 20 &&
            std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; })) ||
           looksGenerated(last);
}

std::string variableName(const std::string& path) {
    std::string name;
    const size_t dot = path.find_last_of(".]");
    for (char c : path.substr(dot == std::string::npos ? 0 : dot + 1))
        if (isIdentifier(std::string(1, c)) || (c >= '0' && c <= '9')) name += c;
    return isIdentifier(name) ? name : "value";
}

}  // namespace

HeaderList decodeFormPairs(std::string_view text) {
    HeaderList out;
    while (!text.empty()) {
        const size_t amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        out.emplace_back(scenario::urlDecode(pair.substr(0, eq)),
                         scenario::urlDecode(pair.substr(eq + 1)));
    }
    return out;
}

std::vector<ScriptValueProposal> proposeScriptValues(
    const std::vector<ScriptExchange>& exchanges, const std::vector<ScriptExchange>* secondLoad) {
    std::vector<Given> given;
    given.reserve(exchanges.size());
    for (const ScriptExchange& e : exchanges) given.push_back(readGiven(e));
    std::vector<Given> otherGiven;
    if (secondLoad)
        for (const ScriptExchange& e : *secondLoad) otherGiven.push_back(readGiven(e));

    std::vector<ValueProposal> out;
    std::set<std::tuple<int32_t, int, std::string>> done;
    std::map<std::pair<int32_t, std::string>, std::string> variables;  // source, path: name
    std::set<std::string> usedNames;
    for (size_t k = 1; k < exchanges.size(); ++k) {
        std::vector<Sent> sentValues = valuesSent(exchanges[k]);
        if (sentValues.size() > kMaxValuesSent) sentValues.resize(kMaxValuesSent);
        for (const Sent& sent : sentValues) {
            if (done.count({exchanges[k].requestId, int(sent.place), sent.name})) continue;
            std::optional<Found> found;
            size_t j = k;
            const size_t oldest = k > kMaxLookBack ? k - kMaxLookBack : 0;
            const bool url = sent.place == ValueProposal::Place::Url;
            while (j-- > oldest && !found) found = findIn(given[j], sent.value, j + 1 == k, url);
            if (!found) continue;
            ++j;  // the loop stepped past the exchange that held it
            // Typed by the user: sent before the response that gave it out.
            bool typed = false;
            for (size_t i = 0; i <= j && !typed; ++i) typed = sentBy(exchanges[i], sent.value);
            if (typed) continue;

            std::string rule;
            if (secondLoad) {
                // The same request of the second load: same method and path, same turn.
                int turn = 0;
                for (size_t i = 0; i < j; ++i)
                    turn += exchanges[i].method == exchanges[j].method &&
                            pathOf(exchanges[i].url) == pathOf(exchanges[j].url);
                for (size_t i = 0; i < secondLoad->size(); ++i) {
                    const ScriptExchange& o = (*secondLoad)[i];
                    if (o.method != exchanges[j].method ||
                        pathOf(o.url) != pathOf(exchanges[j].url))
                        continue;
                    if (turn-- > 0) continue;
                    if (auto other = valueIn(otherGiven[i], *found);
                        other && *other != found->given)
                        rule = "differs between two loads of the page";
                    break;
                }
            }
            if (rule.empty() && found->source == ValueProposal::Source::Location &&
                locationLooksGenerated(found->given))
                rule = "Location (its path ends in a number or generated token)";
            if (rule.empty() && looksGenerated(sent.value))
                rule = "looks generated (" + std::to_string(sent.value.size()) +
                       " letters and digits)";
            if (rule.empty()) continue;

            ValueProposal p;
            p.requestId = exchanges[k].requestId;
            p.place = sent.place;
            p.name = sent.name;
            p.recordedValue = sent.value;
            p.source = found->source;
            p.sourceRequestId = exchanges[j].requestId;
            p.sourceName = found->name;
            p.rule = rule;
            const std::string answer = exchanges[j].method + " " + exchanges[j].url;
            switch (found->source) {
                case ValueProposal::Source::JsonField: {
                    std::string& name = variables[{p.sourceRequestId, found->name}];
                    if (name.empty()) {
                        const std::string base = variableName(found->name);
                        name = base;
                        for (int n = 2; usedNames.count(name); ++n) name = base + std::to_string(n);
                        usedNames.insert(name);
                    }
                    p.variable = name;
                    p.expression = "$var(" + name + ")";
                    p.origin = "JSON field " + found->name + " of the answer to " + answer;
                    break;
                }
                case ValueProposal::Source::MetaTag:
                    p.expression = "$Meta(" + found->name + ")";
                    p.origin = "meta tag " + found->name + " of the page " + answer;
                    break;
                case ValueProposal::Source::Cookie:
                    p.expression = "$Cookie(" + found->name + ")";
                    p.origin = "cookie " + found->name + " set by " + answer;
                    break;
                case ValueProposal::Source::Location: {
                    // A newline cannot be in a JSON path: no JSON field shares the key.
                    std::string& name = variables[{p.sourceRequestId, "\nLocation"}];
                    if (name.empty()) {
                        name = "location";
                        for (int n = 2; usedNames.count(name); ++n)
                            name = "location" + std::to_string(n);
                        usedNames.insert(name);
                    }
                    p.variable = name;
                    p.expression = "$var(" + name + ")";
                    p.origin = "Location header of the answer to " + answer;
                    break;
                }
            }
            done.insert({p.requestId, int(p.place), p.name});
            out.push_back(std::move(p));
        }
    }
    return out;
}

}  // namespace velk::recorder
