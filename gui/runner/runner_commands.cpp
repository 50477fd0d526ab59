#include "gui/runner/runner_commands.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/results/rlt_file.h"
#include "gui/results/report_page.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/runner_page.h"
#include "gui/shell/main_window.h"
#include "gui/shell/progress_bar.h"

namespace velk::runner {
namespace {

using velk::shell::MainWindow;

const QString kFilter = QStringLiteral("Result Files (*.rlt);;All Files (*)");

void saveResults(MainWindow& frame, RunnerBridge& bridge) {
    QFileDialog dialog(&frame, QStringLiteral("Save Results"), QString(), kFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("rlt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const velk::Status saved = velk::results::saveResultsFile(
        bridge.runner().results(), dialog.selectedFiles().front().toStdString());
    if (!saved)
        QMessageBox::warning(&frame, QApplication::applicationName(),
                             QString::fromStdString(saved.message()));
}

}  // namespace

bool openResultsFile(MainWindow& frame, RunnerBridge& bridge, velk::results::ReportPage& reportView,
                     const QString& path) {
    const velk::Status loaded =
        velk::results::loadResultsFile(bridge.runner().results(), path.toStdString());
    if (!loaded)
        QMessageBox::warning(&frame, QApplication::applicationName(),
                             QString::fromStdString(loaded.message()));
    frame.showPage(MainWindow::kReportPage);
    reportView.refresh(true);
    return loaded.isOk();
}

void connectRunnerCommands(MainWindow& frame, RunnerBridge& bridge, RunnerPage& runnerView,
                           velk::results::ReportPage& reportView) {
    QAction* run = frame.action(MainWindow::kRunTest);
    QAction* stop = frame.action(MainWindow::kStopTest);
    QAction* save = frame.action(MainWindow::kSaveResults);
    auto enable = [run, stop](bool running) {
        run->setEnabled(!running);
        stop->setEnabled(running);
    };
    enable(bridge.running());
    save->setEnabled(bridge.runner().results().count() > 0);
    QObject::connect(&bridge, &RunnerBridge::runningChanged, run, enable);
    QObject::connect(&bridge, &RunnerBridge::resultsChanged, save, [save, &bridge, &reportView] {
        save->setEnabled(bridge.runner().results().count() > 0);
        reportView.refresh(false);
    });
    QObject::connect(run, &QAction::triggered, &runnerView, [&frame, &runnerView] {
        // The editor keeps its pending edits in the scenario first.
        if (frame.shownPage() == MainWindow::kEditorPage)
            if (auto* editor = frame.page(MainWindow::kEditorPage)) editor->deactivatePage();
        runnerView.runTest();
    });
    QObject::connect(stop, &QAction::triggered, &runnerView,
                     [&runnerView] { runnerView.stopTest(); });
    QObject::connect(&runnerView, &RunnerPage::pageWanted, &frame, &MainWindow::showPage);
    // The bar appears when a run really starts, not for a Run Test refused.
    QObject::connect(&bridge, &RunnerBridge::runningChanged, frame.progressBar(),
                     [bar = frame.progressBar()](bool running) {
                         if (running) bar->setPos(0);
                     });
    // Exit during a run stops it (with the wait message) before the window
    // and what the run reports to go away.
    QObject::connect(&frame, &MainWindow::closing, &bridge,
                     [&frame, &bridge] { bridge.stop(&frame); });
    QObject::connect(&bridge, &RunnerBridge::firstBatchPassCollected, &frame,
                     [&frame] { frame.showPage(MainWindow::kBatchGraphsPage); });
    // A run that reached no server stays on the Runner page, whose output
    // says why; its report (errors only) is a click away.
    QObject::connect(&bridge, &RunnerBridge::runFinished, &frame, [&frame, &bridge](bool stopped) {
        if (!stopped && !bridge.runner().reachedNoServerLastRun())
            frame.showPage(MainWindow::kReportPage);
    });
    QObject::connect(frame.action(MainWindow::kOpenResults), &QAction::triggered, &frame,
                     [&frame, &bridge, &reportView] {
                         const QString path = QFileDialog::getOpenFileName(
                             &frame, QStringLiteral("Open Results"), QString(), kFilter);
                         if (!path.isEmpty()) openResultsFile(frame, bridge, reportView, path);
                     });
    QObject::connect(save, &QAction::triggered, &frame,
                     [&frame, &bridge] { saveResults(frame, bridge); });
}

}  // namespace velk::runner
