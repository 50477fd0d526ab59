#include "gui/results/chart_plot.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "app/graphs/chart_scale.h"

namespace velk::results {

namespace {

constexpr size_t kMaxTicks = 400;
constexpr int kTickLength = 4;
constexpr int kGap = 6;
// Vertical tick labels stand this many text lines apart.
constexpr double kLabelRows = ChartPlot::kLabelLines;
const QColor kGridColor(225, 225, 225);
const QColor kAxisColor(60, 60, 60);

// Tick formats come from our own code, but a pattern that does not take
// exactly one double would read past the argument: such a pattern falls back
// to "%g".
QString formatTick(const QString& format, double value) {
    static const QRegularExpression kOneDouble(
        QStringLiteral("^[^%]*%[-+ 0#]*[0-9]{0,3}(\\.[0-9]{1,2})?[eEfgG][^%]*$"));
    const bool usable = kOneDouble.match(format).hasMatch();
    return QString::asprintf(usable ? format.toUtf8().constData() : "%g", value);
}

double usableSpan(double minimum, double maximum) {
    const double span = maximum - minimum;
    return std::isfinite(span) && span > 0 ? span : 1;
}

std::vector<double> ticksOf(const ChartAxis& axis) {
    return graphs::tickValues(axis.minimum, axis.minimum + usableSpan(axis.minimum, axis.maximum),
                              axis.majorStep, kMaxTicks);
}

// Which of `count` ticks `spacing` pixels apart get a label: every first,
// second, fifth ... tick, so that labels stand `comfortable` pixels apart at
// even steps.  Where that leaves two labels or one, the last tick (the top
// of the axis) is labelled instead of the second, or beside the first if the
// two stand `minimum` pixels apart (else alone): a small chart still shows
// its scale, never the start alone.
std::vector<size_t> labelledTicks(size_t count, double spacing, double comfortable,
                                  double minimum) {
    std::vector<size_t> chosen;
    if (count == 0) return chosen;
    size_t every = kMaxTicks;
    static constexpr size_t kSteps[] = {1, 2, 4, 5, 10, 20, 25, 50, 100, 200, 250, 500};
    if (!(spacing > 0)) every = 1;
    for (size_t step : kSteps)
        if (every == kMaxTicks && spacing * double(step) >= comfortable) every = step;
    for (size_t i = 0; i < count; i += every) chosen.push_back(i);
    const size_t last = count - 1;
    if (chosen.back() == last || chosen.size() > 2) return chosen;
    if (chosen.size() == 2)
        chosen.back() = last;
    else if (double(last) * spacing >= minimum)
        chosen.push_back(last);
    else
        chosen = {last};
    return chosen;
}

}  // namespace

QRect ChartPlot::dataRectFor(const QRect& area, const ChartAxis& h, const ChartAxis& v,
                             const QFont& font) const {
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    int widestY = 0;
    for (double tick : ticksOf(v))
        widestY = std::max(widestY, metrics.horizontalAdvance(formatTick(v.format, tick)));
    int widestX = 0;
    for (double tick : ticksOf(h))
        widestX = std::max(widestX, metrics.horizontalAdvance(formatTick(h.format, tick)));
    const int left = kGap + (v.title.isEmpty() ? 0 : line + kGap) + widestY + kGap + kTickLength;
    const int bottom = kTickLength + kGap / 2 + line + (h.title.isEmpty() ? 0 : kGap + line) + kGap;
    const int top = line / 2 + kGap;
    const int right = std::max(2 * kGap, widestX / 2 + kGap);
    QRect rect = area.adjusted(left, top, -right, -bottom);
    if (rect.width() < 1) rect.setWidth(1);
    if (rect.height() < 1) rect.setHeight(1);
    return rect;
}

QPointF ChartPlot::map(const QPointF& point) const {
    const QRectF r(m_dataRect);
    return {r.left() + (point.x() - m_xMin) / m_xSpan * r.width(),
            r.bottom() - (point.y() - m_yMin) / m_ySpan * r.height()};
}

void ChartPlot::paint(QPainter& painter, const QRect& area, const ChartAxis& horizontal,
                      const ChartAxis& vertical, const std::vector<ChartSeries>& series,
                      const QFont& font) {
    m_dataRect = dataRectFor(area, horizontal, vertical, font);
    m_xMin = std::isfinite(horizontal.minimum) ? horizontal.minimum : 0;
    m_xSpan = usableSpan(horizontal.minimum, horizontal.maximum);
    m_yMin = std::isfinite(vertical.minimum) ? vertical.minimum : 0;
    m_ySpan = usableSpan(vertical.minimum, vertical.maximum);
    m_labels.clear();
    painter.save();
    painter.setFont(font);
    paintHorizontal(painter, horizontal, area);
    paintVertical(painter, vertical, area);
    paintMinorTicks(painter, horizontal, vertical);
    painter.setPen(QPen(kAxisColor, 1));
    painter.drawLine(m_dataRect.bottomLeft(), m_dataRect.bottomRight());
    painter.drawLine(m_dataRect.bottomLeft(), m_dataRect.topLeft());
    paintSeries(painter, series);
    painter.restore();
}

void ChartPlot::paintHorizontal(QPainter& painter, const ChartAxis& axis, const QRect& area) {
    const QFontMetrics metrics(painter.font());
    const auto ticks = ticksOf(axis);
    int widest = 0;
    for (double tick : ticks)
        widest = std::max(widest, metrics.horizontalAdvance(formatTick(axis.format, tick)));
    const double spacing =
        ticks.size() > 1 ? map({ticks[1], 0}).x() - map({ticks[0], 0}).x() : m_dataRect.width();
    const auto labelled =
        labelledTicks(ticks.size(), spacing, widest + 2 * kLabelGap, widest + kLabelGap);
    const int labelTop = m_dataRect.bottom() + kTickLength + kGap / 2;
    auto next = labelled.begin();
    for (size_t i = 0; i < ticks.size(); ++i) {
        const int x = int(std::lround(map({ticks[i], 0}).x()));
        const bool label = next != labelled.end() && *next == i;
        if (spacing >= 3 || label) {
            painter.setPen(kAxisColor);
            painter.drawLine(x, m_dataRect.bottom(), x, m_dataRect.bottom() + kTickLength);
        }
        if (!label) continue;
        ++next;
        if (i > 0) {
            painter.setPen(kGridColor);
            painter.drawLine(x, m_dataRect.top(), x, m_dataRect.bottom() - 1);
        }
        painter.setPen(Qt::black);
        const QRect box(x - widest, labelTop, 2 * widest, metrics.height());
        const QString text = formatTick(axis.format, ticks[i]);
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, text);
        m_labels.push_back({false, ticks[i], text, box});
    }
    if (!axis.title.isEmpty()) {
        const QRect box(m_dataRect.left(), labelTop + metrics.height() + kGap, m_dataRect.width(),
                        metrics.height());
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop,
                         metrics.elidedText(axis.title, Qt::ElideRight, area.width()));
    }
}

