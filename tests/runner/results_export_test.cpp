// File > Export of the desktop program over a real run: velkrun runs a script
// against a loopback server and keeps its results file, velk opens the file,
// and the Summary page, the exported JSON summary and HTML report and
// velkrun's own files of the run give the same counts and percentiles.  The
// file dialog is replaced through ExportController::setSaveDialog; everything
// else is the real menu action.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableView>
#include <atomic>
#include <cmath>
#include <memory>

#include "app/results/rlt_file.h"
#include "app/runner/runner.h"
#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "gui/results/export_commands.h"
#include "gui/results/report_page.h"
#include "gui/results/summary_page.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/runner_commands.h"
#include "gui/shell/main_window.h"
#include "shell/modal_answer.h"
#include "support/test_http_server.h"

namespace velk::results {
namespace {

using velk::shell::MainWindow;
using velk::test::readWhole;

// The main window with the results pages and File > Export wired as velk wires them.
struct ExportWindow {
    ExportWindow() : bridge(initialized(runner)) {
        report = new ReportPage(runner.results());
        frame.installPage(MainWindow::kReportPage, report);
        summary = new SummaryPage(runner.results());
        frame.installPage(MainWindow::kSummaryPage, summary);
        exporter = std::make_unique<ExportController>(frame, runner.results(), *report, *summary);
    }
    static velk::runner::Runner& initialized(velk::runner::Runner& runner) {
        runner.initialize();
        return runner;
    }
    bool open(const std::string& path) {
        return velk::runner::openResultsFile(frame, bridge, *report, QString::fromStdString(path));
    }
    bool exportEnabled() const {
        return frame.action(MainWindow::kExportHtmlReport)->isEnabled() &&
               frame.action(MainWindow::kExportJsonSummary)->isEnabled();
    }
    velk::runner::Runner runner;
    velk::runner::RunnerBridge bridge;
    MainWindow frame;
    ReportPage* report = nullptr;
    SummaryPage* summary = nullptr;
    std::unique_ptr<ExportController> exporter;
};

// One row of the Summary page: the name and its numbers.
struct SummaryRow {
    QString name;
    std::vector<double> values;  // count, errors, min, mean, p50 ... p99.9, max: 10
};

std::vector<SummaryRow> summaryRows(const QString& text) {
    std::vector<SummaryRow> rows;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(QLatin1Char('\t'));
        SummaryRow row{cells[0].trimmed(), {}};
        for (qsizetype c = 1; c < cells.size(); ++c) row.values.push_back(cells[c].toDouble());
        rows.push_back(row);
    }
    return rows;
}

// The Summary page's row against the JSON summary's figures of that request:
// counts identical, times the same to the page's two decimals.
void expectSameFigures(const SummaryRow& row, const QJsonObject& json) {
    ASSERT_EQ(row.values.size(), 10u) << row.name.toStdString();
    const std::string name = row.name.toStdString();
    EXPECT_EQ(int64_t(row.values[0]), json[QStringLiteral("count")].toInteger()) << name;
    EXPECT_EQ(int64_t(row.values[1]),
              json[QStringLiteral("errors")][QStringLiteral("total")].toInteger())
        << name;
    if (json[QStringLiteral("count")].toInteger() == 0) return;  // no times
    const QJsonObject p = json[QStringLiteral("percentilesMs")].toObject();
    const double times[] = {
        json[QStringLiteral("minMs")].toDouble(), json[QStringLiteral("meanMs")].toDouble(),
        p[QStringLiteral("p50")].toDouble(),      p[QStringLiteral("p90")].toDouble(),
        p[QStringLiteral("p95")].toDouble(),      p[QStringLiteral("p99")].toDouble(),
        p[QStringLiteral("p99.9")].toDouble(),    json[QStringLiteral("maxMs")].toDouble()};
    for (size_t i = 0; i < 8; ++i)
        EXPECT_LE(std::fabs(row.values[i + 2] - times[i]), 0.0051) << name << " time " << i;
}

TEST(ResultsExport, TheSummaryPageTheExportsAndVelkrunGiveTheSameNumbers) {
    velk::test::TempDir dir;
    velk::test::TestHttpServer server;
    // Times that differ from request to request, and a page that is missing.
    auto hits = std::make_shared<std::atomic<int>>(0);
    server.setHandler([hits](const velk::test::ReceivedRequest& req, velk::test::Responder& r) {
        if (req.target == "/missing") {
            r.respond(404, "missing");
            return;
        }
        r.pause(req.target == "/slow" ? 10 + 5 * ((*hits)++ % 5) : 1);
        r.respond(200, "ok");
    });
    const std::string script = dir.write(
        "same.txt", "server=127.0.0.1\nport=" + std::to_string(server.port()) +
                        "\nreportdir=\ndelaystart=0\nround=0\nkeepalive=1\nclients=3\n"
                        "requests=6\n[home]\n[slow]\n$uri=/slow\n[gone]\n$uri=/missing\n");
    const std::string rlt = dir.file("run.rlt"), json = dir.file("run.json"),
                      html = dir.file("run.html");
    velk::test::ChildProcess velkrun(
        VELKRUN_PATH, {script, "--quiet", "--results", rlt, "--summary", json, "--html", html},
        dir.file("out.txt"), dir.file("err.txt"));
    ASSERT_EQ(velkrun.wait(120), 0) << readWhole(dir.file("err.txt"));

    ExportWindow window;
    MainWindow& frame = window.frame;
    // Nothing open: nothing to export.
    EXPECT_FALSE(window.exportEnabled());
    ASSERT_TRUE(window.open(rlt));
    EXPECT_EQ(frame.shownPage(), MainWindow::kReportPage);
    EXPECT_TRUE(window.exportEnabled());
    // The pass selected on the page in view: none on the other pages.
    frame.showPage(MainWindow::kRunnerPage);
    EXPECT_FALSE(window.exportEnabled());
    frame.showPage(MainWindow::kSummaryPage);
    EXPECT_TRUE(window.exportEnabled());
    const QString page = SummaryPage::copiedText(window.summary->table());

    QString suggested;
    window.exporter->setSaveDialog([&](ExportFormat format, const QString& name) {
        suggested = name;
        return QString::fromStdString(
            dir.file(format == ExportFormat::kHtmlReport ? "velk.html" : "velk.json"));
    });
    frame.action(MainWindow::kExportJsonSummary)->trigger();
    // The pass's name, not the script's file name with ".json" after it.
    EXPECT_EQ(suggested, QStringLiteral("same.json"));
    frame.action(MainWindow::kExportHtmlReport)->trigger();
    // The same files as velkrun wrote of the run, byte for byte.
    const std::string exported = readWhole(dir.file("velk.json"));
    EXPECT_EQ(exported, readWhole(json));
    // The HTML report too, but for the line naming the program that made it.
    std::string fromVelk = readWhole(dir.file("velk.html"));
    const std::string byVelk = "Made by the VELK desktop program (velk).";
    const size_t at = fromVelk.find(byVelk);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(fromVelk.replace(at, byVelk.size(), "Made by velkrun."), readWhole(html));

    // The Summary page against both summaries, request by request and overall.
    const std::vector<SummaryRow> rows = summaryRows(page);
    for (const std::string& file : {exported, readWhole(json)}) {
        const QJsonObject summary =
            QJsonDocument::fromJson(QByteArray::fromStdString(file)).object();
        const QJsonArray requests = summary[QStringLiteral("requests")].toArray();
        ASSERT_EQ(rows.size(), size_t(requests.size()) + 1) << page.toStdString();
        for (qsizetype i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(rows[size_t(i)].name, requests[i][QStringLiteral("name")].toString());
            expectSameFigures(rows[size_t(i)], requests[i].toObject());
        }
        EXPECT_EQ(rows.back().name, QStringLiteral("All requests"));
        expectSameFigures(rows.back(), summary[QStringLiteral("overall")].toObject());
        EXPECT_EQ(summary[QStringLiteral("overall")][QStringLiteral("count")].toInteger(), 36);
        EXPECT_EQ(summary[QStringLiteral("statusCodes")][QStringLiteral("404")].toInteger(), 18);
    }
}

TEST(ResultsExport, WhatCannotBeExportedOrWrittenIsToldInAMessage) {
    velk::test::TempDir dir;
    ExportWindow window;
    // A pass kept without figures, as files of an earlier version hold it.
    auto older = std::make_shared<CResultsStore>();
    older->title = "09:15 - old shop";
    CResultsContainer list;
    list.add(older);
    const std::string path = dir.file("old.rlt");
    ASSERT_TRUE(velk::test::isOk(saveResultsFile(list, path)));
    ASSERT_TRUE(window.open(path));
    EXPECT_TRUE(window.exportEnabled());
    bool asked = false;
    window.exporter->setSaveDialog([&](ExportFormat, const QString&) {
        asked = true;
        return QString::fromStdString(dir.file("no/such/folder/x.json"));
    });
    QString message;
    velk::test::answerMessageBox(QMessageBox::Ok, &message);
    EXPECT_FALSE(window.exporter->exportSelected(ExportFormat::kJsonSummary));
    EXPECT_FALSE(asked);
    EXPECT_TRUE(message.contains(QStringLiteral("No percentiles in this file")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("09:15 - old shop")));

    // A pass with its figures, into a folder that does not exist.
    auto current = std::make_shared<CResultsStore>(*older);
    current->figures = PassFigures{};
    current->figures->totals = RunTotals{};
    list.clear();
    list.add(current);
    ASSERT_TRUE(velk::test::isOk(saveResultsFile(list, path)));
    ASSERT_TRUE(window.open(path));
    message.clear();
    velk::test::answerMessageBox(QMessageBox::Ok, &message);
    EXPECT_FALSE(window.exporter->exportSelected(ExportFormat::kJsonSummary));
    EXPECT_TRUE(asked);
    EXPECT_TRUE(message.contains(QStringLiteral("no/such/folder/x.json"))) << message.toStdString();
}

}  // namespace
}  // namespace velk::results
