// The runner page's live panel at scale: the demo scenario with many users
// against the demo site, run from the desktop program's window at its
// smallest size with the panel on show, while a 5 ms timer measures the
// user-interface thread's longest stall and an event filter counts the
// panel's repaints; the panel's update and repaint are timed on their own
// (done once more per reading) to tell its share from the machine's.  Then
// runs alternate between the window (panel shown) and the bare runner (no
// window, no panel), and the engine's request rates of both are printed side
// by side.
//
//   live_panel_stall DEMO_SITE EXAMPLES_DIR [users] [pairs]
//
// Not a test: the figures depend on the machine.  Run it on a quiet machine.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/results/results_store.h"
#include "app/scenario/scenario_document.h"
#include "app/settings/global_settings.h"
#include "gui/results/report_page.h"
#include "gui/runner/live_panel.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/runner_commands.h"
#include "gui/runner/runner_page.h"
#include "gui/shell/main_window.h"

extern char** environ;

namespace {

using velk::runner::RunnerBridge;
using velk::shell::MainWindow;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct DemoSite {
    pid_t pid = -1;
    std::string port;
    DemoSite(const char* program, const std::string& portFile) {
        std::vector<std::string> args = {program, "--port", "0", "--port-file", portFile};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, program, nullptr, nullptr, argv.data(), environ) != 0) return;
        for (int i = 0; i < 400 && port.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            port = readFile(portFile);
            while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
        }
    }
    ~DemoSite() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// Times every event the user-interface thread delivers (the outermost
// delivery only: nested ones are inside it) and keeps the longest while a
// run is in progress, named by its receiver and type, to tell which work a
// stall was.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    std::function<bool()> watching = [] { return false; };
    qint64 longestNs = 0;
    std::string longestWhat;
    // Since the last reset: time spent delivering events, and how many.
    qint64 busyNs = 0;
    int events = 0;
    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth > 0 || !watching()) return QApplication::notify(receiver, event);
        ++m_depth;
        // Named before delivery: the event may delete its receiver.
        const char* receiverClass = receiver->metaObject()->className();
        const QString receiverName = receiver->objectName();
        const QObject* parent = receiver->parent();
        const char* parentClass = parent ? parent->metaObject()->className() : "nothing";
        const int type = event->type();
        QElapsedTimer clock;
        clock.start();
        const bool handled = QApplication::notify(receiver, event);
        const qint64 ns = clock.nsecsElapsed();
        --m_depth;
        busyNs += ns;
        ++events;
        if (ns > longestNs) {
            longestNs = ns;
            longestWhat = std::string(receiverClass) + " '" + receiverName.toStdString() +
                          "' (in " + parentClass + "), event type " + std::to_string(type);
        }
        return handled;
    }

private:
    int m_depth = 0;
};

qint64 threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Counts an object's paint events.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Requests per second of the pass just collected.
double passRate(velk::runner::Runner& runner) {
    if (runner.results().count() == 0) return 0;
    const auto record = runner.results().get(runner.results().count() - 1);
    return record->requestsPerSecond;
}

