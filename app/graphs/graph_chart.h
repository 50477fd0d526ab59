#pragma once
// GraphChart: what one graph shows, worked out from the results list before
// any drawing: the titles, both axes with their ranges and tick steps, and the
// series with their colours and points.  Plain data, built by the graph
// computations and handed to the chart control by the graph pages.
#include <string>
#include <vector>

namespace velk::graphs {

struct GraphColor {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const GraphColor&) const = default;
};

struct GraphPoint {
    double x = 0;
    double y = 0;
};

struct GraphSeries {
    std::string name;
    GraphColor color;
    std::vector<GraphPoint> points;
};

struct GraphAxis {
    double minimum = 0;
    double maximum = 1;
    double step = 1;     // one step between ticks, labelled ones alike
    std::string format;  // printf pattern taking one double: "%.0f", "%.2f"
    std::string title;
};

struct GraphChart {
    std::string title;     // the chosen graph: entry name or batch graph name
    std::string subtitle;  // the line below the plot
    GraphAxis horizontal;
    GraphAxis vertical;
    std::vector<GraphSeries> series;
    // Said on the page above the chart when the graph shows less than the
    // user may expect (a run that kept summary times only); empty otherwise.
    std::string note;
};

}  // namespace velk::graphs
