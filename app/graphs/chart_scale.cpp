#include "app/graphs/chart_scale.h"

#include <cmath>

namespace velk::graphs {

namespace {
constexpr double kTiny = 2.220446e-16;
}

double niceNumber(double v, bool roundUp) {
    if (!std::isfinite(v)) return v;
    const double g = std::fabs(v);
    if (g < kTiny) return 0;
    const bool up = v < 0 ? !roundUp : roundUp;
    double base = std::pow(10.0, std::floor(std::log10(g)));
    if (g < base) base /= 10;  // log10 rounding near a power of ten
    if (g > 10 * base) base *= 10;
    double result = up ? 10 * base : base;
    for (int i = 1; i < 10; ++i) {
        if (i * base <= g && g <= (i + 1) * base) {
            result = up ? (i + 1) * base : i * base;
            break;
        }
    }
    return v < 0 ? -result : result;
}

ChartRange autoRange(double largest, bool horizontal) {
    if (horizontal && largest > 1) largest -= 1;
    ChartRange range;
    range.minimum = 0;
    range.maximum = niceNumber(largest, true);
    if (!(range.maximum >= kTiny)) range.maximum = 1e-10;
    range.minorStep = range.maximum / 10;
    range.majorStep = range.maximum / 5;
    return range;
}

std::vector<double> tickValues(double minimum, double maximum, double step, size_t maxTicks) {
    std::vector<double> ticks;
    const double span = maximum - minimum;
    if (!std::isfinite(span) || span < 0 || maxTicks == 0) return ticks;
    if (span == 0) return {minimum};
    if (!std::isfinite(step) || step <= 0) step = span;
    if (span / step + 1 > double(maxTicks)) {
        // The smallest step that fits, rounded up to a nice one when the
        // rounding can express it (tiny steps round to 0).
        const double wanted = span / double(maxTicks > 1 ? maxTicks - 1 : 1);
        const double nice = niceNumber(wanted, true);
        step = nice >= wanted ? nice : wanted;
    }
    const double last = span / step + 1e-9;
    for (size_t i = 0; double(i) <= last && ticks.size() < maxTicks; ++i)
        ticks.push_back(minimum + double(i) * step);
    return ticks;
}

}  // namespace velk::graphs
