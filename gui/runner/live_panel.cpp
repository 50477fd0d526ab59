#include "gui/runner/live_panel.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "app/graphs/chart_scale.h"
#include "app/runner/live_figures.h"
#include "gui/results/chart_view.h"

namespace velk::runner {
namespace {

using velk::results::ChartView;

// Most steps on the live charts' axes: labels that fit the smallest window.
constexpr int kTimeSteps = 6;
constexpr int kValueSteps = 4;

ChartView* liveChart(const char* name, const char* title, const char* unit) {
    auto* chart = new ChartView;
    chart->setObjectName(QString::fromLatin1(name));
    chart->setTitle(QString::fromLatin1(title));
    chart->setFooterShown(false);
    chart->setLegendPosition(velk::results::LegendPosition::kBottom);
    chart->setAxisFormat(ChartView::kHorizontalAxis, QStringLiteral("%.0f"));
    chart->setAxisTitle(ChartView::kHorizontalAxis, QStringLiteral("s"));
    chart->setAxisTitle(ChartView::kVerticalAxis, QString::fromLatin1(unit));
    // High enough at the smallest window for a few labelled steps above the
    // time axis and a legend of two rows.
    chart->setMinimumSize(180, 185);
    return chart;
}

}  // namespace

LivePanel::LivePanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("livePanel"));
    auto* figures = new QWidget;
    auto* column = new QVBoxLayout(figures);
    column->setContentsMargins(0, 0, 0, 0);
    m_pass = new QLabel;
    m_pass->setObjectName(QStringLiteral("pass"));
    m_pass->setWordWrap(true);
    m_pass->hide();
    column->addWidget(m_pass);
    auto* form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    m_elapsed = addFigure(form, "Elapsed:", "elapsed");
    m_remaining = addFigure(form, "Remaining:", "remaining");
    m_requests = addFigure(form, "Test-sequence requests:", "requests");
    m_rate = addFigure(form, "Rate:", "rate");
    m_users = addFigure(form, "Users running:", "users");
    m_errors = addFigure(form, "Errors:", "errors");
    m_errors->setWordWrap(true);
    column->addLayout(form);
    column->addStretch();
    figures->setMinimumWidth(200);
    figures->setMaximumWidth(260);

    m_rateChart = liveChart("rateChart", "Requests and errors", "1/s");
    m_timeChart = liveChart("timeChart", "Response time", "ms");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(figures);
    layout->addWidget(m_rateChart, 1);
    layout->addWidget(m_timeChart, 1);
}

QLabel* LivePanel::addFigure(QFormLayout* form, const char* caption, const char* name) {
    auto* value = new QLabel;
    value->setObjectName(QString::fromLatin1(name));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* label = new QLabel(QString::fromLatin1(caption));
    label->setBuddy(value);
    form->addRow(label, value);
    return value;
}

QString LivePanel::figureText(const char* name) const {
    const auto* label = findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

void LivePanel::showFigures(const LiveFigures& figures) {
    const LiveTexts t = figures.texts();
    m_pass->setText(QString::fromStdString(t.pass));
    m_pass->setVisible(!t.pass.empty());
    m_elapsed->setText(QString::fromStdString(t.elapsed));
    m_remaining->setText(QString::fromStdString(t.remaining));
    m_requests->setText(QString::fromStdString(t.requests));
    m_rate->setText(QString::fromStdString(t.rate));
    m_users->setText(QString::fromStdString(t.users));
    // "none" only once a request has ended (the engine counts a request made
    // when its result is in): a run that reaches no server has no error either
    // in its first moments, and must not look like a clean one.
    const bool noneYet = figures.last().made <= 0 && std::all_of(std::begin(figures.last().errors),
                                                                 std::end(figures.last().errors),
                                                                 [](int32_t n) { return n <= 0; });
    m_errors->setText(noneYet ? QStringLiteral("no answer yet") : QString::fromStdString(t.errors));

    // At most LiveFigures::kMaxPoints a series: one redraw a second is cheap.
    m_rateChart->clear();
    const int requests = m_rateChart->addSeries(QStringLiteral("requests"), QColor(0, 0, 192));
    const int errors = m_rateChart->addSeries(QStringLiteral("errors"), QColor(192, 0, 0));
    m_timeChart->clear();
    // The higher percentiles first and wider: a p95 that runs along the p99
    // (few responses in a second) is drawn over it, not hidden under it.
    const int p99 = m_timeChart->addSeries(QStringLiteral("p99"), QColor(220, 60, 60), 5);
    const int p95 = m_timeChart->addSeries(QStringLiteral("p95"), QColor(230, 140, 0), 3);
    const int p50 = m_timeChart->addSeries(QStringLiteral("p50"), QColor(0, 128, 0), 1.5);
    double lastSecond = 1, mostPerSecond = 0, longest = 0;
    for (const LivePoint& p : figures.points()) {
        m_rateChart->addPoint(requests, p.second, p.requestsPerSecond);
        m_rateChart->addPoint(errors, p.second, p.errorsPerSecond);
        // A second without a timed response is left out, not drawn as zero.
        if (p.p99 >= 0) m_timeChart->addPoint(p99, p.second, p.p99);
        if (p.p95 >= 0) m_timeChart->addPoint(p95, p.second, p.p95);
        if (p.p50 >= 0) m_timeChart->addPoint(p50, p.second, p.p50);
        lastSecond = std::max(lastSecond, p.second);
        mostPerSecond = std::max({mostPerSecond, p.requestsPerSecond, p.errorsPerSecond});
        longest = std::max({longest, p.p50, p.p95, p.p99});
    }
    // Ticks at nice steps, as many as the chart's plot has room for (each one
    // labelled, the top of the axis too), each label with the decimals that
    // tell it from the next.
    const auto scale = [](ChartView* chart, ChartView::Axis which, double largest, int steps,
                          bool whole) {
        // The widest label a whole number of steps above the largest value
        // can have: twice the largest, as printed.
        const QString widest = QString::number(std::ceil(largest) * 2, 'f', 0);
        steps = std::clamp(chart->stepsThatFit(which, widest), 1, steps);
        const velk::graphs::StepAxis a = velk::graphs::stepAxis(largest, steps, whole);
        chart->setAxisRange(which, a.range.minimum, a.range.maximum);
        chart->setTickSteps(which, a.range.minorStep, a.range.majorStep);
        chart->setAxisFormat(which, QStringLiteral("%.%1f").arg(a.decimals));
    };
    for (ChartView* chart : {m_rateChart, m_timeChart})
        scale(chart, ChartView::kHorizontalAxis, lastSecond, kTimeSteps, true);
    scale(m_rateChart, ChartView::kVerticalAxis, mostPerSecond, kValueSteps, false);
    scale(m_timeChart, ChartView::kVerticalAxis, longest, kValueSteps, false);
}

}  // namespace velk::runner
