// The desktop program's pages end to end: the demo scenario run against the
// demo site from the Run Test command to the report page, its results saved
// and read back; and a run that prints a line per user with the window kept
// responsive (the longest event-loop stall is printed).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/results/rlt_file.h"
#include "common/build_tree.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "gui/results/chart_view.h"
#include "gui/results/report_page.h"
#include "gui/results/summary_page.h"
#include "gui/runner/live_panel.h"
#include "gui/runner/output_box.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/runner_commands.h"
#include "gui/runner/runner_page.h"
#include "gui/shell/main_window.h"
#include "gui/shell/progress_bar.h"
#include "support/test_http_server.h"

extern char** environ;

namespace velk::runner {
namespace {

using velk::shell::MainWindow;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One pass of clients users without a log, its report written into dir.
void setOnePass(velk::scenario::CRunSection& run, int clients, const velk::test::TempDir& dir) {
    run.cycling = false;
    run.clients = clients;
    run.writeLog = false;
    run.useReportDirectory = true;
    run.reportDirectory = dir.path().string();
}

// The main window with the runner and report pages wired as velk wires them.
struct RunnerWindow {
    explicit RunnerWindow(velk::scenario::ScenarioDocument& document)
        : bridge(initialized(runner)) {
        runnerView = new RunnerPage(document, bridge);
        frame.installPage(MainWindow::kRunnerPage, runnerView);
        reportView = new velk::results::ReportPage(runner.results());
        frame.installPage(MainWindow::kReportPage, reportView);
        connectRunnerCommands(frame, bridge, *runnerView, *reportView);
    }
    static Runner& initialized(Runner& runner) {
        runner.initialize();
        return runner;
    }
    // The runner outlives the frame, whose pages use it.
    Runner runner;
    RunnerBridge bridge;
    MainWindow frame;
    RunnerPage* runnerView = nullptr;
    velk::results::ReportPage* reportView = nullptr;
};

// The demo site on an ephemeral port, stopped at the end.
class DemoSite {
public:
    explicit DemoSite(const velk::test::TempDir& dir) {
        const std::string portFile = dir.file("port");
        std::vector<std::string> args = {VELK_DEMO_SITE_PATH, "--port", "0", "--port-file",
                                         portFile};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, VELK_DEMO_SITE_PATH, nullptr, nullptr, argv.data(), environ) != 0)
            return;
        for (int i = 0; i < 200 && m_port.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            m_port = readFile(portFile);
            while (!m_port.empty() && (m_port.back() == '\n' || m_port.back() == '\r'))
                m_port.pop_back();
        }
    }
    ~DemoSite() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& port() const { return m_port; }

private:
    pid_t m_pid = -1;
    std::string m_port;
};

