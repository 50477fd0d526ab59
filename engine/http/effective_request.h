#pragma once
// A request as a user makes it this time: its definition, with the values a
// sequence entry's arguments give laid over it.  The definition is not edited
// for an entry: what an entry may change is held here, and the parameters and
// parameter values the entry adds are looked at after the definition's own.
//
// A plain value made for each request; it borrows the definition (and an
// entry's values) and lives no longer than the request.  Made from a definition
// alone it copies a few fields and allocates nothing; the conversion is implicit
// because that is what every request without arguments is.
//
// What composing keeps for the user from one request to the next (the
// multipart boundary, the names $rxname computed, keep-alive switched off under
// HTTP/1.0) still goes into the definition.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "script/request_def.h"

namespace velk {

struct EffectiveRequest {
    EffectiveRequest(RequestDef& definition);  // NOLINT: implicit on purpose (see above)

    // The value given to parameter name for this request, if any: an entry's
    // before the definition's.
    const std::string* overrideFor(const std::string& name) const;

    RequestDef& def;
    std::string_view uri;
    const std::string* server = nullptr;  // none: the general server option
    int32_t port = 0;
    int32_t method = 0;  // an HttpMethod (script/http_method.h)
    int32_t keepalive = 0;
    int32_t secure = 0;  // as RequestDef::secure
    bool multipart = false;
    // Parameters the entry adds (after the definition's) and the values it gives
    // to parameters; none without arguments.
    const ParamList* addedParams = nullptr;
    const std::map<std::string, std::string>* addedOverrides = nullptr;
};

}  // namespace velk
