#pragma once
// Wires the runner's commands into the main window: Run Test and Stop Test
// with their enabling, Open Results and Save Results, the page switches of a
// run (batch graphs after the first cycling pass, the report at the end).
// User-interface thread only.
#include <QString>

namespace velk::shell {
class CMainFrame;
}
namespace velk::results {
class CReportFormView;
}

namespace velk::runner {

class RunnerBridge;
class CRunnerFormView;

void connectRunnerCommands(velk::shell::CMainFrame& frame, RunnerBridge& bridge,
                           CRunnerFormView& runnerView, velk::results::CReportFormView& reportView);

// Loads a results file into the runner's list and shows it on the report page
// (Open Results, and a .rlt named on the command line).  False, after telling
// the user why, when the file could not be read whole.
bool openResultsFile(velk::shell::CMainFrame& frame, RunnerBridge& bridge,
                     velk::results::CReportFormView& reportView, const QString& path);

}  // namespace velk::runner
