// The chart control: where its parts go, what it draws, its hover tips and
// its own scaling arithmetic.
#include "gui/results/chart_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "app/graphs/chart_scale.h"
#include "gui/results/chart_tip.h"

namespace velk::results {
namespace {

void hover(QWidget& widget, QPointF pos) {
    QMouseEvent move(QEvent::MouseMove, pos, widget.mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// A chart like the graph pages build: fixed ranges, formats and titles.
void fill(ChartView& chart, int seriesCount) {
    chart.setTitle("/index.html");
    chart.setFooter("Number of virtual users = 10");
    chart.setAxisFormat(ChartView::kHorizontalAxis, "%.0f");
    chart.setAxisFormat(ChartView::kVerticalAxis, "%.2f");
    chart.setAxisTitle(ChartView::kHorizontalAxis, "Iteration");
    chart.setAxisTitle(ChartView::kVerticalAxis, "Request processing time (ms)");
    chart.setAxisRange(ChartView::kHorizontalAxis, 0, 11);
    chart.setTickSteps(ChartView::kHorizontalAxis, 1, 1);
    chart.setAxisRange(ChartView::kVerticalAxis, 0, 3);
    chart.setTickSteps(ChartView::kVerticalAxis, 0.1, 0.1);
    const QColor colours[] = {QColor(250, 0, 0), QColor(0, 0, 250), QColor(0, 240, 0)};
    for (int s = 0; s < seriesCount; ++s) {
        const int index = chart.addSeries(QString("Series %1").arg(s), colours[s % 3]);
        for (int x = 1; x <= 10; ++x) chart.addPoint(index, x, 0.5 + s + 0.1 * x);
    }
}

TEST(ChartView, TitleAndFooterStripsTakeATenthOfTheHeightAfterEveryResize) {
    ChartView chart;
    fill(chart, 3);
    for (QSize size : {QSize(400, 300), QSize(765, 550), QSize(1280, 800), QSize(333, 217)}) {
        chart.resize(size);
        const ChartLayout& parts = chart.layout();
        SCOPED_TRACE(size.width());
        EXPECT_EQ(parts.title, QRect(0, 0, size.width(), size.height() / 10));
        EXPECT_EQ(parts.footer.top(), size.height() * 9 / 10);
        EXPECT_EQ(parts.footer.bottom(), size.height() - 1);
        EXPECT_EQ(parts.plot.top(), parts.title.bottom() + 1);
        EXPECT_EQ(parts.plot.bottom(), parts.footer.top() - 1);
    }
    chart.setFramed(true);
    chart.resize(500, 400);
    EXPECT_EQ(chart.layout().title, QRect(2, 2, 496, 39));
    chart.setTitleShown(false);
    chart.setFooterShown(false);
    EXPECT_TRUE(chart.layout().title.isEmpty());
    EXPECT_EQ(chart.layout().plot.top(), 2);
    EXPECT_EQ(chart.layout().plot.bottom(), 397);
}

TEST(ChartView, LegendTakesABandAtItsSideWithTwentyPixelsOfMargin) {
    ChartView chart;
    fill(chart, 3);
    chart.resize(765, 550);
    for (LegendPosition side : {LegendPosition::kTop, LegendPosition::kBottom,
                                LegendPosition::kRight, LegendPosition::kLeft}) {
        chart.setLegendPosition(side);
        const ChartLayout& parts = chart.layout();
        const QRect& legend = parts.legend;
        const QRect& plot = parts.plot;
        SCOPED_TRACE(int(side));
        ASSERT_FALSE(legend.isEmpty());
        const int bodyTop = parts.title.bottom() + 1, bodyBottom = parts.footer.top() - 1;
        switch (side) {
            case LegendPosition::kTop:
                EXPECT_EQ(legend.top(), bodyTop);
                EXPECT_EQ(legend.width(), 765);
                EXPECT_EQ(plot.top(), legend.bottom() + 1);
                break;
            case LegendPosition::kBottom:
                EXPECT_EQ(legend.bottom(), bodyBottom);
                EXPECT_EQ(plot.bottom(), legend.top() - 1);
                break;
            case LegendPosition::kRight:
                EXPECT_EQ(legend.right(), 764);
                EXPECT_EQ(plot.right(), legend.left() - 1);
                break;
            case LegendPosition::kLeft:
                EXPECT_EQ(legend.left(), 0);
                EXPECT_EQ(plot.left(), legend.right() + 1);
                break;
        }
        // Between the strips, never over them; one line of text plus margins
        // at least.
        EXPECT_GE(legend.top(), bodyTop);
        EXPECT_LE(legend.bottom(), bodyBottom);
        EXPECT_GT(legend.height(), 20);
        EXPECT_GT(legend.width(), 20);
    }
}

TEST(ChartView, ManyLongSeriesNamesLeaveThePlotHalfTheChart) {
    ChartView chart;
    chart.resize(765, 550);
    for (int s = 0; s < 40; ++s)
        chart.addSeries(QString("/shop/catalogue/item?id=%1&view=full&sort=price").arg(s), Qt::red);
    EXPECT_GE(chart.layout().plot.width(), 765 / 2);
    chart.setLegendPosition(LegendPosition::kBottom);
    EXPECT_GE(chart.layout().plot.height(), (550 * 8 / 10) / 2);
}

TEST(ChartView, WithoutSeriesShowsAxesTitlesAndAnEmptyLegend) {
    ChartView chart;
    chart.setTitle("Errors");
    chart.resize(500, 400);
    EXPECT_TRUE(chart.layout().legend.isEmpty());
    EXPECT_EQ(chart.layout().plot.width(), 500);
    const QImage picture = chart.picture().convertToFormat(QImage::Format_RGB32);
    const QRect data = chart.dataRect();
    ASSERT_TRUE(data.isValid());
    // Both axis lines are drawn in a dark colour along the data rectangle.
    for (int i = 0; i < 5; ++i) {
        const int x = data.left() + (data.width() - 1) * i / 4;
        const int y = data.top() + (data.height() - 1) * i / 4;
        EXPECT_LT(qGray(picture.pixel(x, data.bottom())), 100) << x;
        EXPECT_LT(qGray(picture.pixel(data.left(), y)), 100) << y;
    }
    // The title strip holds dark text pixels.
    int dark = 0;
    const QRect title = chart.layout().title;
    for (int y = title.top(); y <= title.bottom(); ++y)
        for (int x = title.left(); x <= title.right(); ++x)
            dark += qGray(picture.pixel(x, y)) < 100;
    EXPECT_GT(dark, 10);
}

TEST(ChartView, PointsLandOnTheAxesInTheSeriesColour) {
    ChartView chart;
    fill(chart, 1);
    chart.addPoint(0, 0, 0);
    chart.resize(765, 550);
    const QRect data = chart.dataRect();
    const QPointF origin = chart.pointPosition(0, 10);
    EXPECT_NEAR(origin.x(), data.left(), 1);
    EXPECT_NEAR(origin.y(), data.bottom(), 1);
    const QPointF fifth = chart.pointPosition(0, 4);  // (5, 1.0)
    EXPECT_NEAR(fifth.x(), data.left() + data.width() * 5.0 / 11, 1);
    EXPECT_NEAR(fifth.y(), data.bottom() - data.height() * 1.0 / 3, 1);
    const QImage picture = chart.picture();
    EXPECT_EQ(picture.pixelColor(fifth.toPoint()), QColor(250, 0, 0));
}

TEST(ChartView, HoverTipSaysXAndYAndStaysTenPixelsInsideThePlot) {
    ChartView chart;
    fill(chart, 1);
    chart.addPoint(0, 11, 2.5);  // on the right edge of the axes
    chart.resize(765, 550);
    chart.show();
    const QPointF edge = chart.pointPosition(0, 10);
    hover(chart, edge);
    ASSERT_TRUE(chart.tipVisible());
    EXPECT_EQ(chart.tipText(), "(11, 2.50)");
    const QRect plot = chart.layout().plot;
    const QRect tip = chart.tipGeometry();
    EXPECT_EQ(tip.x() + tip.width(), plot.x() + plot.width() - 10);
    EXPECT_GE(tip.y(), plot.y() + 10);

    hover(chart, chart.pointPosition(0, 0));
    ASSERT_TRUE(chart.tipVisible());
    EXPECT_EQ(chart.tipText(), "(1, 0.60)");
    hover(chart, chart.dataRect().center() + QPoint(0, -150));
    EXPECT_FALSE(chart.tipVisible());
}

TEST(ChartView, TipPlacementKeepsTheMarginOnEverySide) {
    const QRect area(100, 50, 400, 300);
    const QSize tip(80, 20);
    struct Case {
        QRect point;
        TipAlignment alignment;
        QRect expected;
    } cases[] = {
        {QRect(200, 200, 7, 7), TipAlignment::kTopRight, QRect(207, 180, 80, 20)},
        {QRect(490, 200, 7, 7), TipAlignment::kTopRight, QRect(410, 180, 80, 20)},
        {QRect(100, 52, 7, 7), TipAlignment::kTopLeft, QRect(110, 60, 80, 20)},
        {QRect(300, 345, 7, 7), TipAlignment::kBottomRight, QRect(307, 320, 80, 20)},
        {QRect(300, 200, 7, 7), TipAlignment::kCentre, QRect(264, 194, 80, 20)},
        {QRect(300, 200, 7, 7), TipAlignment::kBottomLeft, QRect(220, 207, 80, 20)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChartTip::place(c.point, tip, c.alignment, area), c.expected) << c.point.x();
}

class UsersChart : public ChartView {
protected:
    QString pointTipText(int series, double x, double y) const override {
        return QString("%1 users: %2 ms (series %3)").arg(x).arg(y).arg(series);
    }
};

TEST(ChartView, ATipAsksTheOverridableQueryForItsText) {
    UsersChart chart;
    fill(chart, 2);
    chart.resize(765, 550);
    chart.show();
    hover(chart, chart.pointPosition(1, 2));
    ASSERT_TRUE(chart.tipVisible());
    EXPECT_EQ(chart.tipText(), "3 users: 1.8 ms (series 1)");
}

TEST(ChartView, SavesItsPictureAsPng) {
    ChartView chart;
    fill(chart, 3);
    chart.resize(640, 480);
    QTemporaryDir dir;
    const Status saved = chart.savePicture(dir.filePath("chart.png"));
    ASSERT_TRUE(saved) << saved.message();
    EXPECT_EQ(QImage(dir.filePath("chart.png")).size(), QSize(640, 480));
    const Status failed = chart.savePicture(dir.filePath("missing/chart.png"));
    EXPECT_EQ(failed.code(), StatusCode::kIo);
    EXPECT_FALSE(failed.message().empty());
}

TEST(ChartView, AssistiveTechnologySeesAGraphicNamedByItsTitle) {
    ChartView chart;
    fill(chart, 2);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&chart);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Graphic);
    EXPECT_EQ(face->text(QAccessible::Name), "/index.html");
    const QString description = face->text(QAccessible::Description);
    EXPECT_TRUE(description.contains("Number of virtual users = 10"));
    EXPECT_TRUE(description.contains("Series 1"));
}

TEST(ChartScale, NiceNumbersRoundToOneToTenTimesAPowerOfTen) {
    struct Case {
        double v;
        bool up;
        double expected;
    } cases[] = {
        {4.2, true, 5},      {37, true, 40},    {1, true, 2},    {4.2, false, 4},
        {-4.2, true, -4},    {-4.2, false, -5}, {0, true, 0},    {1e-17, true, 0},
        {0.042, true, 0.05}, {950, true, 1000}, {10, false, 10}, {123456, true, 200000},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(graphs::niceNumber(c.v, c.up), c.expected,
                    std::fabs(c.expected) * 1e-12 + 1e-300)
            << c.v << (c.up ? " up" : " down");
}

TEST(ChartScale, AnAxisScaledByTheControlEndsOnANiceNumber) {
    struct Case {
        double largest;
        bool horizontal;
        double maximum;
    } cases[] = {
        {4.2, false, 5}, {38, true, 40}, {1, true, 2}, {0, false, 1e-10}, {0, true, 1e-10}};
    for (const auto& c : cases) {
        const graphs::ChartRange range = graphs::autoRange(c.largest, c.horizontal);
        EXPECT_EQ(range.minimum, 0);
        EXPECT_DOUBLE_EQ(range.maximum, c.maximum) << c.largest;
        EXPECT_DOUBLE_EQ(range.minorStep, c.maximum / 10);
        EXPECT_DOUBLE_EQ(range.majorStep, c.maximum / 5);
    }
}

// The live charts' axes: at most the steps asked for, each tick label distinct
// in its decimals ("0 0 1 1 2 2" was what a fixed format made of them), and
// the largest value on the axis.
TEST(ChartScale, StepAxesEndAboveTheLargestValueWithDistinctLabels) {
    const struct {
        double largest;
        int steps;
        bool whole;
        double maximum, step;
        int decimals;
    } cases[] = {
        {2.5, 6, true, 3, 1, 0},
        {0.4, 6, true, 1, 1, 0},
        {59, 6, true, 60, 10, 0},
        {765, 4, false, 800, 200, 0},
        {0.37, 4, false, 0.4, 0.1, 1},
        {0, 4, false, 0.12, 0.03, 2},
        {0.0123, 4, false, 0.016, 0.004, 3},
        {7, 4, false, 8, 2, 0},
    };
    for (const auto& c : cases) {
        const graphs::StepAxis a = graphs::stepAxis(c.largest, c.steps, c.whole);
        EXPECT_EQ(a.range.minimum, 0);
        EXPECT_NEAR(a.range.maximum, c.maximum, 1e-12) << c.largest;
        EXPECT_NEAR(a.range.majorStep, c.step, 1e-12) << c.largest;
        EXPECT_EQ(a.decimals, c.decimals) << c.largest;
        EXPECT_GE(a.range.maximum, c.largest);
        const auto ticks = graphs::tickValues(0, a.range.maximum, a.range.majorStep, 400);
        EXPECT_LE(ticks.size(), size_t(c.steps) + 1) << c.largest;
        QStringList labels;
        for (double t : ticks) labels << QString::asprintf("%.*f", a.decimals, t);
        EXPECT_EQ(labels.removeDuplicates(), 0) << labels.join(' ').toStdString();
    }
}

// Tick labels at any chart size: in order, evenly spaced, without repeating
// or overlapping, and more than the axis' start alone (a 150-pixel live chart
// showed only "0" on its time axis): the top too, or the top alone.
TEST(ChartView, TickLabelsShowTheTopOfTheAxisWithoutOverlapAtAnySize) {
    const struct {
        int height;
        double maximum, step;
    } cases[] = {
        {130, 320, 80},  {150, 320, 80},  {185, 320, 80}, {260, 320, 80}, {600, 320, 80},
        {150, 700, 140}, {185, 0.4, 0.1}, {300, 37, 1},   {400, 3, 0.1},
    };
    QFont font(QStringLiteral("Arial"), 10);  // the control's own
    font.setStyleHint(QFont::SansSerif);
    const QFontMetrics metrics(font);
    for (const auto& c : cases) {
        ChartView chart;
        chart.setTitle("Response time");
        chart.setFooterShown(false);
        chart.setLegendPosition(LegendPosition::kBottom);
        chart.setAxisTitle(ChartView::kHorizontalAxis, "s");
        chart.setAxisFormat(ChartView::kVerticalAxis, "%g");
        chart.setAxisRange(ChartView::kVerticalAxis, 0, c.maximum);
        chart.setTickSteps(ChartView::kVerticalAxis, c.step, c.step);
        chart.setAxisRange(ChartView::kHorizontalAxis, 0, 37);
        chart.setTickSteps(ChartView::kHorizontalAxis, 1, 1);
        for (const char* name : {"p99", "p95", "p50"}) chart.addSeries(name, Qt::red);
        chart.resize(190, c.height);
        const std::string at = std::to_string(c.height) + " px, " + std::to_string(c.maximum);
        for (const auto axis : {ChartView::kVerticalAxis, ChartView::kHorizontalAxis}) {
            const auto labels = chart.tickLabels(axis);
            ASSERT_FALSE(labels.empty()) << at;
            const double top = axis == ChartView::kVerticalAxis ? c.maximum : 37;
            // One label is the top; two are the start and the top.
            if (labels.size() <= 2) {
                EXPECT_NEAR(labels.back().value, top, 1e-9) << at;
            }
            for (size_t i = 1; i < labels.size(); ++i) {
                EXPECT_GT(labels[i].value, labels[i - 1].value) << at;
                EXPECT_NEAR(labels[i].value - labels[i - 1].value,
                            labels[1].value - labels[0].value, 1e-9)
                    << at;
                EXPECT_NE(labels[i].text, labels[i - 1].text) << at;
                // Vertical labels are text lines one above the next; horizontal
                // ones are centred on their ticks, half their widths apart.
                const QRect a = labels[i - 1].box, b = labels[i].box;
                if (axis == ChartView::kVerticalAxis)
                    EXPECT_GE(a.top() - b.bottom(), 1) << at;
                else
                    EXPECT_GE(b.center().x() - a.center().x(),
                              (metrics.horizontalAdvance(labels[i - 1].text) +
                               metrics.horizontalAdvance(labels[i].text)) /
                                  2)
                        << at;
            }
        }
        // Where there is room for more than one label, the axis' start has one too.
        if (c.height >= 185) {
            EXPECT_EQ(chart.tickLabels(ChartView::kVerticalAxis).front().value, 0) << at;
        }
    }
}

TEST(ChartScale, TicksAreBoundedWhateverTheStep) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(graphs::tickValues(0, 4.3, 0.1, 400).size(), 44u);
    EXPECT_LE(graphs::tickValues(0, 2148483.647, 1000, 400).size(), 400u);
    EXPECT_LE(graphs::tickValues(0, 1e300, 1e-300, 50).size(), 50u);
    EXPECT_EQ(graphs::tickValues(0, 10, 0, 400), (std::vector<double>{0, 10}));
    EXPECT_TRUE(graphs::tickValues(0, nan, 1, 400).empty());
    EXPECT_TRUE(graphs::tickValues(0, std::numeric_limits<double>::infinity(), 1, 400).empty());
}

}  // namespace
}  // namespace velk::results
