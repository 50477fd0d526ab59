#include "gui/results/chart_legend.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace velk::results {

namespace {
constexpr int kSampleWidth = 18;
constexpr int kSampleGap = 6;
constexpr int kEntryGap = 16;  // between entries side by side
}  // namespace

QSize ChartLegend::arrange(const QFont& font, LegendPosition position, int room, int maxNameWidth,
                           int maxWidth) {
    m_font = font;
    m_placed.clear();
    if (m_entries.empty()) return {};
    const QFontMetrics metrics(font);
    const int line = metrics.height() + 2;
    const bool side = position == LegendPosition::kLeft || position == LegendPosition::kRight;
    if (side) {
        const int rows = std::max(1, room / line);
        const int columns = (int(m_entries.size()) + rows - 1) / rows;
        const int perColumn = (maxWidth - (columns - 1) * kEntryGap) / columns;
        maxNameWidth = std::min(maxNameWidth, perColumn - kSampleWidth - kSampleGap);
    }
    std::vector<QString> names;
    int widest = 0;
    for (const auto& entry : m_entries) {
        names.push_back(
            metrics.elidedText(entry.name, Qt::ElideMiddle, std::max(maxNameWidth, 20)));
        widest = std::max(widest, metrics.horizontalAdvance(names.back()));
    }
    auto place = [&](int x, int y, const QString& name, int textWidth) {
        const int sampleY = y + line / 2;
        m_placed.push_back({QRect(x, sampleY - 2, kSampleWidth, 4),
                            QRect(x + kSampleWidth + kSampleGap, y, textWidth, line), name});
    };

    QSize size;
    if (side) {
        // Columns as high as the room; more columns when there are many.
        const int rows = std::max(1, room / line);
        const int columnWidth = kSampleWidth + kSampleGap + widest;
        for (size_t i = 0; i < names.size(); ++i) {
            const int column = int(i) / rows, row = int(i) % rows;
            place(column * (columnWidth + kEntryGap), row * line, names[i], widest);
        }
        const int columns = (int(names.size()) + rows - 1) / rows;
        const int usedRows = std::min(rows, int(names.size()));
        size = QSize(columns * columnWidth + (columns - 1) * kEntryGap, usedRows * line);
    } else {
        // Rows as wide as the room; an entry that does not fit starts a row.
        int x = 0, y = 0, widestRow = 0;
        for (const auto& name : names) {
            const int width = kSampleWidth + kSampleGap + metrics.horizontalAdvance(name);
            if (x > 0 && x + width > room) {
                x = 0;
                y += line;
            }
            place(x, y, name, width - kSampleWidth - kSampleGap);
            widestRow = std::max(widestRow, x + width);
            x += width + kEntryGap;
        }
        size = QSize(widestRow, y + line);
    }
    return size;
}

void ChartLegend::paint(QPainter& painter, const QPoint& origin) const {
    painter.save();
    painter.setFont(m_font);
    painter.translate(origin);
    for (size_t i = 0; i < m_placed.size() && i < m_entries.size(); ++i) {
        const Placed& placed = m_placed[i];
        painter.fillRect(placed.sample, m_entries[i].color);
        painter.setPen(Qt::black);
        painter.drawText(placed.text, Qt::AlignLeft | Qt::AlignVCenter, placed.shownName);
    }
    painter.restore();
}

}  // namespace velk::results
