#include "gui/results/comparison_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/results/comparison_text.h"
#include "app/results/pass_figures.h"
#include "app/results/report_view_text.h"
#include "app/results/run_comparison.h"

namespace velk::results {
namespace {

const QColor kComparedRegressionText(160, 0, 0);
const QColor kComparedRegressionBack(255, 228, 228);
// Past this width a request name is elided (the whole name in its tooltip).
constexpr int kMaxComparedNameWidth = 180;

}  // namespace

ComparisonView::ComparisonView(QWidget* parent) : QWidget(parent) {
    m_baselines = new QComboBox(this);
    m_baselines->setObjectName(QStringLiteral("summaryBaseline"));
    m_baselines->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* caption = new QLabel(QStringLiteral("Compare &with:"), this);
    caption->setBuddy(m_baselines);
    m_verdict = new QLabel(this);
    m_verdict->setObjectName(QStringLiteral("comparisonVerdict"));
    m_verdict->setWordWrap(true);
    m_verdict->setTextFormat(Qt::PlainText);
    m_verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("comparisonTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    auto* choice = new QHBoxLayout;
    choice->addWidget(caption);
    choice->addWidget(m_baselines);
    choice->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(choice);
    layout->addWidget(m_verdict);
    layout->addWidget(m_table, 1);
    connect(m_baselines, &QComboBox::currentIndexChanged, this, [this] { showComparison(); });
    reset();
}

QString ComparisonView::verdict() const {
    return m_verdict->isHidden() ? QString() : m_verdict->text();
}

void ComparisonView::reset() {
    m_records.clear();
    m_current.reset();
    setPasses({});
}

void ComparisonView::setPasses(const std::vector<ResultsStorePtr>& records) {
    const int32_t kept = m_baselines->currentData().toInt();
    m_records = records;
    const QSignalBlocker quiet(m_baselines);
    m_baselines->clear();
    m_baselines->addItem(QStringLiteral("(no comparison)"), 0);
    for (const ResultsStorePtr& r : records) {
        m_baselines->addItem(QString::fromStdString(titleForList(r->title)), r->runNumber);
        if (r->runNumber == kept && kept != 0)
            m_baselines->setCurrentIndex(m_baselines->count() - 1);
    }
    m_baselines->setEnabled(!records.empty());
    showComparison();
}

void ComparisonView::compare(const ResultsStorePtr& current) {
    m_current = current;
    showComparison();
}

void ComparisonView::showComparison() {
    const int32_t chosen = m_baselines->currentData().toInt();
    ResultsStorePtr base;
    for (const ResultsStorePtr& r : m_records)
        if (r->runNumber == chosen) base = r;
    const bool shown = base && m_current;
    m_verdict->setVisible(shown);
    const bool tabled = shown && base->figures && m_current->figures;
    m_table->setVisible(tabled);
    // Without its table the view keeps to its choice line; the page's
    // table takes the room.
    setSizePolicy(QSizePolicy::Preferred, tabled ? QSizePolicy::Expanding : QSizePolicy::Maximum);
    if (!shown) return;
    if (!base->figures) {
        m_verdict->setStyleSheet(QString());
        m_verdict->setText(QStringLiteral("The baseline pass has no percentiles to compare: ") +
                           QString::fromLatin1(kNoPercentiles));
        return;
    }
    if (!m_current->figures) return;
    const Comparison comparison =
        compareRuns(comparedRunFromFigures(*base->figures),
                    comparedRunFromFigures(*m_current->figures), RegressionLimits{});
    const int regressions = comparison.regressions();
    // Plain text whatever the names hold; red when something regressed.
    m_verdict->setStyleSheet(
        regressions > 0 ? QStringLiteral("color: rgb(160, 0, 0); font-weight: bold;") : QString());
    m_verdict->setText(QStringLiteral("Against \"%1\": %2 (%3).")
                           .arg(QString::fromStdString(titleForList(base->title)),
                                QString::fromStdString(comparisonVerdict(comparison)),
                                QString::fromStdString(comparisonLimitsText(comparison.limits))));

    const auto& headings = comparisonHeadings();
    const auto rows = comparisonCells(comparison, " \u2192 ");
    m_table->clear();
    m_table->setColumnCount(int(headings.size()));
    m_table->setRowCount(int(rows.size()));
    QStringList labels;
    for (const std::string& h : headings) labels << QString::fromStdString(h);
    m_table->setHorizontalHeaderLabels(labels);
    for (size_t r = 0; r < rows.size(); ++r) {
        const bool regressed = comparison.rows[r].regression();
        for (size_t c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(rows[r][c]));
            if (c == 0) item->setToolTip(item->text());
            if (c > 0 && c + 1 < rows[r].size())
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (regressed) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
                item->setForeground(kComparedRegressionText);
                item->setBackground(kComparedRegressionBack);
            }
            m_table->setItem(int(r), int(c), item);
        }
    }
    // The verdict beside the name, where a narrow window still shows it.
    QHeaderView* header = m_table->horizontalHeader();
    header->moveSection(header->visualIndex(m_table->columnCount() - 1), 1);
    m_table->resizeColumnsToContents();
    if (m_table->columnWidth(0) > kMaxComparedNameWidth)
        m_table->setColumnWidth(0, kMaxComparedNameWidth);
}

}  // namespace velk::results