TEST(RunnerEndToEnd, DemoScenarioRunsToTheReportPageAndItsResultsReload) {
    velk::test::TempDir dir;
    DemoSite site(dir);
    ASSERT_FALSE(site.port().empty());

    velk::scenario::ScenarioDocument document;
    document.newDocument();
    ASSERT_TRUE(velk::test::isOk(document.open(VELK_EXAMPLES_DIR "/demo-shop.vts")));
    {
        // The scenario takes the site's port from a global variable; the
        // desktop program has none, so the port goes into the requests.
        auto& requests = document.scenario().requests();
        std::lock_guard lock(requests);
        for (velk::scenario::CRequest* r : requests.flattened()) {
            std::string server = r->getServer();
            const size_t at = server.find("$gvar(port,8080)");
            if (at != std::string::npos) server.replace(at, 16, site.port());
            r->setServer(server);
        }
    }
    setOnePass(document.scenario().run(), 2, dir);
    document.scenario().run().requestsPerUser = 1;

    RunnerWindow window(document);
    MainWindow& frame = window.frame;
    Runner& runner = window.runner;
    RunnerBridge& bridge = window.bridge;
    RunnerPage* runnerView = window.runnerView;
    velk::results::ReportPage* reportView = window.reportView;
    std::vector<QString> messages;
    runnerView->setMessageHandler([&](const QString& text) { messages.push_back(text); });
    frame.showPage(MainWindow::kEditorPage);
    frame.show();

    EXPECT_FALSE(frame.action(MainWindow::kSaveResults)->isEnabled());
    frame.action(MainWindow::kRunTest)->trigger();
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(frame.action(MainWindow::kRunTest)->isEnabled());
    EXPECT_TRUE(frame.action(MainWindow::kStopTest)->isEnabled());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return frame.shownPage() == MainWindow::kReportPage; }, 120000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return frame.action(MainWindow::kSaveResults)->isEnabled(); }, 5000));
    EXPECT_TRUE(frame.action(MainWindow::kRunTest)->isEnabled());

    ASSERT_EQ(runner.results().count(), 1);
    const auto record = runner.results().get(0);
    EXPECT_EQ(reportView->titles()->count(), 1);
    EXPECT_EQ(reportView->titles()->currentText().toStdString(), record->title);
    const QString shown = reportView->reportBox()->toPlainText();
    EXPECT_NE(shown.indexOf("home"), -1) << shown.toStdString();
    EXPECT_EQ(record->totalErrors, 0);
    EXPECT_GT(record->totalRequests, 0);

    const std::string path = dir.file("shop.rlt");
    ASSERT_TRUE(velk::test::isOk(velk::results::saveResultsFile(runner.results(), path)));
    const std::string saved = readFile(path);
    runner.results().clear();
    ASSERT_TRUE(openResultsFile(frame, bridge, *reportView, QString::fromStdString(path)));
    EXPECT_EQ(velk::results::rltFileBytes(runner.results().all()), saved);
    EXPECT_EQ(reportView->reportBox()->toPlainText(), shown);
    EXPECT_EQ(frame.shownPage(), MainWindow::kReportPage);
}

TEST(RunnerEndToEnd, StopTestEndsTheRunWithoutTheReportPage) {
    velk::test::TempDir dir;
    velk::test::TestHttpServer server;
    // Answers late, whether or not the engine ends its wait at the abort.
    server.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        r.respond(200, "late", "");
    });
    velk::scenario::ScenarioDocument document;
    document.newDocument();
    auto request = std::make_unique<velk::scenario::CRequest>();
    request->setName("home");
    request->setMethod(velk::scenario::CRequest::kGet);
    request->setServer("127.0.0.1:" + std::to_string(server.port()));
    request->setUri("/");
    document.scenario().requests().addChild(0, std::move(request));
    setOnePass(document.scenario().run(), 1, dir);
    document.scenario().run().useStartDelay = false;

    RunnerWindow window(document);
    MainWindow& frame = window.frame;
    Runner& runner = window.runner;
    RunnerBridge& bridge = window.bridge;
    bool stopped = false;
    QObject::connect(&bridge, &RunnerBridge::runFinished, &frame, [&](bool s) { stopped = s; });
    frame.show();

    frame.action(MainWindow::kRunTest)->trigger();
    EXPECT_EQ(frame.shownPage(), MainWindow::kRunnerPage);
    ASSERT_TRUE(server.waitForRequests(1, 30000));
    // The wait window closes itself when the worker has ended.
    frame.action(MainWindow::kStopTest)->trigger();
    EXPECT_FALSE(runner.isRunning());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return frame.action(MainWindow::kRunTest)->isEnabled(); }, 10000));
    EXPECT_TRUE(stopped);
    EXPECT_EQ(frame.shownPage(), MainWindow::kRunnerPage);
    EXPECT_EQ(runner.results().count(), 0);
    EXPECT_NE(
        document.scenario().outputLog().text().find("WARNING>   Process was terminated by user"),
        std::string::npos);
}

