#pragma once
// Wires the main window's own commands (Settings, Tip of the Day, Help
// Contents, the web site, Feedback, About) to their dialogs and links.
namespace velk::shell {

class MainWindow;

void connectShellCommands(MainWindow& frame);
// The tip of the day at start-up, unless the user turned it off.
void showTipAtStartUp(MainWindow& frame);

}  // namespace velk::shell
