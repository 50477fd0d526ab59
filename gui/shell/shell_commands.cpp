#include "gui/shell/shell_commands.h"

#include <QAction>

#include "app/settings/global_settings.h"
#include "app/settings/settings_file.h"
#include "app/shell/program_data.h"
#include "gui/shell/about_dialog.h"
#include "gui/shell/help_commands.h"
#include "gui/shell/main_window.h"
#include "gui/shell/settings_dialog.h"
#include "gui/shell/tip_dialog.h"

namespace velk::shell {
namespace {

void showTip(MainWindow& frame) {
    TipDialog dialog(QString::fromStdString(programDataPath("Tips.txt")), &frame);
    dialog.exec();
}

}  // namespace

void connectShellCommands(MainWindow& frame) {
    MainWindow* f = &frame;
    QObject::connect(frame.action(MainWindow::kSettings), &QAction::triggered, f, [f] {
        velk::settings::SettingsFile store;
        SettingsDialog dialog(velk::settings::GlobalSettings::shared(), store, f);
        dialog.exec();
    });
    QObject::connect(frame.action(MainWindow::kTipOfTheDay), &QAction::triggered, f,
                     [f] { showTip(*f); });
    QObject::connect(frame.action(MainWindow::kHelpContents), &QAction::triggered, f,
                     [f] { openHelpContents(f); });
    QObject::connect(frame.action(MainWindow::kWebSite), &QAction::triggered, f,
                     [] { openWebSite(); });
    QObject::connect(frame.action(MainWindow::kFeedback), &QAction::triggered, f,
                     [] { sendFeedback(); });
    QObject::connect(frame.action(MainWindow::kAbout), &QAction::triggered, f, [f] {
        AboutDialog dialog(f);
        dialog.exec();
    });
}

void showTipAtStartUp(MainWindow& frame) {
    if (TipDialog::showAtStartUp()) showTip(frame);
}

}  // namespace velk::shell
