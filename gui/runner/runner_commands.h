#pragma once
// Wires the runner's commands into the main window: Run Test and Stop Test
// with their enabling, Open Results and Save Results, the page switches of a
// run (batch graphs after the first cycling pass, the report at the end).
// User-interface thread only.
#include <QString>

namespace velk::shell {
class MainWindow;
}
namespace velk::results {
class ReportPage;
}

namespace velk::runner {

class RunnerBridge;
class RunnerPage;

void connectRunnerCommands(velk::shell::MainWindow& frame, RunnerBridge& bridge,
                           RunnerPage& runnerView, velk::results::ReportPage& reportView);

// Loads a results file into the runner's list and shows it on the report page
// (Open Results, and a .rlt named on the command line).  False, after telling
// the user why, when the file could not be read whole.
bool openResultsFile(velk::shell::MainWindow& frame, RunnerBridge& bridge,
                     velk::results::ReportPage& reportView, const QString& path);

}  // namespace velk::runner
