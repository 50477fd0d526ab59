#pragma once
// The name of a report file, made from the outfile template:
//   %% %   %c clients   %d day "%02d"   %m month "%02d"   %y four-digit year
//   %t "%02d%02d%02d" hour minute second   %f test name after its folders
//   %n the same cut at its last "."   %p port   %r requests   %s current server
// Any other macro contributes nothing and is reported as a warning.
#include <string>

#include "results/report_environment.h"
#include "script/general_options.h"

namespace velk {

struct OutfileFields {
    const GeneralOptions& options;
    std::string testName;       // the name %f and %n are taken from
    std::string currentServer;  // what %s gives
    LocalClock now;             // what the date and time macros give
};

std::string expandOutfileTemplate(const std::string& pattern, const OutfileFields& fields);

// The test name after its last "/" or "\".
std::string testFileName(const std::string& testName);
// The report directory (one trailing "/" or "\" removed) joined with the name.
std::string reportFilePath(const std::string& reportDir, const std::string& name);

}  // namespace velk