// A document with one request to the loopback server, users x iterations.
void oneRequestTo(velk::scenario::ScenarioDocument& document, uint16_t port, int users,
                  int iterations, const velk::test::TempDir& dir) {
    document.newDocument();
    auto request = std::make_unique<velk::scenario::CRequest>();
    request->setName("home");
    request->setMethod(velk::scenario::CRequest::kGet);
    request->setServer("127.0.0.1:" + std::to_string(port));
    request->setUri("/");
    document.scenario().requests().addChild(0, std::move(request));
    setOnePass(document.scenario().run(), users, dir);
    document.scenario().run().requestsPerUser = iterations;
    document.scenario().run().useStartDelay = false;
}

// A run that reaches no server says why in its output and goes to no report;
// while it goes, its live panel never says "none" for its errors: a closed
// loopback port and a name that never resolves.
TEST(RunnerEndToEnd, ARunThatReachesNoServerSaysWhyAndNeverLooksClean) {
    int32_t closed = 0;
    {
        velk::test::TestHttpServer gone;  // a loopback port nothing listens on any more
        closed = int32_t(gone.port());
    }
    const std::string at = "127.0.0.1:" + std::to_string(closed);
    const struct {
        std::string server;
        std::string why;
    } cases[] = {
        {at, "No request reached the server. Connection refused by " + at +
                 ": no server listens there."},
        {"velk-test.invalid",
         "No request reached the server. The name \"velk-test.invalid\" of the server does "
         "not resolve ("},
    };
    for (const auto& c : cases) {
        velk::test::TempDir dir;
        velk::scenario::ScenarioDocument document;
        oneRequestTo(document, 0, 2, 3, dir);
        {
            auto& requests = document.scenario().requests();
            std::lock_guard lock(requests);
            requests.flattened().front()->setServer(c.server);
        }
        RunnerWindow window(document);
        MainWindow& frame = window.frame;
        LivePanel* panel = window.runnerView->livePanel();
        // Connected after the page's own handlers: each sees what was just shown.
        QStringList shown;
        const auto look = [&] {
            if (panel->isVisible()) shown << panel->figureText("errors");
        };
        QObject::connect(&window.bridge, &RunnerBridge::liveChanged, &frame, look);
        QObject::connect(&window.bridge, &RunnerBridge::runningChanged, &frame, look);
        bool finished = false;
        QObject::connect(&window.bridge, &RunnerBridge::runFinished, &frame,
                         [&] { finished = true; });
        frame.resize(765, 550);
        frame.show();
        frame.action(MainWindow::kRunTest)->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 60000)) << c.server;
        auto* output = window.runnerView->findChild<OutputBox*>(QStringLiteral("output"));
        ASSERT_NE(output, nullptr);
        // The output reaches the box a few times a second, not at once.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return output->toPlainText().contains("No request reached"); }, 5000));
        EXPECT_TRUE(output->toPlainText().contains(QString::fromStdString(c.why)))
            << output->toPlainText().toStdString();
        EXPECT_FALSE(shown.contains(QStringLiteral("none"))) << shown.join("|").toStdString();
        EXPECT_FALSE(shown.isEmpty());
        EXPECT_NE(frame.shownPage(), MainWindow::kReportPage);
    }
}

// File > Exit during a run: the run is stopped (with the wait message) before
// the window, the bridge and its events are destroyed, in velk's order.
// Meanwhile the progress keeps its pane: a toolbar button's status tip does
// not cover it.
TEST(RunnerEndToEnd, ExitDuringARunStopsItBeforeAnythingItCallsGoes) {
    velk::test::TempDir dir;
    velk::test::TestHttpServer server;
    server.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
        r.respond(200, "ok", "");
    });
    velk::scenario::ScenarioDocument document;
    oneRequestTo(document, server.port(), 5, 100000, dir);
    auto window = std::make_unique<RunnerWindow>(document);
    MainWindow& frame = window->frame;
    frame.show();
    frame.action(MainWindow::kRunTest)->trigger();
    ASSERT_TRUE(server.waitForRequests(20, 30000));
    QProgressBar* bar = frame.progressBar()->bar();
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }, 10000));
    QToolBar* tools = frame.toolBar();
    frame.action(MainWindow::kSaveScenario)->showStatusText(tools);
    EXPECT_TRUE(frame.statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(bar->isVisible());

    EXPECT_TRUE(frame.close());
    EXPECT_FALSE(window->runner.isRunning());
    window.reset();
}

