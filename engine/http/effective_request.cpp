#include "http/effective_request.h"

namespace velk {

EffectiveRequest::EffectiveRequest(RequestDef& definition)
    : def(definition),
      uri(definition.uri),
      server(definition.server ? &*definition.server : nullptr),
      port(definition.port),
      method(definition.method),
      keepalive(definition.keepalive),
      secure(definition.secure),
      multipart(definition.multipart) {}

const std::string* EffectiveRequest::overrideFor(const std::string& name) const {
    if (addedOverrides)
        if (auto it = addedOverrides->find(name); it != addedOverrides->end()) return &it->second;
    if (auto it = def.overrides.find(name); it != def.overrides.end()) return &it->second;
    return nullptr;
}

}  // namespace velk
