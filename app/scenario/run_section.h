#pragma once
// CRunSection: how a scenario is run: users, iterations, limits, sequences,
// report and log places, cycling over passes, timing.  A plain value; the
// scenario's lock serializes its users.
#include <cstdint>
#include <string>
#include <vector>

namespace velk::scenario {

class VtsReader;
class VtsWriter;

struct CRunSection {
    CRunSection() { setDefaults(); }

    int32_t clients;
    int32_t requestsPerUser;
    bool useRequestLimit;
    int32_t requestLimit;
    bool useTimeLimit;
    int32_t timeLimit;  // minutes
    bool timeoutCheck;
    std::string description;
    std::string outputFileTemplate;
    bool writeLog;
    std::string logDirectory;
    bool useReportDirectory;
    std::string reportDirectory;
    int32_t rateMode;   // 0 maximum load, 1 load level
    int32_t rateValue;  // requests per second of the load level
    bool details;
    bool timeStamps;
    bool useInitialSequence;
    bool useMainSequence;
    bool useFinalSequence;
    std::vector<std::string> initialSequence;
    std::vector<std::string> mainSequence;
    std::vector<std::string> finalSequence;
    bool cycling;
    bool cycleByIterations;
    int32_t cycleFrom;
    int32_t cycleTo;
    int32_t cycleStep;
    bool pauseBetweenPasses;
    int32_t pauseSeconds;
    bool useStartDelay;
    int32_t startDelay;  // milliseconds
    int32_t timingMode;  // 0 web transaction, 1 response time, 2 request time
    int32_t rounding;    // 0 "0.01 ms", 1 "0.1 ms", 2 "1 ms"

    // Every field to its default: empty sequences, directories recomputed.
    void setDefaults();
    void write(VtsWriter& out) const;
    // Overwrites every stored field; the sequences are emptied and refilled.
    void read(VtsReader& in);
};

}  // namespace velk::scenario
