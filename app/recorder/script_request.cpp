#include "app/recorder/script_request.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "app/base/ascii_text.h"
#include "app/recorder/pair_scan.h"
#include "app/scenario/request.h"
#include "app/scenario/url_coding.h"

namespace velk::recorder {
namespace {

bool sameTextNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool beginsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && sameTextNoCase(text.substr(0, prefix.size()), prefix);
}

int32_t scriptMethodNumber(std::string_view name) {
    for (int32_t m = 1; m <= scenario::CRequest::kMethodCount; ++m)
        if (sameTextNoCase(scenario::CRequest::methodName(m), name)) return m;
    return scenario::CRequest::kPost;
}

// A header line cannot hold a line end: the browser refuses such a value, and
// a forged one must not add lines to the generated script.
bool isOneLine(std::string_view text) {
    return text.find_first_of("\r\n") == std::string_view::npos &&
           text.find('\0') == std::string_view::npos;
}

// The body in the script's block form: its lines with CR LF breaks between
// a "<<END" line and an "END" line that no line of the body equals.
std::string contentBlock(std::string_view body) {
    std::vector<std::string_view> lines;
    for (size_t start = 0; start <= body.size();) {
        size_t end = body.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = body.size();
        lines.push_back(body.substr(start, end - start));
        if (end + 1 < body.size() && body[end] == '\r' && body[end + 1] == '\n') ++end;
        start = end + 1;
    }
    std::string end = "VELK_BODY_END";
    for (int n = 2; std::find(lines.begin(), lines.end(), end) != lines.end(); ++n)
        end = "VELK_BODY_END_" + std::to_string(n);
    std::string out = "<<" + end;
    for (const std::string_view line : lines) out += "\r\n" + std::string(line);
    return out + "\r\n" + end;
}

}  // namespace

bool isStaticAnswer(const ScriptRequest& request) {
    const std::string_view type = request.answerType;
    return beginsNoCase(type, "image/") || beginsNoCase(type, "font/") ||
           beginsNoCase(type, "text/css") || beginsNoCase(type, "text/javascript") ||
           beginsNoCase(type, "application/javascript");
}

scenario::RecordedNavigation scriptRequestNavigation(const ScriptRequest& request) {
    scenario::RecordedNavigation navigation;
    navigation.secure = schemeOf(request.url);
    navigation.method = scriptMethodNumber(request.method);
    const bool bodyless = navigation.method == scenario::CRequest::kGet ||
                          navigation.method == scenario::CRequest::kHead;

    std::string scriptType;
    for (const auto& [name, value] : request.headers) {
        if (!isOneLine(name) || !isOneLine(value) || name.empty()) continue;
        if (sameTextNoCase(name, "Content-Type"))
            scriptType = value;
        else
            navigation.pairs.emplace_back(kHeaderKeyParameter, name + ": " + value);
    }

    const std::string_view url = request.url;
    const size_t question = url.find('?');
    if (bodyless) {
        // The engine sends the parameters of a GET as its query.
        navigation.url.assign(url.substr(0, question));
        if (question != std::string_view::npos)
            for (auto& pair : scanPairs(url.substr(question + 1)))
                navigation.pairs.push_back(std::move(pair));
        navigation.contentType = scriptType.empty() ? "text/html" : scriptType;
        return navigation;
    }
    // A body's method: the parameters are the body, the query stays in the URL.
    navigation.url.assign(url);
    switch (request.body) {
        case ScriptRequest::Body::kUrlEncoded:
            navigation.contentType =
                scriptType.empty() ? "application/x-www-form-urlencoded" : scriptType;
            for (auto& pair : scanPairs(request.text)) navigation.pairs.push_back(std::move(pair));
            break;
        case ScriptRequest::Body::kMultipart: {
            // The engine sends multipart (with a boundary of its own) only
            // for a request with a file; other FormData goes as a form, which
            // the servers that read one read as well, rather than as a form
            // body that names the multipart type.
            const bool files = std::any_of(request.fields.begin(), request.fields.end(),
                                           [](const auto& f) { return f.file; });
            navigation.contentType =
                files ? "multipart/form-data" : "application/x-www-form-urlencoded";
            for (const auto& field : request.fields) {
                // Pairs are kept URL-encoded as a form's are; the container decodes them.
                navigation.pairs.emplace_back(scenario::urlEncode(field.name, false),
                                              scenario::urlEncode(field.value, false));
                if (field.file) navigation.fileFields.push_back(navigation.pairs.back().first);
            }
            break;
        }
        case ScriptRequest::Body::kText:
            navigation.contentType = scriptType.empty() ? "text/plain;charset=UTF-8" : scriptType;
            if (!request.text.empty())
                navigation.pairs.emplace_back(kContentKeyParameter, contentBlock(request.text));
            break;
        default:
            navigation.contentType = scriptType.empty() ? "text/html" : scriptType;
            break;
    }
    return navigation;
}

std::vector<ScriptExchange> recordedExchanges(
    const scenario::CRequestsContainer& requests,
    const std::vector<std::pair<int32_t, ScriptRequest>>& scripts,
    const std::vector<std::pair<int32_t, PageFacts>>& pages) {
    std::vector<ScriptExchange> out;
    std::lock_guard<const scenario::CRequestsContainer> g(requests);
    for (const scenario::CRequest* r : requests.flattened()) {
        ScriptExchange e;
        e.requestId = r->getId();
        const auto script = std::find_if(scripts.begin(), scripts.end(),
                                         [&](const auto& s) { return s.first == e.requestId; });
        if (script != scripts.end()) {
            const ScriptRequest& s = script->second;
            e.method = s.method;
            e.url = s.url;
            for (const auto& [name, value] : s.headers) {
                if (base::sameNoCase(name, "Content-Type"))
                    e.contentType = value;
                else
                    e.headers.emplace_back(name, value);
            }
            e.body = s.text;
            e.status = s.status;
            e.responseType = s.answerType;
            e.responseHeaders = s.answerHeaders;
            e.responseBody = s.answer.substr(0, kMaxKeptResponseBody);
        } else {
            e.navigation = true;
            e.method = std::string(scenario::CRequest::methodName(r->getMethod()));
            e.url =
                (r->getSecure() == 2 ? "https://" : "http://") + r->getServer() + "/" + r->getUri();
            const auto page = std::find_if(pages.begin(), pages.end(),
                                           [&](const auto& p) { return p.first == e.requestId; });
            if (page != pages.end()) {
                // What the page gave out that a script may send: its meta tags.
                e.status = page->second.status;
                e.responseType = "text/html";
                for (const auto& [name, content] : page->second.meta) {
                    const char quote = content.find('"') == std::string::npos ? '"' : '\'';
                    e.responseBody += "<meta name=" + std::string(1, quote) + name + quote +
                                      " content=" + quote + content + quote + ">\n";
                }
            }
        }
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace velk::recorder