void ChartPlot::paintVertical(QPainter& painter, const ChartAxis& axis, const QRect& area) {
    const QFontMetrics metrics(painter.font());
    const auto ticks = ticksOf(axis);
    const double spacing =
        ticks.size() > 1 ? map({0, ticks[0]}).y() - map({0, ticks[1]}).y() : m_dataRect.height();
    const auto labelled =
        labelledTicks(ticks.size(), spacing, kLabelRows * metrics.height(), metrics.height() + 2);
    const int labelRight = m_dataRect.left() - kTickLength - kGap / 2;
    auto next = labelled.begin();
    for (size_t i = 0; i < ticks.size(); ++i) {
        const int y = int(std::lround(map({0, ticks[i]}).y()));
        const bool label = next != labelled.end() && *next == i;
        if (spacing >= 3 || label) {
            painter.setPen(kAxisColor);
            painter.drawLine(m_dataRect.left() - kTickLength, y, m_dataRect.left(), y);
        }
        if (!label) continue;
        ++next;
        if (i > 0) {
            painter.setPen(kGridColor);
            painter.drawLine(m_dataRect.left() + 1, y, m_dataRect.right(), y);
        }
        painter.setPen(Qt::black);
        const QRect box(area.left(), y - metrics.height() / 2, labelRight - area.left(),
                        metrics.height());
        const QString text = formatTick(axis.format, ticks[i]);
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, text);
        m_labels.push_back({true, ticks[i], text, box});
    }
    if (!axis.title.isEmpty()) {
        painter.save();
        painter.setPen(Qt::black);
        const int x = area.left() + kGap;
        const int centre = m_dataRect.center().y();
        painter.translate(x, centre);
        painter.rotate(-90);
        const int length = std::max(m_dataRect.height(), 1) + m_dataRect.top() - area.top();
        const QString text = metrics.elidedText(axis.title, Qt::ElideRight, area.height());
        painter.drawText(QRect(-length, 0, 2 * length, metrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop, text);
        painter.restore();
    }
}

