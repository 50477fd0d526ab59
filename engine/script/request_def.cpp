#include "script/request_def.h"

#include <climits>
#include <cstdlib>

#include "base/ascii.h"
#include "script/http_method.h"

namespace velk {
namespace {

bool is(std::string_view name, const char* key) {
    return equalsNoCase(name, key);
}

// The C library's atoi, saturated instead of overflowing.
int32_t toInt(std::string_view text) {
    const std::string s(text);
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

}  // namespace

bool applyRequestKey(RequestDef& r, std::string_view name, std::string_view value) {
    if (is(name, "$uri"))
        r.uri.assign(value);
    else if (is(name, "$server"))
        r.server.emplace(value);
    else if (is(name, "$port")) {
        r.port = toInt(value);
        r.portGiven = true;
    } else if (is(name, "$method"))
        r.method = methodFromName(value);
    else if (is(name, "$keepalive"))
        r.keepalive = toInt(value);
    else if (is(name, "$delay")) {
        // A minimum, or a minimum and a maximum joined by "-".
        r.delay = toInt(value);
        size_t dash = value.find('-');
        r.delayUpper = dash == std::string_view::npos ? 0 : toInt(value.substr(dash + 1));
    } else if (is(name, "$secure"))
        r.secure = toInt(value);
    else
        return false;
    return true;
}

bool hasParameter(const RequestDef& r, std::string_view name) {
    const ParamList* lists[] = {r.params.get(), &r.runtimeParams};
    for (const ParamList* list : lists)
        for (const ParamEntry& p : *list)
            if (p.name == name) return true;
    return false;
}

RequestDef RequestDef::cloneForUser() const {
    RequestDef copy;
    copy.uri = uri;
    copy.name = name;
    copy.server = server;
    copy.port = port;
    copy.portGiven = portGiven;
    copy.fail = fail;
    copy.failInverted = failInverted;
    copy.expectLocation = expectLocation;
    copy.method = method;
    copy.delay = delay;
    copy.delayUpper = delayUpper;
    copy.keepalive = keepalive;
    copy.multipart = multipart;
    copy.params = params;  // shared: read-only during a run
    copy.runtimeParams = runtimeParams;
    copy.exports = exports;
    copy.overrides = overrides;
    if (content) copy.content = std::make_unique<TextBuffer>(*content);
    copy.rawContent = rawContent;
    copy.jsonExports = jsonExports;
    copy.headerExports = headerExports;
    copy.headerLines = headerLines;
    copy.headerNamesContentType = headerNamesContentType;
    copy.uriPieces = uriPieces;
    copy.secure = secure;
    return copy;
}

}  // namespace velk
