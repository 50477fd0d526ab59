#pragma once
// A sequence entry's arguments, "name(key=value,...)", as the values of one run
// of that entry laid over the user's request: the request itself is left as it
// is, so nothing has to be put back afterwards.
//
// Items are request keys ($uri, $server, $port, $method, $keepalive, $delay,
// $secure), values for parameters the request has, or parameters to add.
// Owned by one user for one entry run; not shared.
#include <map>
#include <string>
#include <string_view>

#include "http/effective_request.h"
#include "script/request_def.h"

namespace velk {

struct ParsedTest;

class EntryOverrides {
public:
    // Reads arguments and returns request as this run of the entry makes it.  An
    // unknown key beginning with "$" stops reading the rest.  The result borrows
    // from this object and from request: it is valid while both are.
    EffectiveRequest apply(ParsedTest& test, RequestDef& request, std::string_view arguments);

private:
    bool isParameter(const RequestDef& request, std::string_view name) const;

    // The request keys as the arguments set them.  A definition of its own, so
    // that keys and added $File parameters are read by the parser's own rules in
    // the order given; only its key fields are used.
    RequestDef m_keys;
    ParamList m_params;
    std::map<std::string, std::string> m_overrides;
};

}  // namespace velk
