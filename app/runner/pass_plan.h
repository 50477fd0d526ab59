#pragma once
// The passes of a run and what is said about them: the values a batch run
// steps through, each pass's title, and the messages before, between and
// after passes.  The desktop program's runner and velkrun both take them from
// here, so that both step and speak alike.  Plain functions.
#include <cstdint>
#include <string>
#include <vector>

namespace velk::runner {

// How a run cycles over passes.
struct CycleSettings {
    bool cycling = false;
    bool byIterations = false;  // the cycled option: "requests", else "clients"
    int32_t from = 0;
    int32_t to = 0;
    int32_t step = 0;
    bool pause = false;
    int32_t pauseSeconds = 0;
};

// The value after current, stepping towards to; false when the run has no
// further pass (not cycling, a zero step, or past to).
bool nextPassValue(const CycleSettings& cycle, int32_t current, int32_t& next);
// Every pass's value in order: from, and each next one ({from} without cycling).
std::vector<int32_t> passValues(const CycleSettings& cycle);

// The engine option a batch run cycles: "requests" or "clients".
const char* cycledOption(const CycleSettings& cycle);
// "shop - Virtual users=5" for a pass of a batch run, else runName.
std::string passTitle(const std::string& runName, const CycleSettings& cycle, int32_t value);

// The messages of a run, as the desktop program's output panel and velkrun's
// standard error show them.
std::string cyclingMessage(const CycleSettings& cycle, int32_t value);  // "Cycling: ...=5"
std::string waitingMessage(int32_t seconds);                            // "Waiting 2 seconds..."
std::string finishedMessage(const std::string& title);                  // "Finished \"...\""
// The warning that a pass ran on an overloaded machine: two lines, or none
// when the average load was below the limit.
std::vector<std::string> overloadMessages(double averageLoad);
inline constexpr const char* kRunningMessage = "Running...";
inline constexpr const char* kTerminatedMessage = "Process was terminated by user";
inline constexpr const char* kFailedPassMessage = "Errors occured during test";
inline constexpr const char* kAllFinishedMessage = "All tasks finished";

}  // namespace velk::runner
