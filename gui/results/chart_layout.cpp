#include "gui/results/chart_layout.h"

#include <algorithm>

namespace velk::results {

namespace {
constexpr int kFrameWidth = 2;
constexpr int kLegendMargin = 20;
}  // namespace

ChartLayout ChartLayout::compute(const QRect& client, const ChartLayoutOptions& options,
                                 const LegendSizer& legendContent) {
    ChartLayout layout;
    QRect area = options.framed
                     ? client.adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth)
                     : client;
    if (area.width() < 0) area.setWidth(0);
    if (area.height() < 0) area.setHeight(0);
    const int h = area.height();
    int bodyTop = area.top();
    int bodyBottom = area.top() + h;  // one past the last row
    if (options.titleShown) {
        layout.title = QRect(area.left(), area.top(), area.width(), h / 10);
        bodyTop = layout.title.top() + layout.title.height();
    }
    if (options.footerShown) {
        const int start = area.top() + h * 9 / 10;
        layout.footer = QRect(area.left(), start, area.width(), area.top() + h - start);
        bodyBottom = start;
    }
    QRect body(area.left(), bodyTop, area.width(), std::max(0, bodyBottom - bodyTop));

    const bool side = options.legendPosition == LegendPosition::kLeft ||
                      options.legendPosition == LegendPosition::kRight;
    const int room = side ? body.height() - kLegendMargin : body.width() - kLegendMargin;
    QSize content = legendContent ? legendContent(std::max(0, room)) : QSize();
    int width = content.width() > 0 ? content.width() + kLegendMargin : 0;
    int height = content.height() > 0 ? content.height() + kLegendMargin : 0;
    // A legend never takes more than half of the chart from the plot.
    width = std::min(width, body.width() / 2);
    height = std::min(height, body.height() / 2);
    if (width == 0 || height == 0) {
        layout.plot = body;
        return layout;
    }
    switch (options.legendPosition) {
        case LegendPosition::kTop:
            layout.legend = QRect(body.left(), body.top(), body.width(), height);
            layout.plot = body.adjusted(0, height, 0, 0);
            break;
        case LegendPosition::kBottom:
            layout.legend = QRect(body.left(), body.bottom() + 1 - height, body.width(), height);
            layout.plot = body.adjusted(0, 0, 0, -height);
            break;
        case LegendPosition::kLeft:
            layout.legend = QRect(body.left(), body.top(), width, body.height());
            layout.plot = body.adjusted(width, 0, 0, 0);
            break;
        case LegendPosition::kRight:
            layout.legend = QRect(body.right() + 1 - width, body.top(), width, body.height());
            layout.plot = body.adjusted(0, 0, -width, 0);
            break;
    }
    return layout;
}

}  // namespace velk::results
