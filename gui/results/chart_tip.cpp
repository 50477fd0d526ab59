#include "gui/results/chart_tip.h"

#include <algorithm>

namespace velk::results {

ChartTip::ChartTip(QWidget* parent) : QLabel(parent) {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(255, 255, 198));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    QFont tipFont(QStringLiteral("Arial"), 10);
    tipFont.setStyleHint(QFont::SansSerif);
    setFont(tipFont);
    setFrameShape(QFrame::Box);
    setMargin(3);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

QRect ChartTip::place(const QRect& pointBox, const QSize& tipSize, TipAlignment alignment,
                      const QRect& area) {
    QRect tip(QPoint(0, 0), tipSize);
    switch (alignment) {
        case TipAlignment::kTopLeft:
            tip.moveBottomRight(pointBox.topLeft() - QPoint(1, 1));
            break;
        case TipAlignment::kTopRight:
            tip.moveBottomLeft(pointBox.topRight() + QPoint(1, -1));
            break;
        case TipAlignment::kBottomLeft:
            tip.moveTopRight(pointBox.bottomLeft() + QPoint(-1, 1));
            break;
        case TipAlignment::kBottomRight:
            tip.moveTopLeft(pointBox.bottomRight() + QPoint(1, 1));
            break;
        case TipAlignment::kCentre:
            tip.moveCenter(pointBox.center());
            break;
    }
    // Inside the area with the margin; the left and top edges win when the
    // tip is wider or higher than the room.
    const int right = area.x() + area.width() - kMargin;
    const int bottom = area.y() + area.height() - kMargin;
    if (tip.x() + tip.width() > right) tip.moveLeft(right - tip.width());
    if (tip.y() + tip.height() > bottom) tip.moveTop(bottom - tip.height());
    tip.moveLeft(std::max(tip.x(), area.x() + kMargin));
    tip.moveTop(std::max(tip.y(), area.y() + kMargin));
    return tip;
}

}  // namespace velk::results
