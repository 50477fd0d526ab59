#include "http/request_composer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "base/ascii.h"
#include "http/base64.h"
#include "http/http_session.h"
#include "http/param_value.h"
#include "http/uri_expression.h"
#include "script/http_method.h"
#include "script/request_def.h"

namespace velk {
namespace {

void appendNumber(TextBuffer& out, int64_t value) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, size_t(end - digits));
}

void makeBoundary(HttpSession& s, std::string& boundary) {
    int32_t draws[4];
    for (int32_t& d : draws) d = s.random.next(65536);
    char text[64];
    std::snprintf(text, sizeof text, "-----------------------------%04x%04x%04x%04x", draws[3],
                  draws[2], draws[1], draws[0]);
    boundary = text;
}

bool isContentPiece(const ParamEntry& p) {
    return equalsNoCase(p.name, kContentParamName);
}

// encodevalues=1: blanks, control characters and bytes above 127 of the value
// written from start on become "%XX"; other bytes stay as written.
void encodeRawBytes(TextBuffer& data, size_t start) {
    const std::string_view value = data.view().substr(start);
    auto raw = [](unsigned char c) { return c <= ' ' || c >= 0x7F; };
    if (std::none_of(value.begin(), value.end(), raw)) return;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : value) {
        if (raw(c)) {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        } else {
            encoded += char(c);
        }
    }
    data.truncate(start);
    data.append(encoded);
}

// The request's $header lines, their expressions evaluated.  A value taken
// from a server cannot end the line early or add one of its own.
// skipContentType: the body is multipart with a boundary drawn here, so only
// the type made here can describe it (a recorded one names another boundary).
void appendHeaderLines(HttpSession& s, const RequestDef& def,
                       std::optional<std::string_view> previousBody, bool skipContentType,
                       TextBuffer& out) {
    if (!def.headerLines) return;
    for (const ParamEntry& line : *def.headerLines) {
        if (skipContentType && equalsNoCase(line.name, "content-type")) continue;
        const size_t start = out.size();
        appendParamValue(s, line, previousBody, true, out);
        out.dropBytesFrom(start, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
        out.append("\r\n");
    }
}

// The path of a uri with value expressions in it, made for this request.
std::string_view resolveUriPieces(HttpSession& s, RequestDef& def,
                                  std::optional<std::string_view> previousBody) {
    if (!def.resolvedUri) def.resolvedUri = std::make_unique<TextBuffer>(256);
    TextBuffer& uri = *def.resolvedUri;
    uri.clear();
    appendPieces(s, *def.uriPieces, previousBody, true, uri);
    // A line end would end the request line early.
    uri.dropBytesFrom(0, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    return uri.view();
}

}  // namespace

void buildParameterData(HttpSession& s, const EffectiveRequest& r,
                        std::optional<std::string_view> previousBody) {
    TextBuffer& data = s.data;
    data.clear();
    RequestDef& def = r.def;
    if (r.multipart) makeBoundary(s, def.boundary);
    const ParamList* lists[3] = {def.params.get(), &def.runtimeParams, r.addedParams};

    // Raw content: the body is the content pieces alone, written bare.
    bool raw = false;
    for (const ParamList* list : lists)
        if (list)
            for (const ParamEntry& p : *list) raw = raw || isContentPiece(p);
    if (raw) {
        for (const ParamList* list : lists)
            if (list)
                for (const ParamEntry& p : *list)
                    if (isContentPiece(p)) appendParamValue(s, p, previousBody, r.multipart, data);
        return;
    }

    for (const ParamList* list : lists) {
        if (!list) continue;
        for (const ParamEntry& p : *list) {
            const std::string_view name = parameterName(def, p, previousBody);
            if (r.multipart) {
                data.append("--");
                data.append(def.boundary);
                data.append("\r\nContent-Disposition: form-data; name=\"");
                data.append(name);
                data.append("\"");
                if (const ValuePiece* file = fileUploadPiece(p)) {
                    data.append("; filename=\"");
                    data.append(file->text);
                    data.append("\"\r\nContent-Type: ");
                    data.append(file->extra.empty() ? std::string_view("application/octet-stream")
                                                    : std::string_view(file->extra));
                }
                data.append("\r\n\r\n");
            } else {
                if (!data.empty()) data.append("&");
                data.append(name);
                data.append("=");
            }
            const size_t valueStart = data.size();
            if (const std::string* value = r.overrideFor(p.name))
                data.append(*value);
            else
                appendParamValue(s, p, previousBody, r.multipart, data);
            if (s.options.encodevalues && !r.multipart) encodeRawBytes(data, valueStart);
            if (r.multipart) data.append("\r\n");
        }
    }
    if (r.multipart) {
        data.append("--");
        data.append(def.boundary);
        data.append("--\r\n");
    }
}

std::string forwardedForAddress(std::string_view mask, int32_t userIndex, uint32_t passes) {
    std::string out;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] != '$') {
            out += mask[i];
            continue;
        }
        std::string_view macro = mask.substr(i + 1, 2);
        int64_t value = -1;
        if (macro == "C1")
            value = userIndex % 254 + 1;
        else if (macro == "C2")
            value = userIndex / 254 + 1;
        else if (macro == "R1")
            value = passes % 254 + 1;
        else if (macro == "R2")
            value = passes / 254 + 1;
        if (value >= 0) out += std::to_string(value);
        i += macro.size();
    }
    return out;
}

