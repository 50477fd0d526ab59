#include "script/request_def.h"

namespace velk {

RequestDef RequestDef::cloneForUser() const {
    RequestDef copy;
    copy.uri = uri;
    copy.name = name;
    copy.server = server;
    copy.port = port;
    copy.fail = fail;
    copy.failInverted = failInverted;
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
    if (extraHeaders) copy.extraHeaders = std::make_unique<TextBuffer>(*extraHeaders);
    copy.secure = secure;
    return copy;
}

}  // namespace velk
