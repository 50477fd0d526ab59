#include "gui/results/export_commands.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>

#include "gui/results/report_page.h"
#include "gui/results/summary_page.h"
#include "gui/shell/main_window.h"

namespace velk::results {
namespace {

using velk::shell::MainWindow;

bool isHtml(ExportFormat format) {
    return format == ExportFormat::kHtmlReport;
}

QString askForName(QWidget* parent, ExportFormat format, const QString& suggested) {
    QFileDialog dialog(parent,
                       isHtml(format) ? QStringLiteral("Export HTML Report")
                                      : QStringLiteral("Export JSON Summary"),
                       QString(),
                       isHtml(format) ? QStringLiteral("HTML Files (*.html *.htm);;All Files (*)")
                                      : QStringLiteral("JSON Files (*.json);;All Files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(isHtml(format) ? QStringLiteral("html") : QStringLiteral("json"));
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

}  // namespace

QString suggestedExportName(const CResultsStore& pass, ExportFormat format) {
    QString text = QString::fromStdString(exportBaseName(pass)).left(100);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('\\') ||
            c == QLatin1Char(':') || c == QChar(0x7f))
            c = QLatin1Char('_');
    text = text.trimmed();
    if (text.isEmpty() || text.startsWith(QLatin1Char('.'))) text.prepend(QStringLiteral("report"));
    return text + (isHtml(format) ? QStringLiteral(".html") : QStringLiteral(".json"));
}

ExportController::ExportController(MainWindow& frame, CResultsContainer& results,
                                   ReportPage& report, SummaryPage& summary, QObject* parent)
    : QObject(parent), m_frame(frame), m_results(results), m_report(report), m_summary(summary) {
    m_saveDialog = [this](ExportFormat format, const QString& suggested) {
        return askForName(&m_frame, format, suggested);
    };
    connect(&frame, &MainWindow::pageShown, this, &ExportController::updateEnabling);
    for (QComboBox* titles : {report.titles(), summary.titles()})
        connect(titles, &QComboBox::currentIndexChanged, this, &ExportController::updateEnabling);
    connect(frame.action(MainWindow::kExportHtmlReport), &QAction::triggered, this,
            [this] { exportSelected(ExportFormat::kHtmlReport); });
    connect(frame.action(MainWindow::kExportJsonSummary), &QAction::triggered, this,
            [this] { exportSelected(ExportFormat::kJsonSummary); });
    updateEnabling();
}

ResultsStorePtr ExportController::selectedPass() const {
    const int page = m_frame.shownPage();
    QComboBox* titles = page == MainWindow::kReportPage    ? m_report.titles()
                        : page == MainWindow::kSummaryPage ? m_summary.titles()
                                                           : nullptr;
    if (!titles || titles->currentIndex() < 0) return nullptr;
    return m_results.find(titles->currentData().toInt());
}

void ExportController::updateEnabling() {
    const bool selected = selectedPass() != nullptr;
    m_frame.action(MainWindow::kExportHtmlReport)->setEnabled(selected);
    m_frame.action(MainWindow::kExportJsonSummary)->setEnabled(selected);
}

bool ExportController::exportSelected(ExportFormat format) {
    const ResultsStorePtr pass = selectedPass();
    if (!pass) return false;
    const auto warn = [this](const std::string& message) {
        QMessageBox::warning(&m_frame, QApplication::applicationName(),
                             QString::fromStdString(message));
    };
    // Asked before the name: a pass without its figures cannot be exported
    // under any name.
    if (const StatusOr<const PassFigures*> figures = runFiguresOf(*pass); !figures) {
        warn(figures.status().message());
        return false;
    }
    const QString path = m_saveDialog(format, suggestedExportName(*pass, format));
    if (path.isEmpty()) return false;
    if (const Status exported = exportPass(*pass, format, path.toStdString()); !exported) {
        warn(exported.message());
        return false;
    }
    return true;
}

}  // namespace velk::results