// The bridge owns the events a run reports to: destroying it during a run
// stops the run first, whatever order its owner destroys things in.
TEST(RunnerEndToEnd, DestroyingTheBridgeDuringARunStopsTheRunFirst) {
    velk::test::TempDir dir;
    velk::test::TestHttpServer server;
    server.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
        r.respond(200, "ok", "");
    });
    velk::scenario::ScenarioDocument document;
    oneRequestTo(document, server.port(), 5, 100000, dir);
    const StatusOr<std::string> made =
        document.scenario().generateScript(velk::settings::GlobalSettings());
    ASSERT_TRUE(velk::test::isOk(made));
    const std::string& script = *made;
    Runner runner;
    runner.initialize();
    auto bridge = std::make_unique<RunnerBridge>(runner);
    ASSERT_TRUE(bridge->start(script, "exit", {}));
    ASSERT_TRUE(server.waitForRequests(20, 30000));
    bridge.reset();
    EXPECT_FALSE(runner.isRunning());
}

// A Run Test that is refused leaves the status bar as it was: no empty bar.
TEST(RunnerEndToEnd, RefusedRunTestLeavesNoProgressBar) {
    velk::scenario::ScenarioDocument document;
    document.newDocument();
    RunnerWindow window(document);
    std::vector<QString> messages;
    window.runnerView->setMessageHandler([&](const QString& text) { messages.push_back(text); });
    window.frame.show();
    window.frame.action(MainWindow::kRunTest)->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith("No requests in the test scenario."));
    EXPECT_FALSE(window.frame.progressBar()->bar()->isVisible());
}

// The runner page offers the "$gvar" values the scenario reads: a scenario
// whose requests go to "$gvar(port,9)" runs against the server whose port is
// typed into the page's field, without editing a request; the value is kept
// in the scenario's file.
TEST(RunnerEndToEnd, GlobalVariableTypedOnTheRunnerPageReachesTheRun) {
    velk::test::TempDir dir;
    velk::test::TestHttpServer server;
    server.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
        r.respond(200, "ok", "");
    });
    velk::scenario::ScenarioDocument document;
    oneRequestTo(document, server.port(), 1, 1, dir);
    {
        auto& requests = document.scenario().requests();
        std::lock_guard lock(requests);
        requests.flattened().front()->setServer("127.0.0.1:$gvar(port,9)");
    }
    RunnerWindow window(document);
    MainWindow& frame = window.frame;
    frame.show();
    frame.showPage(MainWindow::kRunnerPage);
    auto* port = window.runnerView->findChild<QLineEdit*>(QStringLiteral("gvar:port"));
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->placeholderText(), "9");
    port->setFocus();
    QTest::keyClicks(port, QString::number(server.port()));
    frame.action(MainWindow::kRunTest)->trigger();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return frame.shownPage() == MainWindow::kReportPage; }, 60000));
    EXPECT_EQ(server.requestCount(), 1);
    ASSERT_EQ(window.runner.results().count(), 1);
    EXPECT_EQ(window.runner.results().get(0)->totalErrors, 0);

    // The value belongs to the scenario: kept in its file, and on the page
    // again when the file is opened.
    EXPECT_TRUE(document.isModified());
    const std::string path = dir.file("kept.vts");
    ASSERT_TRUE(velk::test::isOk(document.saveAs(path)));
    document.scenario().globalValues().clear();
    ASSERT_TRUE(velk::test::isOk(document.open(path)));
    frame.showPage(MainWindow::kRunnerPage);
    port = window.runnerView->findChild<QLineEdit*>(QStringLiteral("gvar:port"));
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->text(), QString::number(server.port()));
}

