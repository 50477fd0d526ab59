#include "run/entry_overrides.h"

#include "base/message.h"
#include "script/item_reader.h"
#include "script/param_parser.h"
#include "script/parsed_test.h"

namespace velk {

bool EntryOverrides::isParameter(const RequestDef& r, std::string_view name) const {
    if (hasParameter(r, name)) return true;
    for (const ParamEntry& p : m_params)
        if (p.name == name) return true;
    return false;
}

EffectiveRequest EntryOverrides::apply(ParsedTest& test, RequestDef& r,
                                       std::string_view arguments) {
    m_keys.uri = r.uri;
    m_keys.server = r.server;
    m_keys.port = r.port;
    m_keys.method = r.method;
    m_keys.keepalive = r.keepalive;
    m_keys.secure = r.secure;
    m_keys.multipart = r.multipart;
    m_params.clear();
    m_overrides.clear();

    size_t pos = 0;
    for (int items = 0; pos < arguments.size() && items < 10000; ++items) {
        std::string item = readItem(arguments, pos);
        const bool closed = pos > 0 && arguments[pos - 1] == ')';
        size_t eq = item.find('=');
        std::string_view name = std::string_view(item).substr(0, eq);
        std::string_view value =
            eq == std::string::npos ? std::string_view() : std::string_view(item).substr(eq + 1);
        if (!name.empty() && name[0] == '$') {
            if (!applyRequestKey(m_keys, name, value)) break;
        } else if (!name.empty()) {
            if (isParameter(r, name))
                m_overrides[std::string(name)] = std::string(value);
            else
                reportIfFailed(parseParamValue(test, m_keys, name, value, m_params, true));
        }
        if (closed) break;
    }

    EffectiveRequest effective(r);
    effective.uri = m_keys.uri;
    effective.server = m_keys.server ? &*m_keys.server : nullptr;
    effective.port = m_keys.port;
    effective.method = m_keys.method;
    effective.keepalive = m_keys.keepalive;
    effective.secure = m_keys.secure;
    effective.multipart = m_keys.multipart;
    effective.addedParams = &m_params;
    effective.addedOverrides = &m_overrides;
    return effective;
}

}  // namespace velk
