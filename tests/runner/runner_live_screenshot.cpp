// Renders the main window with the runner page during a run of the demo
// scenario against the demo site (live panel on show) into PNG files, at the
// smallest window size and at 1280 x 800, for the help and the README:
//   runner_live_screenshot DEMO_SITE EXAMPLES_DIR OUT_DIR
// scripts/screenshots.sh runs it.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/scenario/scenario_document.h"
#include "gui/results/report_page.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/runner_commands.h"
#include "gui/runner/runner_page.h"
#include "gui/shell/main_window.h"

extern char** environ;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: runner_live_screenshot DEMO_SITE EXAMPLES_DIR OUT_DIR\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string out = argv[3];
    const std::string portFile = out + "/.runner-live-port";
    std::vector<std::string> args = {argv[1], "--port", "0", "--port-file", portFile};
    std::vector<char*> siteArgv;
    for (std::string& a : args) siteArgv.push_back(a.data());
    siteArgv.push_back(nullptr);
    pid_t site = -1;
    if (posix_spawn(&site, argv[1], nullptr, nullptr, siteArgv.data(), environ) != 0) return 1;
    std::string port;
    for (int i = 0; i < 200 && port.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        port = readFile(portFile);
        while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
    }
    std::remove(portFile.c_str());
    int status = 1;
    {
        velk::scenario::ScenarioDocument document;
        document.newDocument();
        const velk::Status opened = port.empty()
                                        ? velk::Status(velk::StatusCode::kInvalid)
                                        : document.open(std::string(argv[2]) + "/demo-shop.vts");
        if (!opened) {
            std::fprintf(stderr, "runner_live_screenshot: no demo site or scenario %s\n",
                         opened.message().c_str());
        } else {
            {
                // The port goes into the requests, as the desktop program has
                // no value for the scenario's global variable.
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
            run.clients = 40;
            run.requestsPerUser = 400;
            run.writeLog = false;
            run.useReportDirectory = false;
            run.details = false;
            run.useStartDelay = true;
            run.startDelay = 50;

            velk::runner::Runner runner;
            runner.initialize();
            {
                velk::runner::RunnerBridge bridge(runner);
                velk::shell::MainWindow frame;
                auto* view = new velk::runner::RunnerPage(document, bridge);
                frame.installPage(velk::shell::MainWindow::kRunnerPage, view);
                auto* report = new velk::results::ReportPage(runner.results());
                frame.installPage(velk::shell::MainWindow::kReportPage, report);
                velk::runner::connectRunnerCommands(frame, bridge, *view, *report);
                frame.resize(765, 550);
                frame.show();
                status = 0;
                if (view->runTest()) {
                    // The first second: the expected count is whole already.
                    QTest::qWait(1200);
                    if (!frame.grab().save(
                            QString::fromStdString(out + "/runner-live-first-second-765x550.png")))
                        status = 1;
                    QTest::qWait(6800);
                    if (!frame.grab().save(
                            QString::fromStdString(out + "/runner-live-765x550.png")))
                        status = 1;
                    frame.resize(1280, 800);
                    QTest::qWait(2500);
                    if (!frame.grab().save(
                            QString::fromStdString(out + "/runner-live-1280x800.png")))
                        status = 1;
                } else {
                    status = 1;
                }
                runner.stop();
            }
            runner.shutDown();
        }
    }
    kill(site, SIGTERM);
    waitpid(site, nullptr, 0);
    return status;
}
