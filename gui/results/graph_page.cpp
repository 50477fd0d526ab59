#include "gui/results/graph_page.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <new>

#include "app/results/results_container.h"
#include "gui/results/chart_view.h"

namespace velk::results {

namespace {

QStringList toQt(const std::vector<std::string>& items) {
    QStringList list;
    for (const auto& item : items) list << QString::fromStdString(item);
    return list;
}

QColor toQt(const graphs::GraphColor& color) {
    return QColor(color.red, color.green, color.blue);
}

}  // namespace

GraphPage::GraphPage(CResultsContainer& results, const QString& choiceLabel, QWidget* parent)
    : Page(parent), m_results(results) {
    auto* label = new QLabel(choiceLabel, this);
    m_choice = new QComboBox(this);
    m_choice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_choice->setMinimumContentsLength(24);
    m_choice->setMaximumWidth(600);
    label->setBuddy(m_choice);
    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(m_choice);
    top->addStretch(1);

    m_chart = new ChartView(this);
    m_chart->setLegendPosition(LegendPosition::kRight);
    m_noResults = new QLabel(tr("No results"), this);
    m_noResults->setAlignment(Qt::AlignCenter);
    m_stack = new QStackedWidget(this);
    m_stack->addWidget(m_chart);
    m_stack->addWidget(m_noResults);

    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("graphNote"));
    m_note->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_note);
    layout->addWidget(m_stack, 1);
    connect(m_choice, &QComboBox::activated, this, &GraphPage::choiceActivated);
    showNoResults();
}

bool GraphPage::showsNoResults() const {
    return m_stack->currentWidget() == m_noResults;
}

void GraphPage::activatePage() {
    refresh();
}

void GraphPage::resultsChanged() {
    refresh();
}

void GraphPage::resetPage() {
    showNoResults();
}

void GraphPage::showNoResults() {
    m_noResults->setText(tr("No results"));
    m_note->hide();
    m_choice->clear();
    m_choice->setEnabled(false);
    m_chart->clear();
    m_stack->setCurrentWidget(m_noResults);
    m_drawn.clear();
    m_drawnChoice = -1;
}

void GraphPage::choiceActivated(int) {
    refresh();
}

void GraphPage::refresh() {
    // A results file that passed the reader's limits can still ask for more
    // memory than the machine has left: say so instead of ending the program.
    try {
        rebuild();
    } catch (const std::bad_alloc&) {
        showNoResults();
        m_noResults->setText(tr("There is not enough memory to draw this graph."));
    }
}

void GraphPage::rebuild() {
    const graphs::ResultsList records = m_results.all();
    const QStringList items = toQt(choicesFor(records));
    if (items.isEmpty()) {
        showNoResults();
        return;
    }
    const QString previous = m_choice->currentText();
    QStringList shown;
    for (int i = 0; i < m_choice->count(); ++i) shown << m_choice->itemText(i);
    if (shown != items) {
        m_choice->clear();
        for (int i = 0; i < items.size(); ++i) m_choice->addItem(items[i], i);
        const int kept = items.indexOf(previous);
        m_choice->setCurrentIndex(kept >= 0 ? kept : 0);
    }
    m_choice->setEnabled(true);
    const int choice = m_choice->currentData().toInt();
    if (!drawnAlready(records, choice)) draw(records, choice);
    m_stack->setCurrentWidget(m_chart);
}

bool GraphPage::drawnAlready(const graphs::ResultsList& records, int choice) const {
    if (choice != m_drawnChoice || records.size() != m_drawn.size()) return false;
    for (size_t i = 0; i < records.size(); ++i)
        if (m_drawn[i].lock() != records[i]) return false;
    return true;
}

void GraphPage::draw(const graphs::ResultsList& records, int choice) {
    const graphs::GraphChart graph = graphFor(records, choice);
    // One drawing for the whole rebuild, not one per point.
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    m_chart->clear();
    m_chart->setTitle(QString::fromStdString(graph.title));
    m_chart->setFooter(QString::fromStdString(graph.subtitle));
    m_note->setText(QString::fromStdString(graph.note));
    m_note->setVisible(!graph.note.empty());
    const std::pair<ChartView::Axis, const graphs::GraphAxis*> axes[] = {
        {ChartView::kHorizontalAxis, &graph.horizontal},
        {ChartView::kVerticalAxis, &graph.vertical}};
    for (const auto& [which, axis] : axes) {
        m_chart->setAxisFormat(which, QString::fromStdString(axis->format));
        m_chart->setAxisTitle(which, QString::fromStdString(axis->title));
        m_chart->setAxisRange(which, axis->minimum, axis->maximum);
        m_chart->setTickSteps(which, axis->step, axis->step);
    }
    for (const auto& series : graph.series) {
        const int index =
            m_chart->addSeries(QString::fromStdString(series.name), toQt(series.color));
        for (const auto& point : series.points) m_chart->addPoint(index, point.x, point.y);
    }
    setUpdatesEnabled(updates);
    m_drawn.assign(records.begin(), records.end());
    m_drawnChoice = choice;
    ++m_builds;
}

}  // namespace velk::results
