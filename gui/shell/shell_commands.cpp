#include "shell_commands.h"

#include <QAction>

#include "about_dialog.h"
#include "global_settings.h"
#include "help_commands.h"
#include "main_frame.h"
#include "program_data.h"
#include "settings_dialog.h"
#include "settings_store.h"
#include "tip_dialog.h"

namespace velk::shell {
namespace {

void showTip(CMainFrame& frame) {
    TipDialog dialog(QString::fromStdString(programDataPath("Tips.txt")), &frame);
    dialog.exec();
}

}  // namespace

void connectShellCommands(CMainFrame& frame) {
    CMainFrame* f = &frame;
    QObject::connect(frame.action(CMainFrame::kSettings), &QAction::triggered, f, [f] {
        SettingsStore store;
        SettingsDialog dialog(velk::model::GlobalSettings::shared(), store, f);
        dialog.exec();
    });
    QObject::connect(frame.action(CMainFrame::kTipOfTheDay), &QAction::triggered, f,
                     [f] { showTip(*f); });
    QObject::connect(frame.action(CMainFrame::kHelpContents), &QAction::triggered, f,
                     [f] { openHelpContents(f); });
    QObject::connect(frame.action(CMainFrame::kWebSite), &QAction::triggered, f,
                     [] { openWebSite(); });
    QObject::connect(frame.action(CMainFrame::kFeedback), &QAction::triggered, f,
                     [] { sendFeedback(); });
    QObject::connect(frame.action(CMainFrame::kAbout), &QAction::triggered, f, [f] {
        AboutDialog dialog(f);
        dialog.exec();
    });
}

void showTipAtStartUp(CMainFrame& frame) {
    if (TipDialog::showAtStartUp()) showTip(frame);
}

}  // namespace velk::shell
