#include "results/run_latency.h"

#include <algorithm>

namespace velk {

RequestLatency& RunLatency::named(const std::string& name) {
    auto it = std::find(names.begin(), names.end(), name);
    if (it != names.end()) return requests[size_t(it - names.begin())];
    names.push_back(name);
    return requests.emplace_back();
}

RunLatency RunLatency::merge(const std::vector<const UserRecord*>& users,
                             const std::vector<std::string>& positionNames, bool paced) {
    RunLatency run;
    run.paced = paced;
    for (const std::string& name : positionNames) run.named(name);
    for (const UserRecord* user : users) {
        for (size_t p = 0; p < user->latency.size() && p < positionNames.size(); ++p)
            run.named(positionNames[p]).merge(user->latency[p]);
        // A script's results carry their own names and only their times.
        for (const ScriptedResult& r : user->results.scripted())
            if (r.value != kNotRun) run.named(r.name).record(r.value, 0, 0, 0);
    }
    for (const RequestLatency& r : run.requests) run.overall.merge(r);
    return run;
}

}  // namespace velk
