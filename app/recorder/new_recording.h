#pragma once
// What a recording sets in the scenario it starts: a scenario without requests
// yet gets checks of its replays against the recording and newvisitor=1, so
// that a login recorded in the test sequence holds in every iteration.  A
// scenario that already has requests keeps the options its author chose.
//
// Used by the desktop recorder when recording starts and by the HAR import.
// The caller holds no lock of the scenario's container (this takes it).
namespace velk::scenario {
class CScenario;
}

namespace velk::recorder {

// True when the scenario was empty and took the recording's options.
bool prepareRecordingScenario(scenario::CScenario& scenario);

}  // namespace velk::recorder