// The live panel through real widgets: hidden at rest, shown with the run's
// figures and charts while it goes (at the smallest window size, inside the
// page with the output below it), hidden again at the end.
TEST(RunnerEndToEnd, LivePanelShowsTheRunWhileItGoes) {
    velk::test::TempDir dir;
    velk::test::TestHttpServer server;
    server.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        r.respond(200, "ok", "");
    });
    // Each user's 20 requests take at least 5 s: the run is still going when
    // the panel is looked at, however slow the machine.
    velk::scenario::ScenarioDocument document;
    oneRequestTo(document, server.port(), 3, 20, dir);
    RunnerWindow window(document);
    MainWindow& frame = window.frame;
    RunnerBridge& bridge = window.bridge;
    LivePanel* panel = window.runnerView->livePanel();
    bool finished = false;
    QObject::connect(&bridge, &RunnerBridge::runFinished, &frame, [&] { finished = true; });
    frame.resize(765, 550);
    frame.show();
    EXPECT_FALSE(panel->isVisible());

    frame.action(MainWindow::kRunTest)->trigger();
    ASSERT_TRUE(server.waitForRequests(1, 30000));
    EXPECT_TRUE(panel->isVisible());
    // Two readings a second apart give the charts a point; the timer's own
    // readings may come between.
    bridge.sampleLive();
    QTest::qWait(1100);
    bridge.sampleLive();
    ASSERT_FALSE(finished);
    {
        EXPECT_TRUE(panel->figureText("requests").endsWith(QStringLiteral(" of 60")))
            << panel->figureText("requests").toStdString();
        EXPECT_TRUE(panel->figureText("users").endsWith(QStringLiteral(" of 3")));
        EXPECT_EQ(panel->figureText("errors"), QStringLiteral("none"));
        EXPECT_FALSE(panel->figureText("elapsed").isEmpty());
        ASSERT_EQ(panel->rateChart()->series().size(), 2u);
        EXPECT_FALSE(panel->rateChart()->series()[0].points.empty());
        // The response times' axis: whole nice steps up to above the slowest.
        double slowest = 0;
        for (const auto& series : panel->timeChart()->series())
            for (const QPointF& p : series.points) slowest = std::max(slowest, p.y());
        const auto& times = panel->timeChart()->axis(velk::results::ChartView::kVerticalAxis);
        EXPECT_FALSE(times.automatic);
        EXPECT_GE(times.maximum, slowest);
        EXPECT_LE(times.maximum / times.majorStep, 4.0 + 1e-9);
        // At the smallest window its labels run from 0 to the axis' top.
        const auto labels = panel->timeChart()->tickLabels(velk::results::ChartView::kVerticalAxis);
        ASSERT_GE(labels.size(), 2u);
        EXPECT_EQ(labels.front().value, 0);
        EXPECT_DOUBLE_EQ(labels.back().value, times.maximum);
        // The panel lies inside the page, the output box below it.
        const QRect page = window.runnerView->rect();
        const QRect shown(panel->mapTo(window.runnerView, QPoint(0, 0)), panel->size());
        EXPECT_TRUE(page.contains(shown));
        EXPECT_GE(panel->rateChart()->height(), panel->rateChart()->minimumHeight());
        auto* output = window.runnerView->findChild<OutputBox*>(QStringLiteral("output"));
        ASSERT_NE(output, nullptr);
        EXPECT_GT(output->height(), 0);
        EXPECT_GE(output->mapTo(window.runnerView, QPoint(0, 0)).y(), shown.bottom());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 120000));
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(window.runner.results().count(), 1);
}

