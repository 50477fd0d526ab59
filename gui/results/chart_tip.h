#pragma once
// ChartTip: the chart control's hover tip, a small pale yellow box with one
// line of text, and the rule that places it: at a corner of the point's
// marker (or centred on it), then moved inside an area with a 10-pixel margin
// on every side.  User-interface thread only.
#include <QLabel>
#include <QRect>

namespace velk::results {

enum class TipAlignment { kTopLeft, kTopRight, kBottomLeft, kBottomRight, kCentre };

class ChartTip : public QLabel {
    Q_OBJECT
public:
    static constexpr int kMargin = 10;

    explicit ChartTip(QWidget* parent);

    // Where a tip of tipSize goes for a point whose marker is pointBox.
    static QRect place(const QRect& pointBox, const QSize& tipSize, TipAlignment alignment,
                       const QRect& area);
};

}  // namespace velk::results
