#pragma once
// RunLatency: the users' response-time figures merged after a run, per request
// name (in the order the names first appear in the test sequence, or in a
// script's results) and for the run as a whole.
//
// Built on one thread once the users have ended; read-only afterwards.
#include <string>
#include <vector>

#include "results/request_latency.h"
#include "results/run_record.h"

namespace velk {

struct RunLatency {
    RequestLatency overall;
    std::vector<std::string> names;
    std::vector<RequestLatency> requests;  // one per name
    // Requests were paced, so the intended-start figures mean something.
    bool paced = false;

    // positionNames: the request name of each test-sequence position.
    static RunLatency merge(const std::vector<const UserRecord*>& users,
                            const std::vector<std::string>& positionNames, bool paced);

private:
    RequestLatency& named(const std::string& name);
};

}  // namespace velk
