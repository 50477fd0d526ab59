#pragma once
// Everything the statistics and the text report read about a finished run,
// gathered by the caller so the results code depends on nothing else.
#include <cstdint>
#include <string>
#include <vector>

#include "http/http_counters.h"
#include "results/run_record.h"
#include "script/general_options.h"

namespace velk {

struct ReportInput {
    const GeneralOptions& options;
    std::string testName;                    // the test's name (the report uses projectname)
    std::vector<std::string> sequenceNames;  // request name of each test-sequence position
    std::vector<const UserRecord*> users;    // in user order
    const RunTimes& times;
    const HttpCounters& counters;  // HTTP requests and status codes
    const ErrorCounters& errors;   // error classes of an aggregated run
    std::string currentServer;     // the test's current server value
    bool scriptDriven = false;
};

}  // namespace velk
