#pragma once
// ChartLayout: where the parts of the chart control go.  On the client
// rectangle (less 2 pixels on every side when framed) the title strip takes
// the top tenth of the height and the footer strip the bottom tenth when they
// are shown; the legend takes a band at its side, its content's size plus 20
// pixels in each direction that is not empty (a side band lies between the
// strips); the plot takes the rest.  Pure geometry, safe from any thread.
#include <QRect>
#include <QSize>
#include <functional>

#include "gui/results/chart_data.h"

namespace velk::results {

struct ChartLayoutOptions {
    bool framed = false;
    bool titleShown = true;
    bool footerShown = true;
    LegendPosition legendPosition = LegendPosition::kRight;
};

struct ChartLayout {
    QRect title;   // empty when not shown
    QRect footer;  // empty when not shown
    QRect legend;  // empty when the legend has no entries
    QRect plot;

    // The legend's content size for the room it may take: the width of its
    // band for a top or bottom legend, the height for a side legend.
    using LegendSizer = std::function<QSize(int room)>;
    static ChartLayout compute(const QRect& client, const ChartLayoutOptions& options,
                               const LegendSizer& legendContent);
};

}  // namespace velk::results
