#pragma once
// What a virtual user lends its script: the parts of its session that the velk
// object acts on.  Everything here belongs to the user's thread, except the
// parsed test, whose options are read-only during a run, and what the run's
// users share, whose counters and abort flag are atomic.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "http/http_session.h"
#include "http/request_executor.h"
#include "results/user_results.h"
#include "script/request_def.h"

namespace velk {

struct ParsedTest;
struct SharedRun;

struct ScriptSession {
    ParsedTest& test;
    SharedRun& shared;
    int32_t userIndex;
    HttpSession& http;
    // The user's own copies of the requests, by name (exact case).
    std::map<std::string, RequestDef, std::less<>>& requests;
    // The body of the user's last response.
    BodyRef& previousBody;
    UserResults& results;
    // Sets or removes the request's exported variables from the response just
    // read, as after a sequence step.
    std::function<void(const RequestDef&)> exportVariables;
};

}  // namespace velk
