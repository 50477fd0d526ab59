#include "app/graphs/graph_axis_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace velk::graphs {

namespace {

double usable(double value) {
    return std::isfinite(value) && value > 0 ? value : 0;
}

void keepRangeOpen(GraphAxis& axis) {
    if (axis.maximum < kSmallestAxisMaximum) axis.maximum = kSmallestAxisMaximum;
}

}  // namespace

GraphAxis horizontalAxis(double largestX) {
    // Integer arithmetic on purpose: steps of 5, 10, 15 ... for 50 and more.
    const double d = std::min(usable(largestX), 4e18);
    const int64_t fifties = int64_t(d) / 50;
    GraphAxis axis;
    axis.minimum = 0;
    axis.maximum = d + 1;
    axis.step = fifties == 0 ? 1 : double(fifties * 5);
    keepRangeOpen(axis);
    return axis;
}

double verticalStep(double largestY) {
    const double e = usable(largestY);
    if (e > 5000) return 1000;
    if (e > 500) return 50;
    if (e > 20) return 10;
    if (e > 5) return 1;
    return 0.1;
}

GraphAxis verticalAxis(double largestY) {
    double e = usable(largestY);
    if (e == 0) e = 1;
    GraphAxis axis;
    axis.step = verticalStep(e);
    axis.minimum = 0;
    axis.maximum = e + axis.step;
    keepRangeOpen(axis);
    return axis;
}

GraphAxis errorsAxis() {
    GraphAxis axis;
    axis.minimum = 0;
    axis.maximum = 100;
    axis.step = 10;
    return axis;
}

void scaleAxes(GraphChart& chart) {
    double largestX = 0, largestY = 0;
    for (const auto& series : chart.series) {
        for (const auto& point : series.points) {
            largestX = std::max(largestX, usable(point.x));
            largestY = std::max(largestY, usable(point.y));
        }
    }
    const GraphAxis h = horizontalAxis(largestX);
    const GraphAxis v = verticalAxis(largestY);
    chart.horizontal.minimum = h.minimum;
    chart.horizontal.maximum = h.maximum;
    chart.horizontal.step = h.step;
    chart.vertical.minimum = v.minimum;
    chart.vertical.maximum = v.maximum;
    chart.vertical.step = v.step;
}

}  // namespace velk::graphs
