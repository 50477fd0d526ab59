#include "gui/results/report_page.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/results/report_view_text.h"

namespace velk::results {
ReportPage::ReportPage(CResultsContainer& results, QWidget* parent)
    : Page(parent), m_results(results) {
    m_titles = new QComboBox(this);
    m_titles->setObjectName(QStringLiteral("reportTitles"));
    m_titles->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_report = new QPlainTextEdit(this);
    m_report->setObjectName(QStringLiteral("reportText"));
    m_report->setReadOnly(true);
    m_report->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_report->setFont(fixed);
    // The report is tab-separated for tab stops every 8 characters.
    m_report->setTabStopDistance(8 * QFontMetricsF(fixed).horizontalAdvance(QLatin1Char(' ')));
    QPalette p = m_report->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    m_report->setPalette(p);
    m_lagWarning = new QLabel(this);
    m_lagWarning->setObjectName(QStringLiteral("lagWarning"));
    m_lagWarning->setWordWrap(true);
    m_lagWarning->setStyleSheet(QStringLiteral("color: #a40000"));
    m_lagWarning->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_titles, 0, Qt::AlignLeft);
    layout->addWidget(m_lagWarning);
    layout->addWidget(m_report, 1);
    connect(m_titles, &QComboBox::activated, this, [this] { showSelected(false); });
    resetPage();
}

void ReportPage::resetPage() {
    m_titles->clear();
    m_titles->setEnabled(false);
    m_report->setPlainText(kNoResults);
    m_lagWarning->hide();
    m_shownRun = 0;
}

void fillPassList(QComboBox* titles, const std::vector<ResultsStorePtr>& records, int32_t keep) {
    titles->clear();
    int selected = 0;
    for (const ResultsStorePtr& r : records) {
        if (r->runNumber == keep && keep != 0) selected = titles->count();
        titles->addItem(QString::fromStdString(titleForList(r->title)), r->runNumber);
    }
    titles->setEnabled(true);
    titles->setCurrentIndex(selected);
}

void ReportPage::refresh(bool resetSelection) {
    const std::vector<ResultsStorePtr> records = m_results.all();
    if (records.empty()) {
        resetPage();
        return;
    }
    fillPassList(m_titles, records, resetSelection ? 0 : m_shownRun);
    showSelected(resetSelection);
}

void ReportPage::showSelected(bool reload) {
    const int32_t run = m_titles->currentData().toInt();
    if (run == m_shownRun && !reload) return;
    ResultsStorePtr record = m_results.find(run);
    if (!record) {
        m_report->setPlainText(kNoResults);
        m_lagWarning->hide();
        m_shownRun = 0;
        return;
    }
    m_lagWarning->setText(QString::fromLocal8Bit(record->lagWarning.c_str()));
    m_lagWarning->setVisible(!record->lagWarning.empty());
    m_report->setPlainText(QString::fromStdString(reportTextForView(record->report)));
    m_shownRun = run;
}

}  // namespace velk::results
