#pragma once
// Names that are known not to resolve without asking anyone.
#include <string_view>

#include "base/ascii.h"

namespace velk {

// A name in the special-use domain "invalid" never resolves (RFC 6761): a
// resolver answers at once rather than send the question to the network.
inline bool isInvalidDomain(std::string_view host) {
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    constexpr std::string_view kLabel = "invalid";
    if (host.size() < kLabel.size()) return false;
    const std::string_view tail = host.substr(host.size() - kLabel.size());
    for (size_t i = 0; i < kLabel.size(); ++i)
        if (asciiLower(tail[i]) != kLabel[i]) return false;
    return host.size() == kLabel.size() || host[host.size() - kLabel.size() - 1] == '.';
}

}  // namespace velk
