#include "gui/results/chart_view.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QImageWriter>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "app/graphs/chart_scale.h"
#include "gui/results/chart_accessible.h"
#include "gui/results/chart_tip.h"

namespace velk::results {

namespace {
constexpr int kHitRadius = 6;
}

ChartView::ChartView(QWidget* parent) : QWidget(parent), m_tip(new ChartTip(this)) {
    m_font = QFont(QStringLiteral("Arial"), 10);
    m_font.setStyleHint(QFont::SansSerif);
    m_titleFont = m_font;
    m_titleFont.setBold(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    ChartAccessible::install();
}

ChartView::~ChartView() = default;

void ChartView::changed(bool layoutToo) {
    if (layoutToo) m_layoutDirty = true;
    m_canvasDirty = true;
    hideTip();
    update();
}

void ChartView::clear() {
    m_series.clear();
    changed(true);
}

void ChartView::setTitle(const QString& text) {
    m_title = text;
    changed(false);
}

void ChartView::setFooter(const QString& text) {
    m_footer = text;
    changed(false);
}

void ChartView::setTitleShown(bool shown) {
    m_options.titleShown = shown;
    changed(true);
}

void ChartView::setFooterShown(bool shown) {
    m_options.footerShown = shown;
    changed(true);
}

void ChartView::setLegendPosition(LegendPosition position) {
    m_options.legendPosition = position;
    changed(true);
}

void ChartView::setFramed(bool framed) {
    m_options.framed = framed;
    changed(true);
}

void ChartView::setAxisFormat(Axis axis, const QString& format) {
    axisRef(axis).format = format;
    changed(false);
}

void ChartView::setAxisTitle(Axis axis, const QString& title) {
    axisRef(axis).title = title;
    changed(false);
}

void ChartView::setAxisRange(Axis axis, double minimum, double maximum) {
    ChartAxis& a = axisRef(axis);
    a.minimum = minimum;
    a.maximum = maximum;
    a.automatic = false;
    changed(false);
}

void ChartView::setTickSteps(Axis axis, double minor, double major) {
    ChartAxis& a = axisRef(axis);
    a.minorStep = minor;
    a.majorStep = major;
    changed(false);
}

void ChartView::setAutoScale(Axis axis) {
    axisRef(axis).automatic = true;
    changed(false);
}

int ChartView::addSeries(const QString& name, const QColor& color, qreal width) {
    m_series.push_back({name, color, {}, width});
    changed(true);
    return int(m_series.size()) - 1;
}

void ChartView::addPoint(int series, double x, double y) {
    if (series < 0 || size_t(series) >= m_series.size()) return;
    m_series[size_t(series)].points.emplace_back(x, y);
    changed(false);
}

const ChartLayout& ChartView::layout() const {
    // A hidden control gets its resize event only when shown: the size is
    // compared here as well.
    if (m_layoutDirty || m_layoutSize != size()) {
        m_layoutSize = size();
        m_legend.clear();
        for (const auto& one : m_series) m_legend.addEntry(one.name, one.color);
        const LegendPosition side = m_options.legendPosition;
        const int maxName = std::max(60, width() / 4);
        const int maxWidth = width() / 2 - 20;
        m_layout = ChartLayout::compute(rect(), m_options, [&](int room) {
            return m_legend.arrange(m_font, side, room, maxName, maxWidth);
        });
        m_layoutDirty = false;
    }
    return m_layout;
}

void ChartView::scaleAutomaticAxes(ChartAxis& h, ChartAxis& v) const {
    double largestX = 0, largestY = 0;
    for (const auto& one : m_series) {
        for (const auto& p : one.points) {
            if (std::isfinite(p.x())) largestX = std::max(largestX, p.x());
            if (std::isfinite(p.y())) largestY = std::max(largestY, p.y());
        }
    }
    auto apply = [](ChartAxis& axis, const graphs::ChartRange& range) {
        axis.minimum = range.minimum;
        axis.maximum = range.maximum;
        axis.minorStep = range.minorStep;
        axis.majorStep = range.majorStep;
    };
    if (h.automatic) apply(h, graphs::autoRange(largestX, true));
    if (v.automatic) apply(v, graphs::autoRange(largestY, false));
}

void ChartView::render(QPainter& painter) const {
    const ChartLayout& parts = layout();
    painter.fillRect(rect(), Qt::white);
    if (m_options.framed) {
        // A sunken 2-pixel frame.
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
    painter.setPen(Qt::black);
    if (!parts.title.isEmpty()) {
        painter.setFont(m_titleFont);
        painter.drawText(
            parts.title, Qt::AlignCenter,
            painter.fontMetrics().elidedText(m_title, Qt::ElideRight, parts.title.width() - 8));
    }
    if (!parts.footer.isEmpty()) {
        painter.setFont(m_font);
        painter.drawText(
            parts.footer, Qt::AlignCenter,
            painter.fontMetrics().elidedText(m_footer, Qt::ElideRight, parts.footer.width() - 8));
    }
    if (!parts.legend.isEmpty()) {
        painter.save();
        painter.setClipRect(parts.legend);
        m_legend.paint(painter, parts.legend.topLeft() + QPoint(10, 10));
        painter.restore();
    }
    ChartAxis h = m_h, v = m_v;
    scaleAutomaticAxes(h, v);
    m_plot.paint(painter, parts.plot, h, v, m_series, m_font);
}

void ChartView::ensureCanvas() const {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (!m_canvasDirty && m_canvas.size() == pixels) return;
    m_canvas = QImage(pixels.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    m_canvas.setDevicePixelRatio(ratio);
    QPainter painter(&m_canvas);
    render(painter);
    m_canvasDirty = false;
}

QRect ChartView::dataRect() const {
    ensureCanvas();
    return m_plot.dataRect();
}

int ChartView::stepsThatFit(Axis axis, const QString& widestLabel) const {
    const QFontMetrics metrics(m_font);
    if (axis == kVerticalAxis)
        return int(dataRect().height() / (metrics.height() * ChartPlot::kLabelLines));
    return dataRect().width() / (metrics.horizontalAdvance(widestLabel) + 2 * ChartPlot::kLabelGap);
}

std::vector<ChartTickLabel> ChartView::tickLabels(Axis axis) const {
    ensureCanvas();
    std::vector<ChartTickLabel> labels;
    for (const ChartTickLabel& one : m_plot.tickLabels())
        if (one.vertical == (axis == kVerticalAxis)) labels.push_back(one);
    return labels;
}

QPointF ChartView::pointPosition(int series, int index) const {
    ensureCanvas();
    if (series < 0 || size_t(series) >= m_series.size()) return {};
    const auto& points = m_series[size_t(series)].points;
    if (index < 0 || size_t(index) >= points.size()) return {};
    return m_plot.map(points[size_t(index)]);
}

QImage ChartView::picture() const {
    ensureCanvas();
    return m_canvas;
}

Status ChartView::savePicture(const QString& path) const {
    const auto failed = [](const QString& why) {
        return Status(StatusCode::kIo, why.toStdString());
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return failed(file.errorString());
    QImageWriter writer(&file, "png");
    if (!writer.write(picture())) {
        const QString why = writer.errorString();
        file.cancelWriting();
        return failed(why);
    }
    if (!file.commit()) return failed(file.errorString());
    return Status::ok();
}

QString ChartView::pointTipText(int, double x, double y) const {
    return QString::asprintf("(%.0f, %.2f)", x, y);
}

bool ChartView::tipVisible() const {
    return m_tip->isVisible();
}
QString ChartView::tipText() const {
    return m_tip->text();
}
QRect ChartView::tipGeometry() const {
    return m_tip->geometry();
}

void ChartView::paintEvent(QPaintEvent*) {
    ensureCanvas();
    QPainter painter(this);
    painter.drawImage(0, 0, m_canvas);
}

void ChartView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    changed(true);
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    updateTip(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void ChartView::leaveEvent(QEvent* event) {
    hideTip();
    QWidget::leaveEvent(event);
}

void ChartView::hideTip() {
    m_tipHit.reset();
    if (m_tip) m_tip->hide();
}

void ChartView::updateTip(const QPoint& pos) {
    ensureCanvas();
    const auto hit = m_plot.hitTest(pos, kHitRadius);
    if (!hit) {
        hideTip();
        return;
    }
    if (m_tipHit && m_tipHit->series == hit->series && m_tipHit->point == hit->point) return;
    m_tipHit = hit;
    const QPointF& data = m_series[size_t(hit->series)].points[size_t(hit->point)];
    m_tip->setText(pointTipText(hit->series, data.x(), data.y()));
    m_tip->adjustSize();
    const int half = ChartPlot::kMarkerHalf;
    const QPoint centre = hit->position.toPoint();
    const QRect marker(centre - QPoint(half, half), QSize(2 * half + 1, 2 * half + 1));
    m_tip->setGeometry(
        ChartTip::place(marker, m_tip->size(), TipAlignment::kTopRight, layout().plot));
    m_tip->show();
    m_tip->raise();
}

void ChartView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(tr("Save Chart &As..."), this, &ChartView::saveAs);
    menu.exec(event->globalPos());
}

void ChartView::saveAs() {
    QString path = QFileDialog::getSaveFileName(this, tr("Save Chart"), QStringLiteral("chart.png"),
                                                tr("PNG Images (*.png)"));
    if (path.isEmpty()) return;
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) path += QStringLiteral(".png");
    if (const Status saved = savePicture(path); !saved)
        QMessageBox::warning(this, tr("Save Chart"),
                             tr("The chart could not be saved to %1: %2")
                                 .arg(path, QString::fromStdString(saved.message())));
}

}  // namespace velk::results