// The demo scenario pointed at the site, with users users and one iteration.
bool loadScenario(velk::scenario::ScenarioDocument& document, const std::string& examples,
                  const std::string& port, int users) {
    document.newDocument();
    std::string error;
    if (!document.open(examples + "/demo-shop.vts", error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    {
        // The scenario takes the site's port from a global variable; the
        // desktop program has none, so the port goes into the requests.
        auto& requests = document.scenario().requests();
        std::lock_guard lock(requests);
        for (velk::scenario::CRequest* r : requests.flattened()) {
            std::string server = r->getServer();
            const size_t at = server.find("$gvar(port,8080)");
            if (at != std::string::npos) server.replace(at, 16, port);
            r->setServer(server);
        }
    }
    auto& run = document.scenario().run();
    run.cycling = false;
    run.clients = users;
    run.requestsPerUser = 1;
    run.writeLog = false;
    run.useReportDirectory = false;
    run.useStartDelay = false;
    run.details = false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TimedApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DEMO_SITE EXAMPLES_DIR [users] [pairs]\n", argv[0]);
        return 2;
    }
    const int users = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10000;
    const int pairs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    const std::string portFile = "/tmp/live_panel_stall." + std::to_string(getpid()) + ".port";
    DemoSite site(argv[1], portFile);
    std::remove(portFile.c_str());
    if (site.port.empty()) {
        std::fprintf(stderr, "the demo site did not start\n");
        return 1;
    }
    velk::scenario::ScenarioDocument document;
    if (!loadScenario(document, argv[2], site.port, users)) return 1;

    velk::runner::Runner runner;
    runner.initialize();
    RunnerBridge bridge(runner);
    MainWindow frame;
    auto* runnerView = new velk::runner::RunnerPage(document, bridge);
    frame.installPage(MainWindow::kRunnerPage, runnerView);
    auto* reportView = new velk::results::ReportPage(runner.results());
    frame.installPage(MainWindow::kReportPage, reportView);
    velk::runner::connectRunnerCommands(frame, bridge, *runnerView, *reportView);
    runnerView->setMessageHandler([](const QString& text) {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    });
    frame.resize(765, 550);
    frame.show();
    PaintCounter counter;
    runnerView->livePanel()->installEventFilter(&counter);

    bool finished = false;
    QObject::connect(&bridge, &RunnerBridge::runFinished, &frame, [&] { finished = true; });

    // One run from the window; its rate, stall and repaints.
    qint64 panelWork = 0;
    qint64 startMs = 0;
    qint64 gapBusyNs = 0, gapCpuNs = 0;
    int gapEvents = 0;
    // longest: while the test runs (the panel on show); atEnd: the whole
    // run, with the end's report page and output refresh.
    const auto windowRun = [&](qint64& longest, qint64& atEnd, double& paintsPerSecond) -> double {
        finished = false;
        counter.paints = 0;
        QElapsedTimer clock;
        qint64 last = 0;
        longest = 0;
        atEnd = 0;
        // The panel's own share: its update and repaint done once more, timed.
        panelWork = 0;
        QMetaObject::Connection again =
            QObject::connect(&bridge, &RunnerBridge::liveChanged, &frame, [&] {
                QElapsedTimer work;
                work.start();
                runnerView->livePanel()->showFigures(bridge.liveFigures());
                runnerView->livePanel()->repaint();
                panelWork = std::max(panelWork, work.elapsed());
            });
        // What the thread did in the longest gap: delivered events (busy), ran
        // at all (its CPU time), or neither (it waited for a core).
        qint64 lastCpuNs = threadCpuNs();
        gapBusyNs = gapCpuNs = 0;
        gapEvents = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &frame, [&] {
            const qint64 now = clock.elapsed();
            const qint64 cpuNs = threadCpuNs();
            atEnd = std::max(atEnd, now - last);
            if (bridge.running() && now - last > longest) {
                longest = now - last;
                gapBusyNs = app.busyNs;
                gapEvents = app.events;
                gapCpuNs = cpuNs - lastCpuNs;
            }
            app.busyNs = 0;
            app.events = 0;
            lastCpuNs = cpuNs;
            last = now;
        });
        clock.start();
        tick.start(5);
        QElapsedTimer startClock;
        startClock.start();
        if (!runnerView->runTest()) return 0;
        startMs = startClock.elapsed();
        app.longestNs = 0;
        app.watching = [&] { return bridge.running(); };
        while (!finished) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        app.watching = [] { return false; };
        tick.stop();
        QObject::disconnect(again);
        paintsPerSecond =
            double(counter.paints) * 1000 / double(std::max<qint64>(clock.elapsed(), 1));
        return passRate(runner);
    };
    // The same script through the bridge alone: no page, no panel.
    const auto bareRun = [&]() -> double {
        std::string script, error;
        if (!document.scenario().generateScript(velk::settings::GlobalSettings::shared(), script,
                                                error))
            return 0;
        finished = false;
        if (!bridge.start(script, "bare", {})) return 0;
        while (!finished) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return passRate(runner);
    };

    std::printf("%d users, demo scenario, one iteration each, window 765 x 550\n", users);
    for (int p = 0; p < pairs; ++p) {
        qint64 longest = 0, atEnd = 0;
        double paints = 0;
        const double shown = windowRun(longest, atEnd, paints);
        const double bare = bareRun();
        std::printf(
            "pair %d: with the panel %.1f requests/s (longest UI stall %lld ms while running, "
            "%lld ms with the end; %.1f panel repaints/s, longest panel update %lld ms); without "
            "it %.1f requests/s\n",
            p + 1, shown, static_cast<long long>(longest), static_cast<long long>(atEnd), paints,
            static_cast<long long>(panelWork), bare);
        std::printf(
            "  starting the run took %lld ms; the longest event while it ran: %.1f ms, %s\n",
            static_cast<long long>(startMs), double(app.longestNs) / 1e6, app.longestWhat.c_str());
        std::printf("  in the longest stall: %d events took %.1f ms; the thread ran %.1f ms\n",
                    gapEvents, double(gapBusyNs) / 1e6, double(gapCpuNs) / 1e6);
        std::fflush(stdout);
    }
    runner.shutDown();
    return 0;
}
