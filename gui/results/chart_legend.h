#pragma once
// ChartLegend: one entry per series, in series order, each a colour sample
// and the series name.  A side legend stacks its entries in columns as high
// as its room allows; a top or bottom legend puts them in rows as wide as its
// room allows.  Very long names are shortened with an ellipsis so the legend
// leaves the plot its room.  User-interface thread only.
#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <vector>

#include "gui/results/chart_data.h"

class QPainter;

namespace velk::results {

class ChartLegend {
public:
    struct Entry {
        QString name;
        QColor color;
    };

    void clear() { m_entries.clear(); }
    void addEntry(const QString& name, const QColor& color) { m_entries.push_back({name, color}); }
    size_t count() const { return m_entries.size(); }
    const Entry& entry(size_t index) const { return m_entries[index]; }

    // Arranges the entries for the room (height for a side legend, width
    // otherwise) and returns the content's size; an empty legend is 0 x 0.
    // maxNameWidth caps a name's width in pixels; a side legend with many
    // columns shortens its names further to stay within maxWidth.
    QSize arrange(const QFont& font, LegendPosition position, int room, int maxNameWidth,
                  int maxWidth);
    // Draws the arranged entries with their content's top left at origin.
    void paint(QPainter& painter, const QPoint& origin) const;

private:
    struct Placed {
        QRect sample;
        QRect text;
        QString shownName;
    };

    std::vector<Entry> m_entries;
    std::vector<Placed> m_placed;
    QFont m_font;
};

}  // namespace velk::results
