#pragma once
// ReachCheck: why a run reached no server.  When a pass ends without any
// answer, the runner opens one TCP connection to each place the run sends its
// requests (the servers of the scenario, or the proxy) and names what stopped
// it: a name that does not resolve, a refused connection, no answer within
// the time-out, or the system's reason.  The engine's users log the same
// failures one by one; this is the one line a person reads first.
//
// Plain functions; they block for up to the time-out per place.  Safe from
// any thread.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/scenario/scenario.h"
#include "app/settings/global_settings.h"

namespace velk::runner {

struct ReachTarget {
    std::string host;
    int32_t port = 0;
    bool proxy = false;  // the place is the proxy the run goes through
    bool operator==(const ReachTarget&) const = default;
};

// At most this many places are tried after a pass.
inline constexpr size_t kMaxReachTargets = 4;

// "" when a connection opened within timeoutMs; else the reason, for example
// "Connection refused by 127.0.0.1:9: no server listens there."
std::string unreachableReason(const ReachTarget& target, int32_t timeoutMs);

// The places of requests given as (server, secure): each server text
// ("host" or "host:port"; port 443 for a secure request without one, else
// 80), its "$gvar(name,default)" references read from values or their
// defaults, once each, in order, at most kMaxReachTargets.  A server that
// still holds an expression after that is left out.
std::vector<ReachTarget> reachTargets(const std::vector<std::pair<std::string, bool>>& servers,
                                      const std::map<std::string, std::string>& values);
// The places a scenario's run goes to: the proxy when the settings use one,
// else the servers of its requests (as above, with the scenario's values of
// the global variables).
std::vector<ReachTarget> reachTargets(const scenario::CScenario& scenario,
                                      const settings::GlobalSettings& settings);

}  // namespace velk::runner
