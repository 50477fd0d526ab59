#include "app/runner/pass_plan.h"

#include <cstdio>

#include "app/results/collect_pass.h"
#include "app/runner/cpu_monitor.h"

namespace velk::runner {

bool nextPassValue(const CycleSettings& cycle, int32_t current, int32_t& next) {
    if (!cycle.cycling) return false;
    // In 64 bits: a step past the 32-bit range ends the run rather than wrapping.
    const int64_t value = int64_t(current) + cycle.step;
    const bool goesOn =
        (cycle.step > 0 && value <= cycle.to) || (cycle.step < 0 && value >= cycle.to);
    if (goesOn) next = int32_t(value);
    return goesOn;
}

std::vector<int32_t> passValues(const CycleSettings& cycle) {
    std::vector<int32_t> values{cycle.from};
    for (int32_t next = 0; nextPassValue(cycle, values.back(), next);) values.push_back(next);
    return values;
}

const char* cycledOption(const CycleSettings& cycle) {
    return cycle.byIterations ? "requests" : "clients";
}

std::string passTitle(const std::string& runName, const CycleSettings& cycle, int32_t value) {
    if (!cycle.cycling) return runName;
    return runName + " - " + results::cycleLabel(cycle.byIterations) + "=" + std::to_string(value);
}

std::string cyclingMessage(const CycleSettings& cycle, int32_t value) {
    return std::string("Cycling: ") + results::cycleLabel(cycle.byIterations) + "=" +
           std::to_string(value);
}

std::string waitingMessage(int32_t seconds) {
    return "Waiting " + std::to_string(seconds) + " second" + (seconds == 1 ? "" : "s") + "...";
}

std::string finishedMessage(const std::string& title) {
    return "Finished \"" + title + "\"";
}

std::vector<std::string> overloadMessages(double averageLoad) {
    if (!CpuMonitor::isOverloaded(averageLoad)) return {};
    char text[96];
    std::snprintf(text, sizeof text, "Average CPU usage during the test was at level: %.2f%%",
                  averageLoad);
    return {text, "Results are somewhat lowered"};
}

}  // namespace velk::runner
