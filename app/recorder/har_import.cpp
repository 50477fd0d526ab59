#include "app/recorder/har_import.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <utility>

#include "app/base/ascii_text.h"
#include "app/base/file_io.h"
#include "app/recorder/new_recording.h"
#include "app/results/json_value.h"
#include "app/scenario/recorded_outcome.h"
#include "app/scenario/scenario.h"
#include "app/scenario/url_coding.h"

namespace velk::recorder {
namespace {

using results::JsonValue;

using base::asciiLower;
using base::asciiLowered;

bool hasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Headers a browser adds on its own, or that the engine sets: not replayed.
bool browsersOwn(std::string_view name) {
    const std::string n = asciiLowered(name);
    static constexpr std::string_view kExact[] = {
        "host",         "user-agent",     "connection",
        "cookie",       "content-length", "referer",
        "origin",       "cache-control",  "pragma",
        "te",           "priority",       "dnt",
        "keep-alive",   "if-none-match",  "if-modified-since",
        "content-type", "accept",         "upgrade",
        "purpose",      "x-client-data",  "upgrade-insecure-requests"};
    for (std::string_view e : kExact)
        if (n == e) return true;
    return n.starts_with(":") || n.starts_with("accept-") || n.starts_with("sec-") ||
           n.starts_with("proxy-");
}

// Epoch milliseconds of an ISO 8601 time as HAR writes it
// ("2026-12-10T05:30:22.123Z", "...+01:00"); false when it does not parse.
bool parseTime(std::string_view t, double& ms) {
    auto digits = [&](size_t at, size_t n, int& out) {
        if (at + n > t.size()) return false;
        out = 0;
        for (size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    int y, mo, d, h, mi, s;
    if (!digits(0, 4, y) || t.size() < 19 || t[4] != '-' || !digits(5, 2, mo) || t[7] != '-' ||
        !digits(8, 2, d) || (t[10] != 'T' && t[10] != ' ') || !digits(11, 2, h) || t[13] != ':' ||
        !digits(14, 2, mi) || t[16] != ':' || !digits(17, 2, s))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return false;
    size_t at = 19;
    double fraction = 0, scale = 0.1;
    if (at < t.size() && t[at] == '.') {
        for (++at; at < t.size() && t[at] >= '0' && t[at] <= '9'; ++at, scale /= 10)
            fraction += (t[at] - '0') * scale;
    }
    int offset = 0;
    if (at < t.size() && (t[at] == '+' || t[at] == '-')) {
        int oh, om;
        const bool colon = at + 3 < t.size() && t[at + 3] == ':';
        if (!digits(at + 1, 2, oh) || !digits(at + (colon ? 4 : 3), 2, om)) return false;
        offset = (t[at] == '-' ? -1 : 1) * (oh * 60 + om);
        at += colon ? 6 : 5;
    } else if (at < t.size() && t[at] == 'Z') {
        ++at;
    }
    if (at != t.size()) return false;
    // Days from the civil date (proleptic Gregorian).
    const int yy = y - (mo <= 2);
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const double days = double(era) * 146097 + doe - 719468;
    ms = ((days * 24 + h) * 60 + mi - offset) * 60000.0 + (s + fraction) * 1000.0;
    return true;
}

// The engine evaluates value expressions in header lines and bodies, and has no
// escape there: a recorded text that holds one would be run, not sent (a
// hostile page could have a replay read a local file with $File).
bool holdsExpression(std::string_view text) {
    static constexpr std::string_view kStarts[] = {
        "nrand(",  "arand(", "lrand(", "seq(",  "urlparam(", "hidden(", "regexp(", "file(",
        "rxname(", "var(",   "clid(",  "list(", "json(",     "meta(",   "cookie("};
    for (size_t at = text.find('$'); at != std::string_view::npos; at = text.find('$', at + 1)) {
        const std::string next = asciiLowered(text.substr(at + 1, 10));
        for (std::string_view start : kStarts)
            if (next.starts_with(start)) return true;
    }
    return false;
}

enum class EntryKind { Navigation, Script, Static, Stream, BrowsersOwn };

EntryKind kindOf(const JsonValue& entry, const std::string& method, int32_t status,
                 const std::string& responseType) {
    if (const JsonValue* rt = entry.member("_resourceType"); rt && rt->isString()) {
        const std::string t = asciiLowered(rt->string());
        if (t == "document") return EntryKind::Navigation;
        if (t == "xhr" || t == "fetch") return EntryKind::Script;
        if (t == "websocket" || t == "eventsource") return EntryKind::Stream;
        if (t == "preflight") return EntryKind::BrowsersOwn;
        if (t != "other") return EntryKind::Static;
    }
    if (status == 101) return EntryKind::Stream;
    const std::string type = asciiLowered(responseType);
    if (type.find("text/event-stream") != std::string::npos) return EntryKind::Stream;
    if (type.find("text/html") != std::string::npos && method == "GET")
        return EntryKind::Navigation;
    for (std::string_view s : {"image/", "text/css", "font/", "javascript", "ecmascript", "audio/",
                               "video/", "application/wasm", "application/font"})
        if (type.find(s) != std::string::npos) return EntryKind::Static;
    return EntryKind::Script;
}

class EntryReader {
public:
    EntryReader(size_t index, std::string& error) : m_index(index), m_error(error) {}

    bool fail(const std::string& what) {
        m_error = "entry " + std::to_string(m_index + 1) + ": " + what;
        return false;
    }
    const JsonValue* object(const JsonValue& parent, std::string_view key, const char* path) {
        const JsonValue* v = parent.member(key);
        if (!v || v->kind() != JsonValue::Kind::Object) {
            fail(std::string(path) + (v ? " is not an object" : " is missing"));
            return nullptr;
        }
        return v;
    }
    bool text(const JsonValue& parent, std::string_view key, const char* path, std::string& out,
              size_t cap, bool required = true) {
        const JsonValue* v = parent.member(key);
        if (!v) return required ? fail(std::string(path) + " is missing") : true;
        if (!v->isString()) return fail(std::string(path) + " is not a text");
        if (v->string().size() > cap)
            return fail(std::string(path) + " is longer than " + std::to_string(cap) + " bytes");
        out = v->string();
        return true;
    }
    // A list of {name, value} objects.
    bool pairs(const JsonValue& parent, std::string_view key, const char* path, HeaderList& out) {
        const JsonValue* v = parent.member(key);
        if (!v) return true;
        if (v->kind() != JsonValue::Kind::Array) return fail(std::string(path) + " is not a list");
        if (v->items().size() > kMaxHarHeaders)
            return fail(std::string(path) + " holds more than " + std::to_string(kMaxHarHeaders) +
                        " items");
        for (const JsonValue& item : v->items()) {
            std::string name, value;
            if (item.kind() != JsonValue::Kind::Object ||
                !text(item, "name", path, name, kMaxHarHeaderValue) ||
                !text(item, "value", path, value, kMaxHarHeaderValue, false))
                return m_error.empty() ? fail(std::string(path) + " holds an item without a name")
                                       : false;
            if (hasControl(name) || hasControl(value))
                return fail(std::string(path) + " " + name +
                            " holds a line break or control character");
            out.emplace_back(std::move(name), std::move(value));
        }
        return true;
    }

private:
    size_t m_index;
    std::string& m_error;
};

bool readEntry(const JsonValue& entry, size_t index, bool keepStatic, HarVisit& visit,
               double& startMs, std::string& error) {
    EntryReader r(index, error);
    const std::string where = "entry " + std::to_string(index + 1);
    if (entry.kind() != JsonValue::Kind::Object) return r.fail("is not an object");
    std::string started;
    if (!r.text(entry, "startedDateTime", "startedDateTime", started, 64)) return false;
    if (!parseTime(started, startMs))
        return r.fail("startedDateTime " + started + " is not a time");
    const JsonValue* request = r.object(entry, "request", "request");
    if (!request) return false;
    const JsonValue* response = r.object(entry, "response", "response");
    if (!response) return false;

    ScriptExchange e;
    if (!r.text(*request, "method", "request.method", e.method, 32) ||
        !r.text(*request, "url", "request.url", e.url, kMaxHarUrl))
        return false;
    if (hasControl(e.url) || e.url.find(' ') != std::string::npos)
        return r.fail("request.url holds a blank or control character");
    const std::string scheme = asciiLowered(e.url.substr(0, e.url.find(':')));
    if (scheme == "ws" || scheme == "wss") {
        visit.notes.push_back(where + " not recorded: a WebSocket or event stream at " + e.url);
        return true;
    }
    if (scheme != "http" && scheme != "https") {
        visit.notes.push_back(where + " left out: not an HTTP request (" + scheme + ":)");
        return true;
    }
    e.url = e.url.substr(0, e.url.find('#'));
    for (char& c : e.method) c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    int32_t method = 0;
    for (int32_t m = 1; m <= scenario::CRequest::kMethodCount; ++m)
        if (scenario::CRequest::methodName(m) == e.method) method = m;

    HeaderList headers;
    if (!r.pairs(*request, "headers", "request.headers", headers)) return false;
    const JsonValue* status = response->member("status");
    if (!status || !status->isNumber() || status->number() < 0 || status->number() > 999)
        return r.fail("response.status is missing or not a status");
    e.status = int32_t(status->number());
    if (!r.pairs(*response, "headers", "response.headers", e.responseHeaders)) return false;
    if (const JsonValue* content = response->member("content");
        content && content->kind() == JsonValue::Kind::Object) {
        std::string encoding;
        if (!r.text(*content, "mimeType", "response.content.mimeType", e.responseType, 1024,
                    false) ||
            !r.text(*content, "encoding", "response.content.encoding", encoding, 64, false))
            return false;
        // A text kept for the proposals only, cut at the documented bound.
        if (const JsonValue* body = content->member("text");
            body && body->isString() && encoding != "base64")
            e.responseBody = body->string().substr(0, kMaxKeptResponseBody);
    }

    const EntryKind kind = kindOf(entry, e.method, e.status, e.responseType);
    if (kind == EntryKind::Stream) {
        visit.notes.push_back(where + " not recorded: a WebSocket or event stream at " + e.url);
        return true;
    }
    if (kind == EntryKind::BrowsersOwn) return true;
    if (kind == EntryKind::Static && !keepStatic) {
        ++visit.staticLeftOut;
        return true;
    }
    if (method == 0) {
        visit.notes.push_back(where + " left out: the method " + e.method + " is not one of " +
                              "GET, POST, PUT, PATCH, DELETE, HEAD and OPTIONS");
        return true;
    }
    e.navigation = kind == EntryKind::Navigation;
    for (auto& [name, value] : headers) {
        if (asciiLowered(name) == "content-type") e.contentType = value;
        if (!browsersOwn(name)) e.headers.emplace_back(name, value);
    }
    if (const JsonValue* post = request->member("postData")) {
        if (post->kind() != JsonValue::Kind::Object)
            return r.fail("request.postData is not an object");
        std::string type;
        if (!r.text(*post, "mimeType", "request.postData.mimeType", type, 1024, false) ||
            !r.text(*post, "text", "request.postData.text", e.body, kMaxHarRequestBody, false))
            return false;
        if (!type.empty()) e.contentType = type;
        HeaderList params;
        if (!r.pairs(*post, "params", "request.postData.params", params)) return false;
        if (e.body.empty() && !params.empty()) {
            for (const auto& [n, v] : params)
                e.body += (e.body.empty() ? "" : "&") + scenario::urlEncode(n, false) + "=" +
                          scenario::urlEncode(v, false);
            if (e.contentType.empty()) e.contentType = "application/x-www-form-urlencoded";
        }
    }
    bool expression = holdsExpression(e.body);
    for (const auto& [name, value] : e.headers) expression = expression || holdsExpression(value);
    if (expression) {
        visit.notes.push_back(where + " left out: its headers or body hold text the replay " +
                              "would read as a value expression ($...(): " + e.url);
        return true;
    }
    // "$" in the URL is sent encoded: $uri reads expressions too.
    for (size_t at = e.url.find('$'); at != std::string::npos; at = e.url.find('$', at))
        e.url.replace(at, 1, "%24");
    visit.entries.push_back({std::move(e), 0, ""});
    return true;
}

// The absolute URL a Location names, seen from the URL it answered.
std::string resolveLocation(const std::string& from, const std::string& location) {
    const std::string lower = asciiLowered(location.substr(0, 8));
    if (lower.starts_with("http://") || lower.starts_with("https://")) return location;
    const size_t scheme = from.find("://");
    const size_t pathStart = from.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    const std::string origin = from.substr(0, pathStart);
    if (location.starts_with("//")) return from.substr(0, scheme + 1) + location;
    if (location.starts_with("/")) return origin + location;
    const std::string path = pathStart == std::string::npos ? "/" : from.substr(pathStart);
    return origin + path.substr(0, path.substr(0, path.find('?')).rfind('/') + 1) + location;
}

// A 301, 302, 303, 307 or 308 answer whose Location the next entry asks for:
// the replay follows it itself, so the two become one request with the
// final answer (the redirect's cookies kept for the proposals).
void mergeRedirects(HarVisit& visit) {
    std::vector<HarEntry>& entries = visit.entries;
    for (size_t i = 0; i + 1 < entries.size();) {
        ScriptExchange& e = entries[i].exchange;
        const int32_t s = e.status;
        std::string location;
        for (const auto& [n, v] : e.responseHeaders)
            if (asciiLowered(n) == "location") location = v;
        ScriptExchange& next = entries[i + 1].exchange;
        if (!(s == 301 || s == 302 || s == 303 || s == 307 || s == 308) || location.empty() ||
            resolveLocation(e.url, location) != next.url) {
            ++i;
            continue;
        }
        entries[i].redirectedTo = scenario::urlPath(next.url);
        e.status = next.status;
        e.responseType = next.responseType;
        e.responseBody = std::move(next.responseBody);
        e.responseHeaders.insert(e.responseHeaders.end(), next.responseHeaders.begin(),
                                 next.responseHeaders.end());
        entries.erase(entries.begin() + std::ptrdiff_t(i + 1));
    }
}

}  // namespace

StatusOr<HarVisit> readHar(std::string_view text, bool keepStatic) {
    const auto invalid = [](std::string message) {
        return StatusOr<HarVisit>(StatusCode::kInvalid, std::move(message));
    };
    if (text.size() > kMaxHarBytes)
        return invalid("the file is larger than " + std::to_string(kMaxHarBytes >> 20) + " MiB");
    std::string why;
    const std::unique_ptr<JsonValue> root = JsonValue::parse(text, why);
    if (!root) return invalid("not a HAR file: " + why);
    const JsonValue* log = root->member("log");
    if (!log || log->kind() != JsonValue::Kind::Object)
        return invalid("not a HAR file: no \"log\" object");
    const JsonValue* version = log->member("version");
    if (!version || !version->isString() ||
        (version->string() != "1.2" && version->string() != "1.1"))
        return invalid("log.version is " +
                       (version && version->isString() ? version->string() : "missing") +
                       ", not 1.2 (or 1.1)");
    const JsonValue* entries = log->member("entries");
    if (!entries || entries->kind() != JsonValue::Kind::Array)
        return invalid("log.entries is missing or not a list");
    if (entries->items().size() > kMaxHarEntries)
        return invalid("log.entries holds more than " + std::to_string(kMaxHarEntries) +
                       " entries");
    HarVisit visit;
    double lastStart = 0;
    bool first = true;
    for (size_t i = 0; i < entries->items().size(); ++i) {
        double start = 0;
        const size_t before = visit.entries.size();
        std::string error;
        if (!readEntry(entries->items()[i], i, keepStatic, visit, start, error))
            return invalid(std::move(error));
        if (visit.entries.size() == before) continue;
        // Entries out of order give no pause, not a negative one.
        const double gap = first ? 0 : (start - lastStart) / 1000.0;
        visit.entries.back().pauseSeconds =
            int32_t(std::clamp(std::floor(gap), 0.0, double(kMaxHarPause)));
        lastStart = start;
        first = false;
    }
    mergeRedirects(visit);
    if (visit.entries.empty()) return invalid("the file holds no HTTP request to replay");
    return visit;
}

StatusOr<HarVisit> readHarFile(const std::string& path, bool keepStatic) {
    StatusOr<std::string> text = base::readRegularFile(path, kMaxHarBytes);
    if (!text) return text.status();
    StatusOr<HarVisit> visit = readHar(*text, keepStatic);
    if (!visit) return {visit.status().code(), path + ": " + visit.status().message()};
    return visit;
}

}  // namespace velk::recorder