void ChartPlot::paintMinorTicks(QPainter& painter, const ChartAxis& h, const ChartAxis& v) const {
    // Short marks between the major ticks, only where they stay apart.
    constexpr int kMinorLength = 2;
    painter.setPen(kAxisColor);
    auto minorTicks = [](const ChartAxis& axis) {
        if (!(axis.minorStep > 0) || !(axis.minorStep < axis.majorStep))
            return std::vector<double>{};
        return graphs::tickValues(axis.minimum,
                                  axis.minimum + usableSpan(axis.minimum, axis.maximum),
                                  axis.minorStep, kMaxTicks);
    };
    const auto xs = minorTicks(h);
    if (xs.size() > 1 && map({xs[1], 0}).x() - map({xs[0], 0}).x() >= 3)
        for (double x : xs) {
            const int at = int(std::lround(map({x, 0}).x()));
            painter.drawLine(at, m_dataRect.bottom(), at, m_dataRect.bottom() + kMinorLength);
        }
    const auto ys = minorTicks(v);
    if (ys.size() > 1 && map({0, ys[0]}).y() - map({0, ys[1]}).y() >= 3)
        for (double y : ys) {
            const int at = int(std::lround(map({0, y}).y()));
            painter.drawLine(m_dataRect.left() - kMinorLength, at, m_dataRect.left(), at);
        }
}

void ChartPlot::paintSeries(QPainter& painter, const std::vector<ChartSeries>& series) {
    m_positions.assign(series.size(), {});
    painter.save();
    painter.setClipRect(
        m_dataRect.adjusted(-kMarkerHalf, -kMarkerHalf, kMarkerHalf + 1, kMarkerHalf + 1));
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (size_t s = 0; s < series.size(); ++s) {
        const ChartSeries& one = series[s];
        auto& positions = m_positions[s];
        positions.reserve(one.points.size());
        QPolygonF line;
        for (const QPointF& point : one.points) {
            const QPointF at = map(point);
            positions.push_back(at);
            if (std::isfinite(at.x()) && std::isfinite(at.y())) line << at;
        }
        painter.setPen(QPen(one.color, one.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(line);
        // Markers where points lie far enough apart to be seen one by one.
        if (line.size() * 9 > m_dataRect.width()) continue;
        painter.setPen(Qt::NoPen);
        painter.setBrush(one.color);
        for (const QPointF& at : line)
            painter.drawRect(QRectF(at.x() - kMarkerHalf, at.y() - kMarkerHalf, 2 * kMarkerHalf + 1,
                                    2 * kMarkerHalf + 1));
        painter.setBrush(Qt::NoBrush);
    }
    painter.restore();
}

std::optional<ChartHit> ChartPlot::hitTest(const QPoint& pos, int radius) const {
    std::optional<ChartHit> best;
    double bestDistance = double(radius) * radius;
    const QRectF reach = QRectF(m_dataRect).adjusted(-radius, -radius, radius, radius);
    for (size_t s = 0; s < m_positions.size(); ++s) {
        for (size_t p = 0; p < m_positions[s].size(); ++p) {
            const QPointF at = m_positions[s][p];
            if (!reach.contains(at)) continue;
            const double dx = at.x() - pos.x(), dy = at.y() - pos.y();
            const double distance = dx * dx + dy * dy;
            if (distance <= bestDistance) {
                bestDistance = distance;
                best = ChartHit{int(s), int(p), at};
            }
        }
    }
    return best;
}

}  // namespace velk::results
