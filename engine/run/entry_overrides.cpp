#include "run/entry_overrides.h"

#include "base/message.h"
#include "run/test_run.h"
#include "script/item_reader.h"
#include "script/param_parser.h"

namespace velk {

void EntryOverrides::apply(TestRun& set, RequestDef& r, std::string_view arguments) {
    m_uri = r.uri;
    m_server = r.server;
    m_port = r.port;
    m_method = r.method;
    m_keepalive = r.keepalive;
    m_delay = r.delay;
    m_delayUpper = r.delayUpper;
    m_secure = r.secure;
    m_fail = r.fail;
    m_failInverted = r.failInverted;
    m_rawContent = r.rawContent;
    m_extraHeaders.reset();
    if (r.extraHeaders) m_extraHeaders.emplace(r.extraHeaders->view());
    m_runtimeParams = r.runtimeParams.size();

    size_t pos = 0;
    for (int items = 0; pos < arguments.size() && items < 10000; ++items) {
        std::string item = readItem(arguments, pos);
        const bool closed = pos > 0 && arguments[pos - 1] == ')';
        size_t eq = item.find('=');
        std::string_view name = std::string_view(item).substr(0, eq);
        std::string_view value = eq == std::string::npos ? std::string_view() : std::string_view(item).substr(eq + 1);
        if (!name.empty() && name[0] == '$') {
            if (!applyRequestKey(r, name, value)) break;
        } else if (!name.empty()) {
            if (hasParameter(r, name))
                r.overrides[std::string(name)] = std::string(value);
            else
                reportIfFailed(parseParamValue(set.test, r, name, value, r.runtimeParams, true));
        }
        if (closed) break;
    }
}

void EntryOverrides::restore(RequestDef& r) {
    r.uri = std::move(m_uri);
    r.server = std::move(m_server);
    r.port = m_port;
    r.method = m_method;
    r.keepalive = m_keepalive;
    r.delay = m_delay;
    r.delayUpper = m_delayUpper;
    r.secure = m_secure;
    r.fail = std::move(m_fail);
    r.failInverted = m_failInverted;
    r.rawContent = m_rawContent;
    if (m_extraHeaders) {
        if (!r.extraHeaders) r.extraHeaders = std::make_unique<TextBuffer>(128);
        r.extraHeaders->clear();
        r.extraHeaders->append(*m_extraHeaders);
    } else {
        r.extraHeaders.reset();
    }
    r.runtimeParams.resize(m_runtimeParams);
    r.overrides.clear();
}

}  // namespace velk
