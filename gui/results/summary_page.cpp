#include "gui/results/summary_page.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/results/pass_figures.h"
#include "gui/results/report_page.h"

namespace velk::results {
SummaryPage::SummaryPage(CResultsContainer& results, QWidget* parent)
    : Page(parent), m_results(results) {
    m_titles = new QComboBox(this);
    m_titles->setObjectName(QStringLiteral("summaryTitles"));
    m_titles->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("summaryText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_text->setFont(fixed);
    // Columns are tab-separated, with tab stops every 10 characters: wide
    // enough for "100000.00".
    m_text->setTabStopDistance(10 * QFontMetricsF(fixed).horizontalAdvance(QLatin1Char(' ')));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_titles, 0, Qt::AlignLeft);
    layout->addWidget(m_text, 1);
    connect(m_titles, &QComboBox::activated, this, [this] { showSelected(false); });
    resetPage();
}

void SummaryPage::resetPage() {
    m_titles->clear();
    m_titles->setEnabled(false);
    m_text->setPlainText(kNoResults);
    m_shownRun = 0;
}

void SummaryPage::refresh(bool resetSelection) {
    const std::vector<ResultsStorePtr> records = m_results.all();
    if (records.empty()) {
        resetPage();
        return;
    }
    fillPassList(m_titles, records, resetSelection ? 0 : m_shownRun);
    showSelected(true);
}

void SummaryPage::showSelected(bool reload) {
    const int32_t run = m_titles->currentData().toInt();
    if (run == m_shownRun && !reload) return;
    ResultsStorePtr record = m_results.find(run);
    if (!record) {
        m_text->setPlainText(kNoResults);
        m_shownRun = 0;
        return;
    }
    m_text->setPlainText(QString::fromStdString(summaryText(record->figures)));
    m_shownRun = run;
}

}  // namespace velk::results
