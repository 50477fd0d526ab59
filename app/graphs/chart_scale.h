#pragma once
// The chart control's arithmetic: nice numbers (1, 2, ... 10 times a power of
// ten), the ranges of an axis the control scales by itself, and the tick
// values of an axis.  Pure functions, safe from any thread.
#include <cstddef>
#include <vector>

namespace velk::graphs {

struct ChartRange {
    double minimum = 0;
    double maximum = 1;
    double minorStep = 0.1;
    double majorStep = 0.2;
};

// |v| rounded to the nearest of 1, 2, ... 10 times a power of ten, upwards or
// downwards, with the sign put back (for a negative v the directions
// exchange).  Values below 2.220446e-16 in size give 0.  4.2 up gives 5, 37
// up gives 40, 1 up gives 2.
double niceNumber(double v, bool roundUp);
// An axis scaled by the control: 0 to the nice number above the largest data
// value (for the horizontal axis, above the largest value less 1 when it is
// above 1), a tenth and a fifth of that as minor and major steps.
ChartRange autoRange(double largest, bool horizontal);
// The ticks from minimum to maximum every step.  When the step does not fit
// (zero, negative, not finite) or would give more than maxTicks ticks, it is
// widened to a nice number that gives at most maxTicks.
std::vector<double> tickValues(double minimum, double maximum, double step, size_t maxTicks);

}  // namespace velk::graphs
