#include "gui/results/summary_page.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/results/pass_figures.h"
#include "app/results/summary_table.h"
#include "gui/results/comparison_view.h"
#include "gui/results/report_page.h"

namespace velk::results {
namespace {

constexpr int kSortRole = Qt::UserRole + 1;
constexpr int kOverallRole = Qt::UserRole + 2;
// The request names' column is no wider than this; longer names are elided
// (the whole name in the tooltip), so the figures stay in view.
constexpr int kMaxNameWidth = 180;

// Sorts by the numbers the cells carry; the row of all requests stays last
// in either direction.
class SummarySort : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        const bool leftAll = left.data(kOverallRole).toBool();
        const bool rightAll = right.data(kOverallRole).toBool();
        if (leftAll != rightAll) return sortOrder() == Qt::AscendingOrder ? rightAll : leftAll;
        if (left.column() == 0)
            return QString::localeAwareCompare(left.data().toString(), right.data().toString()) < 0;
        return left.data(kSortRole).toDouble() < right.data(kSortRole).toDouble();
    }
};

}  // namespace

SummaryPage::SummaryPage(CResultsContainer& results, QWidget* parent)
    : Page(parent), m_results(results) {
    m_titles = new QComboBox(this);
    m_titles->setObjectName(QStringLiteral("summaryTitles"));
    m_titles->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("summaryMessage"));
    m_note = new QLabel(QString::fromLatin1(kSummaryCountsNote), this);
    m_note->setObjectName(QStringLiteral("summaryNote"));
    m_note->setWordWrap(true);
    m_table = makeTable("summaryTable");
    m_intendedTitle = new QLabel(
        QStringLiteral("From the intended start (paced requests), in milliseconds"), this);
    m_intended = makeTable("intendedTable");
    m_comparison = new ComparisonView(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_titles, 0, Qt::AlignLeft);
    layout->addWidget(m_message);
    layout->addWidget(m_note);
    layout->addWidget(m_table, 2);
    layout->addWidget(m_intendedTitle);
    layout->addWidget(m_intended, 1);
    layout->addWidget(m_comparison, 2);
    connect(m_titles, &QComboBox::activated, this, [this] { showSelected(false); });
    resetPage();
}

QTableView* SummaryPage::makeTable(const char* name) {
    auto* table = new QTableView(this);
    table->setObjectName(QString::fromLatin1(name));
    auto* model = new QStandardItemModel(table);
    auto* sorted = new SummarySort(table);
    sorted->setSourceModel(model);
    table->setModel(sorted);
    // The engine's order until a header is clicked.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideRight);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setHighlightSections(false);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copy = new QAction(QStringLiteral("&Copy"), table);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, table,
            [table] { QApplication::clipboard()->setText(copiedText(table)); });
    table->addAction(copy);
    return table;
}

QString SummaryPage::message() const {
    return m_table->isHidden() ? m_message->text() : QString();
}

void SummaryPage::showMessage(const QString& text) {
    m_message->setText(text);
    m_message->show();
    for (QWidget* w : {static_cast<QWidget*>(m_note), static_cast<QWidget*>(m_table),
                       static_cast<QWidget*>(m_intendedTitle), static_cast<QWidget*>(m_intended)})
        w->hide();
}

void SummaryPage::resetPage() {
    m_titles->clear();
    m_titles->setEnabled(false);
    showMessage(kNoResults);
    m_shownRun = 0;
    m_comparison->reset();
}

void SummaryPage::refresh(bool resetSelection) {
    const std::vector<ResultsStorePtr> records = m_results.all();
    if (records.empty()) {
        resetPage();
        return;
    }
    fillPassList(m_titles, records, resetSelection ? 0 : m_shownRun);
    m_comparison->setPasses(records);
    showSelected(true);
}

void SummaryPage::showSelected(bool reload) {
    const int32_t run = m_titles->currentData().toInt();
    if (run == m_shownRun && !reload) return;
    ResultsStorePtr record = m_results.find(run);
    m_shownRun = record ? run : 0;
    m_comparison->compare(record && record->figures ? record : nullptr);
    if (!record || !record->figures) {
        showMessage(record ? QString::fromLatin1(kNoPercentiles) : kNoResults);
        return;
    }
    m_message->hide();
    m_note->show();
    fill(m_table, responseTimeTable(*record->figures));
    m_table->show();
    const bool paced = record->figures->overall.paced != 0;
    if (paced) fill(m_intended, intendedStartTable(*record->figures));
    m_intendedTitle->setVisible(paced);
    m_intended->setVisible(paced);
}

void SummaryPage::fill(QTableView* table, const SummaryTable& rows) {
    auto* sorted = static_cast<QSortFilterProxyModel*>(table->model());
    auto* model = static_cast<QStandardItemModel*>(sorted->sourceModel());
    model->clear();
    QStringList headers;
    for (const std::string& h : rows.headers) headers << QString::fromStdString(h);
    model->setHorizontalHeaderLabels(headers);
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        QList<QStandardItem*> items;
        const bool overall = r + 1 == rows.rows.size();
        for (size_t c = 0; c < rows.rows[r].size(); ++c) {
            const SummaryCell& cell = rows.rows[r][c];
            auto* item = new QStandardItem(QString::fromStdString(cell.text));
            item->setData(cell.value, kSortRole);
            item->setData(overall, kOverallRole);
            if (c == 0) {
                item->setToolTip(item->text());
                if (overall) {
                    QFont bold = item->font();
                    bold.setBold(true);
                    item->setFont(bold);
                }
            } else {
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
            items << item;
        }
        model->appendRow(items);
    }
    table->resizeColumnsToContents();
    if (table->columnWidth(0) > kMaxNameWidth) table->setColumnWidth(0, kMaxNameWidth);
}

QString SummaryPage::copiedText(const QTableView* table) {
    const QAbstractItemModel* model = table->model();
    std::vector<std::string> headers;
    for (int c = 0; c < model->columnCount(); ++c)
        headers.push_back(model->headerData(c, Qt::Horizontal).toString().toStdString());
    QModelIndexList selected = table->selectionModel()->selectedRows();
    std::vector<int> order;
    for (const QModelIndex& i : selected) order.push_back(i.row());
    std::sort(order.begin(), order.end());
    if (order.empty())
        for (int r = 0; r < model->rowCount(); ++r) order.push_back(r);
    std::vector<std::vector<std::string>> rows;
    for (int r : order) {
        std::vector<std::string> cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells.push_back(model->index(r, c).data().toString().toStdString());
        rows.push_back(std::move(cells));
    }
    return QString::fromStdString(tabSeparated(headers, rows));
}

}  // namespace velk::results
