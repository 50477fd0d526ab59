#pragma once
// A sequence entry's arguments, "name(key=value,...)": applied to the user's
// copy of the request for one run of that entry, then taken back.
//
// Items are request keys ($uri, $server, $port, $method, $keepalive, $delay,
// $secure), values for parameters the request has, or parameters to add.
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/text_buffer.h"
#include "regex/delimited_pattern.h"
#include "script/request_def.h"

namespace velk {

struct TestRun;

class EntryOverrides {
public:
    // Saves what the arguments may change, then applies them.  An unknown key
    // beginning with "$" stops applying the rest.
    void apply(TestRun& set, RequestDef& request, std::string_view arguments);
    // Puts everything saved back and drops the override values.
    void restore(RequestDef& request);

private:
    std::string m_uri;
    std::optional<std::string> m_server;
    int32_t m_port = 0, m_method = 0, m_keepalive = 0, m_delay = 0, m_delayUpper = 0, m_secure = 0;
    std::optional<CompiledPattern> m_fail;
    bool m_failInverted = false;
    bool m_rawContent = false;
    std::optional<std::string> m_extraHeaders;
    size_t m_runtimeParams = 0;
};

}  // namespace velk
