#pragma once
// Inline SVG charts for the HTML report: grouped bars and lines over time, with
// axes, grid, legend and a <title> tip on every bar and point.  Texts given here
// are already escaped for HTML.  Plain functions.
#include <string>
#include <vector>

namespace velk::results {

struct SvgSeries {
    std::string label;  // escaped
    std::string color;  // a CSS colour
    std::vector<double> values;
};

// Groups of bars: one group per name (raw bytes), one bar per series.
std::string svgBarChart(const std::vector<std::string>& groups,
                        const std::vector<SvgSeries>& series, const std::string& unit);

// Lines over time: value i of every series belongs to the span starting at
// i × spanSeconds.  step draws steps (a count that holds over a span).
std::string svgLineChart(const std::vector<SvgSeries>& series, double spanSeconds,
                         const std::string& unit, bool step);

// HTML text of bytes that may not be UTF-8.
std::string htmlEscape(const std::string& text);
// HTML text of the first characters of text, with an ellipsis when cut.
std::string cutText(const std::string& text, size_t characters);

}  // namespace velk::results
