#include "app/recorder/new_recording.h"

#include "app/scenario/scenario.h"

namespace velk::recorder {

bool prepareRecordingScenario(scenario::CScenario& scenario) {
    scenario::CRequestsContainer& requests = scenario.requests();
    if (requests.count() != 0) return false;
    requests.setRecordedChecks(true);
    scenario.general().newVisitor = true;
    return true;
}

}  // namespace velk::recorder
