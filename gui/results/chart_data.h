#pragma once
// What the chart control draws: two axes with their ranges, tick steps,
// label formats and titles, and the series with their names, colours and
// points.  Plain values owned by ChartView; user-interface thread only.
#include <QColor>
#include <QPointF>
#include <QString>
#include <vector>

namespace velk::results {

enum class LegendPosition { kTop = 0, kBottom = 1, kRight = 2, kLeft = 4 };

struct ChartAxis {
    double minimum = 0;
    double maximum = 1;
    double minorStep = 0.1;
    double majorStep = 0.2;
    // printf pattern taking one double, applied to every tick value.
    QString format = QStringLiteral("%g");
    QString title;
    // Scaled by the control from the data until a range is set.
    bool automatic = true;
};

struct ChartSeries {
    QString name;
    QColor color;
    std::vector<QPointF> points;
};

}  // namespace velk::results
