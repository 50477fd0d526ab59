#pragma once
// The graph pages' axis scaling: both axes start at 0; the horizontal axis
// reaches one past the largest x with a step of a multiple of 5 for long
// ranges; the vertical step grows with the largest y in fixed stages and the
// range ends one step above it; the Errors graph is always 0 to 100 %.
// Pure functions, safe from any thread.
#include "app/graphs/graph_chart.h"

namespace velk::graphs {

// The smallest maximum an axis gets, so that its range is never empty.
inline constexpr double kSmallestAxisMaximum = 2.220446e-16;

// Range 0 .. largestX + 1; step (largestX / 50) * 5 in whole numbers, at
// least 1.  A negative or non-finite largestX counts as 0.
GraphAxis horizontalAxis(double largestX);
// The vertical tick step for the largest value: 1000, 50, 10, 1 or 0.1.
double verticalStep(double largestY);
// Range 0 .. largestY + step, with largestY taken as 1 when it is 0 (or
// negative or non-finite).
GraphAxis verticalAxis(double largestY);
// 0 .. 100 with step 10, whatever the values.
GraphAxis errorsAxis();
// The largest x and y of all points of all series (0 when there are none)
// give both axes: horizontalAxis and verticalAxis.
void scaleAxes(GraphChart& chart);

}  // namespace velk::graphs