// The Summary page over a real run: the engine's figures per request and
// overall; the same text after the results went through a file; a file of
// passes without figures says so.
TEST(RunnerEndToEnd, SummaryPageShowsTheRunsPercentilesAndKeepsThemInTheFile) {
    velk::test::TempDir dir;
    velk::test::TestHttpServer server;
    velk::scenario::ScenarioDocument document;
    oneRequestTo(document, server.port(), 2, 3, dir);
    RunnerWindow window(document);
    velk::results::SummaryPage summary(window.runner.results());
    QObject::connect(&window.bridge, &RunnerBridge::resultsChanged, &summary,
                     [&summary] { summary.refresh(false); });
    EXPECT_EQ(summary.message(), QStringLiteral("No results"));
    bool finished = false;
    QObject::connect(&window.bridge, &RunnerBridge::runFinished, &window.frame,
                     [&] { finished = true; });
    ASSERT_TRUE(window.runnerView->runTest());
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 120000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return summary.titles()->count() == 1; }, 10000));
    const QString shown = velk::results::SummaryPage::copiedText(summary.table());
    const QStringList lines = shown.split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 3) << shown.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Request\tCount\tErrors\tMin\tMean\tp50")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("home\t6\t0\t"))) << shown.toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("All requests\t6\t0\t")));
    const auto record = window.runner.results().get(0);
    ASSERT_TRUE(record->figures.has_value());
    EXPECT_FALSE(record->figures->timeline.empty());

    // Through a file and back: the same figures, the same page.
    const std::string path = dir.file("run.rlt");
    ASSERT_TRUE(velk::test::isOk(velk::results::saveResultsFile(window.runner.results(), path)));
    velk::results::CResultsContainer reloaded;
    ASSERT_TRUE(velk::test::isOk(velk::results::loadResultsFile(reloaded, path)));
    velk::results::SummaryPage again(reloaded);
    again.refresh(true);
    EXPECT_EQ(velk::results::SummaryPage::copiedText(again.table()), shown);

    // A file written before the figures were kept.
    auto older = std::make_shared<velk::results::CResultsStore>(*record);
    older->figures.reset();
    velk::results::CResultsContainer olderList;
    olderList.add(older);
    ASSERT_TRUE(velk::test::isOk(velk::results::saveResultsFile(olderList, path)));
    ASSERT_TRUE(velk::test::isOk(velk::results::loadResultsFile(reloaded, path)));
    again.refresh(true);
    EXPECT_EQ(again.message(), QStringLiteral("No percentiles in this file"));
}

TEST(RunnerOutput, ALinePerUserKeepsTheWindowResponsive) {
    velk::test::TempDir dir;
    // Every user's script fails to compile and says so: one line per user.
    const std::string script = dir.write("broken.js", "this is not javascript (\n");
    const int kUsers = 1000;
    Runner runner;
    runner.initialize();
    RunnerBridge bridge(runner);
    velk::base::OutputLog log;
    OutputBox box;
    box.show();
    runner.setOutputTarget(
        [&log](int32_t level, std::string_view text) { log.append(level, text); },
        [&bridge] { bridge.notifyOutput(); });
    qint64 longestRefresh = 0;
    int refreshes = 0;
    QObject::connect(&bridge, &RunnerBridge::outputChanged, &box, [&] {
        QElapsedTimer refresh;
        refresh.start();
        box.showLog(log.text());
        longestRefresh = std::max(longestRefresh, refresh.elapsed());
        ++refreshes;
    });
    bool finished = false;
    QObject::connect(&bridge, &RunnerBridge::runFinished, &box, [&] { finished = true; });

    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &box, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    const std::string text =
        "[general]\nclients=" + std::to_string(kUsers) +
        "\nrequests=1\ndelaystart=0\nserver=127.0.0.1\nport=9\nscript=" + script + "\n";
    ASSERT_TRUE(bridge.start(text, "flood", {}));
    clock.start();
    tick.start(5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 240000));
    tick.stop();
    const QString shown = box.toPlainText();
    EXPECT_GE(shown.count("Script Error:"), kUsers);
    EXPECT_TRUE(shown.endsWith("All tasks finished\n\n"));
    std::printf(
        "[ MEASURED ] %d users, %lld output lines, %d refreshes: longest event-loop stall %lld ms, "
        "longest refresh %lld ms\n",
        kUsers, static_cast<long long>(shown.count('\n')), refreshes,
        static_cast<long long>(longest), static_cast<long long>(longestRefresh));
}

}  // namespace
}  // namespace velk::runner
