#pragma once
// ChartPlot: draws the plot part of the chart control (grid, both axes, tick
// labels in the axes' formats, axis titles, and the series as lines with
// markers in their own colours) and keeps where each point landed, so that
// the control can find the point under the mouse.
//
// Tick labels that would overlap are thinned out (every second, fifth ...
// label is kept, and the top of the axis) so that labels stay readable on a
// small window.  Points
// outside the axes' ranges are clipped.  User-interface thread only.
#include <QFont>
#include <QPointF>
#include <QRect>
#include <QString>
#include <optional>
#include <vector>

#include "gui/results/chart_data.h"

class QPainter;

namespace velk::results {

struct ChartHit {
    int series = -1;
    int point = -1;
    QPointF position;  // in the control's pixels
};

// A tick label as drawn: on which axis, its value, its text and its box.
struct ChartTickLabel {
    bool vertical = false;
    double value = 0;
    QString text;
    QRect box;
};

class ChartPlot {
public:
    // Works out the data rectangle inside area (room for labels and titles)
    // and draws everything there.
    void paint(QPainter& painter, const QRect& area, const ChartAxis& horizontal,
               const ChartAxis& vertical, const std::vector<ChartSeries>& series,
               const QFont& font);
    // The rectangle the axes span, as last painted.
    QRect dataRect() const { return m_dataRect; }
    // The tick labels of the last painted picture, each axis from its minimum.
    const std::vector<ChartTickLabel>& tickLabels() const { return m_labels; }
    // Where a data point lands in the last painted picture.
    QPointF map(const QPointF& point) const;
    // The drawn point nearest to pos within radius pixels, if any.
    std::optional<ChartHit> hitTest(const QPoint& pos, int radius) const;

    // How many text lines apart the vertical axis' labels stand at the least
    // (a caller choosing its own steps for the room uses the same measure).
    static constexpr double kLabelLines = 1.6;
    // Horizontal labels keep this many pixels free on either side.
    static constexpr int kLabelGap = 6;
    // Half the side of a point's marker, in pixels.
    static constexpr int kMarkerHalf = 3;

private:
    QRect dataRectFor(const QRect& area, const ChartAxis& h, const ChartAxis& v,
                      const QFont& font) const;
    void paintHorizontal(QPainter& painter, const ChartAxis& axis, const QRect& area);
    void paintVertical(QPainter& painter, const ChartAxis& axis, const QRect& area);
    void paintMinorTicks(QPainter& painter, const ChartAxis& h, const ChartAxis& v) const;
    void paintSeries(QPainter& painter, const std::vector<ChartSeries>& series);

    QRect m_dataRect;
    double m_xMin = 0, m_xSpan = 1, m_yMin = 0, m_ySpan = 1;
    std::vector<std::vector<QPointF>> m_positions;  // per series, per point
    std::vector<ChartTickLabel> m_labels;
};

}  // namespace velk::results
