#pragma once
// ChartView: the program's own XY line chart: numbered series of (x, y)
// points in the caller's colours against a horizontal and a vertical axis,
// with a title strip, a footer strip (the subtitle), axis titles, tick labels
// in the caller's formats, a legend at a chosen side and hover tips.
//
// The whole picture is drawn off-screen once per change (data, ranges, texts
// or size) and a paint only copies it, so repainting never flickers and many
// added points cost one drawing.  A tip shows the text pointTipText() gives
// for the point under the mouse, kept 10 pixels inside the plot.
// User-interface thread only.
#include <QImage>
#include <QWidget>
#include <optional>

#include "engine/base/status.h"
#include "gui/results/chart_data.h"
#include "gui/results/chart_layout.h"
#include "gui/results/chart_legend.h"
#include "gui/results/chart_plot.h"

namespace velk::results {

class ChartTip;

class ChartView : public QWidget {
    Q_OBJECT
public:
    enum Axis { kHorizontalAxis, kVerticalAxis };

    explicit ChartView(QWidget* parent = nullptr);
    ~ChartView() override;

    // Removes every series with its points and legend entry.
    void clear();

    void setTitle(const QString& text);
    void setFooter(const QString& text);
    void setTitleShown(bool shown);
    void setFooterShown(bool shown);
    void setLegendPosition(LegendPosition position);
    void setFramed(bool framed);

    void setAxisFormat(Axis axis, const QString& format);
    void setAxisTitle(Axis axis, const QString& title);
    // A set range stops the control from scaling that axis itself.
    void setAxisRange(Axis axis, double minimum, double maximum);
    void setTickSteps(Axis axis, double minor, double major);
    // Scale the axis from the data (nice numbers) from now on.
    void setAutoScale(Axis axis);

    // Returns the new series' index (0, 1, 2 ... in order of adding); the
    // legend gains an entry.
    int addSeries(const QString& name, const QColor& color, qreal width = 2);
    // Appends to series `series`; an unknown index is ignored.
    void addPoint(int series, double x, double y);

    const ChartAxis& axis(Axis which) const { return which == kHorizontalAxis ? m_h : m_v; }
    const std::vector<ChartSeries>& series() const { return m_series; }
    QString title() const { return m_title; }
    QString footer() const { return m_footer; }

    // Where the parts are for the current size.
    const ChartLayout& layout() const;
    // The rectangle the axes span and where a data point lands in it.
    QRect dataRect() const;
    QPointF pointPosition(int series, int index) const;
    // How many steps of an axis, each labelled, the plot has room for at the
    // current size, for labels no wider than widestLabel.
    int stepsThatFit(Axis axis, const QString& widestLabel) const;
    // The tick labels the current picture shows on an axis, from its minimum.
    std::vector<ChartTickLabel> tickLabels(Axis axis) const;

    // The hover tip, as the user sees it.
    bool tipVisible() const;
    QString tipText() const;
    QRect tipGeometry() const;

    // The current picture at the control's size.
    QImage picture() const;
    // Writes the picture as PNG, replacing the file only when complete; kIo
    // with Qt's reason when it cannot.
    Status savePicture(const QString& path) const;

protected:
    // The tip text for a point: "(%.0f, %.2f)" with its x and y; a page may
    // say more about its points.
    virtual QString pointTipText(int series, double x, double y) const;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    ChartAxis& axisRef(Axis which) { return which == kHorizontalAxis ? m_h : m_v; }
    void changed(bool layoutToo);
    void ensureCanvas() const;
    void render(QPainter& painter) const;
    void scaleAutomaticAxes(ChartAxis& h, ChartAxis& v) const;
    void updateTip(const QPoint& pos);
    void hideTip();
    void saveAs();

    ChartAxis m_h, m_v;
    std::vector<ChartSeries> m_series;
    QString m_title, m_footer;
    ChartLayoutOptions m_options;
    QFont m_font, m_titleFont;

    // Caches rebuilt lazily: layout on size, text and legend changes; the
    // picture on any change.
    mutable ChartLegend m_legend;
    mutable ChartLayout m_layout;
    mutable bool m_layoutDirty = true;
    mutable QSize m_layoutSize;
    mutable ChartPlot m_plot;
    mutable QImage m_canvas;
    mutable bool m_canvasDirty = true;

    ChartTip* m_tip = nullptr;
    std::optional<ChartHit> m_tipHit;
};

}  // namespace velk::results