void composeHeaders(HttpSession& s, std::string_view host, int32_t port) {
    TextBuffer& out = s.request;
    s.target.set(host, port);
    s.currentHost.assign(host);

    out.append("Host: ");
    out.append(host);
    if (port != 80 && port != 443) {
        out.append(":");
        appendNumber(out, port);
    }
    out.append("\r\n");
    if (!s.previousUrl.empty()) {
        out.append("Referer: ");
        out.append(s.previousUrl);
        out.append("\r\n");
    }
    bool anyCookie = false;
    for (const auto& [name, value] : s.cookies) anyCookie = anyCookie || !value.empty();
    if (anyCookie) {
        out.append("Cookie: ");
        for (size_t i = 0; i < s.cookies.size(); ++i) {
            const auto& [name, value] = s.cookies[i];
            if (value.empty()) continue;
            out.append(name);
            out.append("=");
            out.append(value);
            if (i + 1 < s.cookies.size()) out.append(";");
        }
        out.append("\r\n");
    }
    for (const std::string& line : s.commonHeaders) {
        out.append(line);
        out.append("\r\n");
    }
    if (s.options.proxynocache) out.append("Pragma: nocache\r\n");
    if (s.options.proxyemulation) {
        out.append("X-Forwarded-For: ");
        out.append(forwardedForAddress(s.options.proxymask, s.userIndex, s.completedPasses));
        out.append("\r\n");
    }
}

std::string_view composeRequest(HttpSession& s, const EffectiveRequest& r, bool secure,
                                std::optional<std::string_view> previousBody) {
    const GeneralOptions& o = s.options;
    TextBuffer& out = s.request;
    RequestDef& def = r.def;
    // Content has to travel: a method without a body becomes POST, as GET with
    // content always did.  DELETE and OPTIONS carry a body only when there is one.
    int32_t method = r.method;
    if (def.rawContent && !methodCarriesBody(method)) method = kMethodPost;
    const bool withBody =
        methodCarriesBody(method) && (def.rawContent || !s.data.empty() || method == kMethodPost ||
                                      method == kMethodPut || method == kMethodPatch);
    const bool httpProxy = s.proxy.kind == net::ProxyKind::kHttp;
    s.target.copyTo(s.current);
    const Target& current = s.current;

    out.append(methodName(method));
    out.append(" ");
    if (httpProxy) {
        out.append(secure ? "https://" : "http://");
        if (r.server) {
            out.append(*r.server);
            if (r.port != 80 && r.port != 0 && !(r.port == 443 && secure)) {
                out.append(":");
                appendNumber(out, r.port);
            }
        } else {
            out.append(current.server);
            if (current.port != 80 && !(current.port == 443 && o.secure)) {
                out.append(":");
                appendNumber(out, current.port);
            }
        }
    }
    // A uri expression that finds nothing falls back to the uri option.
    std::string_view path = r.uri;
    if (!r.uri.empty() && r.uri[0] == '$')
        path = resolveUriExpression(r.uri, previousBody, s.variables)
                   .value_or(std::string_view(o.uri));
    else if (def.uriPieces && r.uri.data() == def.uri.data())  // the request's own uri
        path = resolveUriPieces(s, def, previousBody);
    const size_t target = out.size();
    out.append(path);
    if (!methodCarriesBody(method) && !s.data.empty()) {
        out.append("?");
        out.append(s.data.view());
    }
    // Values taken from answers may hold line ends: they cannot end the request
    // line early (and add lines of the server's choosing).
    out.dropBytesFrom(target, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    out.append(o.httpver ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n");

    s.redirect.method = method;
    s.redirect.withBody = withBody;
    s.redirect.bodyHeaders.clear();
    // The $header lines go with every request; a redirect that keeps the body
    // sends them again with it.
    const size_t headersAt = out.size();
    const bool ownMultipart = withBody && r.multipart && !def.rawContent;
    appendHeaderLines(s, def, previousBody, ownMultipart, out);
    if (withBody) {
        if (def.rawContent || (def.headerNamesContentType && !ownMultipart)) {
            // The $header lines name the body's type.
        } else if (r.multipart) {
            out.append("Content-Type: multipart/form-data; boundary=");
            out.append(def.boundary);
            out.append("\r\n");
        } else {
            out.append("Content-Type: application/x-www-form-urlencoded\r\n");
        }
        out.append("Content-Length: ");
        appendNumber(out, int64_t(s.data.size()));
        out.append("\r\n");
        s.redirect.bodyHeaders.assign(out.view().substr(headersAt));
    }

    composeHeaders(s, r.server ? std::string_view(*r.server) : std::string_view(current.server),
                   r.port);

    if (!o.authorization.empty()) {
        out.append("Authorization: Basic ");
        out.append(encodeBase64(o.authorization));
        out.append("\r\n");
    }
    if (httpProxy && !s.proxy.credentials.empty()) {
        out.append("Proxy-Authorization: Basic ");
        out.append(encodeBase64(s.proxy.credentials));
        out.append("\r\n");
    }
    if (o.httpver) {
        out.append(httpProxy ? "Proxy-Connection: " : "Connection: ");
        out.append(r.keepalive ? "Keep-Alive\r\n\r\n" : "close\r\n\r\n");
    } else {
        out.append("\r\n");
        def.keepalive = 0;  // HTTP/1.0 closes after every response
    }
    if (withBody) out.append(s.data.view());
    return path;
}

}  // namespace velk
