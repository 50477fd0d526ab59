// velk: the desktop program.  Wires the document, the pages and the main window
// together; the work itself lives in the folders' libraries.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/results/results_container.h"
#include "app/settings/global_settings.h"
#include "app/shell/crash_handler.h"
#include "app/shell/os_text.h"
#include "app/shell/program_data.h"
#include "gui/editor/editor_page.h"
#include "gui/results/add_graphs_page.h"
#include "gui/results/export_commands.h"
#include "gui/results/graphs_page.h"
#include "gui/shell/document_controller.h"
#include "gui/shell/help_commands.h"
#include "gui/shell/main_window.h"
#include "gui/shell/progress_bar.h"
#ifdef VELK_WITH_RECORDER
#include "gui/recorder/recorder_controller.h"
#include "gui/recorder/recorder_page.h"
#include "gui/recorder/verify_dialog.h"
#endif
#include "app/runner/runner.h"
#include "app/scenario/scenario_document.h"
#include "app/settings/settings_file.h"
#include "gui/results/report_page.h"
#include "gui/results/summary_page.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/runner_commands.h"
#include "gui/runner/runner_page.h"
#include "gui/shell/screenshot_renderer.h"
#include "gui/shell/shell_commands.h"

namespace {

// The crash report first, so that a crash anywhere later is reported; the
// fresh process that offers to mail it is this program with --crash-report.
void installCrashHandler() {
    velk::shell::CrashHandler::Options options;
    options.reportPath = velk::shell::crashReportPath();
    options.osText = velk::shell::operatingSystemText();
    std::error_code ec;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (!ec) options.offerCommand = {self, "--crash-report", options.reportPath};
    velk::shell::CrashHandler::install(options);
}

// Keeps the crash handler installed until main returns, after every local
// (the runner, the window, the document) has been destroyed, so that a crash
// while shutting down is reported like any other.
struct CrashHandlerScope {
    CrashHandlerScope() { installCrashHandler(); }
    ~CrashHandlerScope() { velk::shell::CrashHandler::uninstall(); }
    CrashHandlerScope(const CrashHandlerScope&) = delete;
    CrashHandlerScope& operator=(const CrashHandlerScope&) = delete;
};

constexpr const char kUsage[] =
    "Usage: velk [FILE.vts | FILE.rlt]\n"
    "The VELK desktop program: record, edit and run load tests and look at their results.\n"
    "  FILE.vts   open this scenario\n"
    "  FILE.rlt   open this results file\n"
    "  --help     print this text and end\n"
    "Tests run from the command line with velkrun (see velkrun --help).\n";

#ifdef VELK_WITH_RECORDER
constexpr const char kSandboxOff[] = "Running as root: the embedded browser's sandbox is off.";

// Chromium refuses to start as root with its sandbox on; the recorder's
// browser then runs without it.  True when that is the case.
bool turnBrowserSandboxOffForRoot() {
    if (::geteuid() != 0) return false;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return true;
}
#endif

bool endsWith(const char* text, const char* tail) {
    const size_t n = std::strlen(text), m = std::strlen(tail);
    return n >= m && std::strcmp(text + n - m, tail) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--crash-report") == 0) {
        QApplication app(argc, argv);
        return velk::shell::offerCrashReportMail(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const CrashHandlerScope crashHandler;
#ifdef VELK_WITH_RECORDER
    const bool sandboxOff = turnBrowserSandboxOffForRoot();
#endif
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvantis"));
    QApplication::setApplicationName(QStringLiteral("VELK"));

    velk::scenario::ScenarioDocument document;
    document.newDocument();

    // The runner owns the results list that the report and graph pages show;
    // it outlives the frame and its pages.
    velk::runner::Runner runner;
    runner.initialize();
    velk::runner::RunnerBridge runnerBridge(runner);
    velk::results::CResultsContainer& results = runner.results();

    velk::shell::MainWindow frame;
    velk::shell::DocumentController controller(document, frame);
    velk::shell::connectShellCommands(frame);

    // Editor page: the scenario's requests, parameters and options.
    frame.installPage(velk::shell::MainWindow::kEditorPage, new velk::editor::EditorPage(document));

    // Runner and report pages (3, 4): Run Test, Stop Test, Open and Save Results.
    auto* runnerView = new velk::runner::RunnerPage(document, runnerBridge);
    frame.installPage(velk::shell::MainWindow::kRunnerPage, runnerView);
    auto* reportView = new velk::results::ReportPage(results);
    frame.installPage(velk::shell::MainWindow::kReportPage, reportView);
    velk::runner::connectRunnerCommands(frame, runnerBridge, *runnerView, *reportView);
    QObject::connect(&runnerBridge, &velk::runner::RunnerBridge::progress, &frame,
                     [&frame](int range, int pos, const QString& label) {
                         frame.progressBar()->setProgress(range, pos, label);
                     });
    QObject::connect(&runnerBridge, &velk::runner::RunnerBridge::progressReset, &frame,
                     [&frame] { frame.progressBar()->reset(); });
    // A run that reached no server leaves the window on the Runner page,
    // whose output says why, as a stopped one does.
    QObject::connect(
        &runnerBridge, &velk::runner::RunnerBridge::runFinished, &frame,
        [&frame, &runnerBridge](bool stopped) {
            frame.runFinished(stopped || runnerBridge.runner().reachedNoServerLastRun());
        });
    QObject::connect(&frame, &velk::shell::MainWindow::openResultsFileRequested, &frame,
                     [&frame, &runnerBridge, reportView](const QString& path) {
                         velk::runner::openResultsFile(frame, runnerBridge, *reportView, path);
                     });

    // Graphs and Batch Run Graphs pages: they refresh on activation and when the
    // bridge says the list changed (already on this thread).
    auto* graphsPage = new velk::results::GraphsPage(results);
    auto* batchGraphsPage = new velk::results::AddGraphsPage(results);
    frame.installPage(velk::shell::MainWindow::kGraphsPage, graphsPage);
    frame.installPage(velk::shell::MainWindow::kBatchGraphsPage, batchGraphsPage);
    // The Summary page: percentiles of the selected pass.
    auto* summaryPage = new velk::results::SummaryPage(results);
    frame.installPage(velk::shell::MainWindow::kSummaryPage, summaryPage);
    QObject::connect(&runnerBridge, &velk::runner::RunnerBridge::resultsChanged, summaryPage,
                     [summaryPage] { summaryPage->refresh(false); });
    // File > Export: the pass selected on the Text Report or Summary page.
    new velk::results::ExportController(frame, results, *reportView, *summaryPage, &frame);
    QObject::connect(&runnerBridge, &velk::runner::RunnerBridge::resultsChanged, graphsPage,
                     &velk::results::GraphsPage::resultsChanged);
    QObject::connect(&runnerBridge, &velk::runner::RunnerBridge::resultsChanged, batchGraphsPage,
                     &velk::results::AddGraphsPage::resultsChanged);

    // A new or opened scenario starts without the old one's results.
    QObject::connect(&controller, &velk::shell::DocumentController::aboutToReplaceDocument, &frame,
                     [&results] { results.clear(); });

    // Run Test waits while recording; recording waits while a test runs.
    QAction* runTest = frame.action(velk::shell::MainWindow::kRunTest);
    QAction* verify = frame.action(velk::shell::MainWindow::kVerifyScenario);
    auto updateRunTest = [&frame, &runnerBridge, runTest, verify] {
        runTest->setEnabled(!runnerBridge.running() && !frame.isRecording());
        verify->setEnabled(runTest->isEnabled());
    };
#ifndef VELK_WITH_RECORDER
    verify->setVisible(false);  // it lives with the recorder
#endif
    QObject::connect(&runnerBridge, &velk::runner::RunnerBridge::runningChanged, &frame,
                     updateRunTest);

#ifdef VELK_WITH_RECORDER
    // Recorder page: the embedded browser whose navigations become requests.
    auto* recorderView = new velk::recorder::RecorderPage(document);
    frame.installPage(velk::shell::MainWindow::kRecorderPage, recorderView);
    auto* recorder = new velk::recorder::RecorderController(frame, *recorderView, &frame);
    QObject::connect(verify, &QAction::triggered, &frame, [&frame, &document] {
        velk::recorder::verifyScenario(&frame, document.scenario());
    });
    QObject::connect(&controller, &velk::shell::DocumentController::aboutToReplaceDocument,
                     recorder, &velk::recorder::RecorderController::stopBeforeReplacing);
    QObject::connect(&controller, &velk::shell::DocumentController::documentReplaced, recorder,
                     &velk::recorder::RecorderController::onDocumentReplaced);
    QObject::connect(&runnerBridge, &velk::runner::RunnerBridge::runningChanged, recorder,
                     &velk::recorder::RecorderController::setTestRunning);
    QObject::connect(recorder, &velk::recorder::RecorderController::recordingChanged, &frame,
                     [&frame, updateRunTest](bool recording) {
                         frame.setRecording(recording);
                         updateRunTest();
                     });
#endif

#ifdef VELK_WITH_RECORDER
    if (sandboxOff) {
        std::fprintf(stderr, "velk: %s\n", kSandboxOff);
        document.scenario().outputLog().append(velk::runner::Runner::kWarning, kSandboxOff);
    }
#endif

    // First activation: the recorder page, the saved placement, the global
    // settings, then the tip of the day.
    frame.showPage(velk::shell::MainWindow::kRecorderPage);
    frame.showWithSavedPlacement();
    {
        velk::settings::SettingsFile store;
        velk::settings::GlobalSettings::shared().load(store);
    }
    const QString screenshots = qEnvironmentVariable("VELK_SCREENSHOTS");
    if (!screenshots.isEmpty()) {
        // scripts/screenshots.sh: picture every page, then end; the results
        // pages show the results file it names, when it names one.
        const QString resultsFile = qEnvironmentVariable("VELK_SCREENSHOT_RESULTS");
        if (!resultsFile.isEmpty())
            QTimer::singleShot(100, &frame, [&frame, resultsFile] {
                emit frame.openResultsFileRequested(resultsFile);
            });
        QTimer::singleShot(500, &frame, [&frame, screenshots] {
            const bool ok = velk::shell::renderScreenshots(frame, screenshots);
            frame.setCloseGuard({});
            QApplication::exit(ok ? 0 : 1);
        });
    } else {
        QTimer::singleShot(0, &frame, [&frame] { velk::shell::showTipAtStartUp(frame); });
    }

    // One scenario or results file on the command line; anything else is ignored.
    if (argc >= 2) {
        const QString path = QString::fromLocal8Bit(argv[argc - 1]);
        if (endsWith(argv[argc - 1], "vts"))
            QTimer::singleShot(0, &controller,
                               [&controller, path] { controller.openDocument(path); });
        else if (endsWith(argv[argc - 1], "rlt"))
            QTimer::singleShot(0, &frame,
                               [&frame, path] { emit frame.openResultsFileRequested(path); });
    }
    // Exit stops a running test (connectRunnerCommands); whatever still runs
    // when the loop ends is stopped and joined here, before the bridge, the
    // pages and the frame it calls into are destroyed.
    const int status = app.exec();
    runner.shutDown();
    return status;
}
