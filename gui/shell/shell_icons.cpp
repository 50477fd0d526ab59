#include "gui/shell/shell_icons.h"

#include <QPainter>
#include <QPainterPath>

namespace velk::shell {
namespace {

const QColor kInk(40, 52, 72);
const QColor kPaper(250, 250, 245);
const QColor kRed(204, 40, 40);
const QColor kGreen(40, 150, 60);
const QColor kBlue(40, 96, 190);
const QColor kAmber(230, 170, 40);

// Every picture is drawn on a 20 x 20 grid and scaled to its size.
void drawPage(QPainter& p, QRectF r) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 4, r.top());
    path.lineTo(r.right(), r.top() + 4);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.drawPath(path);
}

void drawLines(QPainter& p, QRectF r, int count) {
    p.setPen(QPen(kInk.lighter(170), 1));
    for (int i = 0; i < count; ++i) {
        const double y = r.top() + 4 + i * 2.5;
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2 - (i % 2) * 2, y));
    }
}

void drawFolder(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kAmber);
    QPainterPath path;
    path.moveTo(1.5, 5.5);
    path.lineTo(7, 5.5);
    path.lineTo(9, 7.5);
    path.lineTo(18.5, 7.5);
    path.lineTo(18.5, 17.5);
    path.lineTo(1.5, 17.5);
    path.closeSubpath();
    p.drawPath(path);
}

void drawDisk(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(2.5, 2.5, 15, 15), 1.5, 1.5);
    p.setBrush(kPaper);
    p.drawRect(QRectF(5.5, 2.5, 9, 6));
    p.setBrush(kInk);
    p.drawRect(QRectF(6.5, 12.5, 7, 5));
}

void drawBars(QPainter& p, QRectF r) {
    p.setPen(Qt::NoPen);
    const double w = r.width() / 4;
    const double heights[3] = {0.45, 0.8, 0.6};
    const QColor colors[3] = {kBlue, kGreen, kRed};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(colors[i]);
        const double h = r.height() * heights[i];
        p.drawRect(QRectF(r.left() + w * 0.5 + i * w * 1.1, r.bottom() - h, w * 0.9, h));
    }
}

void drawPlay(QPainter& p, QColor color) {
    p.setPen(QPen(color.darker(150), 1));
    p.setBrush(color);
    QPolygonF tri;
    tri << QPointF(5, 3) << QPointF(17, 10) << QPointF(5, 17);
    p.drawPolygon(tri);
}

void drawDot(QPainter& p) {
    p.setPen(QPen(kRed.darker(150), 1));
    p.setBrush(kRed);
    p.drawEllipse(QRectF(4, 4, 12, 12));
}

void drawSquare(QPainter& p, QColor color) {
    p.setPen(QPen(color.darker(150), 1));
    p.setBrush(color);
    p.drawRect(QRectF(5, 5, 10, 10));
}

void paintPage(QPainter& p, PageIcon icon) {
    switch (icon) {
        case PageIcon::kRecorder:  // a browser window with the recording dot
            p.setPen(QPen(kInk, 1));
            p.setBrush(kPaper);
            p.drawRect(QRectF(1.5, 3.5, 17, 13));
            p.setBrush(kBlue);
            p.drawRect(QRectF(1.5, 3.5, 17, 3));
            p.setPen(Qt::NoPen);
            p.setBrush(kRed);
            p.drawEllipse(QRectF(7, 8.5, 6.5, 6.5));
            break;
        case PageIcon::kEditor:  // a page with a pencil
            drawPage(p, QRectF(2.5, 1.5, 12, 16));
            drawLines(p, QRectF(2.5, 1.5, 12, 16), 4);
            p.setPen(QPen(kInk, 1));
            p.setBrush(kAmber);
            {
                QPolygonF pencil;
                pencil << QPointF(17, 6) << QPointF(19, 8) << QPointF(11, 16) << QPointF(8.5, 17)
                       << QPointF(9, 14);
                p.drawPolygon(pencil);
            }
            break;
        case PageIcon::kRunner:  // many users: three heads and a play mark
            p.setPen(Qt::NoPen);
            for (int i = 0; i < 3; ++i) {
                p.setBrush(kBlue.lighter(100 + i * 25));
                p.drawEllipse(QRectF(1 + i * 4, 3 + i * 1.5, 4.5, 4.5));
                p.drawRoundedRect(QRectF(0.5 + i * 4, 8 + i * 1.5, 5.5, 7), 2, 2);
            }
            p.setBrush(kGreen);
            {
                QPolygonF tri;
                tri << QPointF(13, 6) << QPointF(19.5, 10.5) << QPointF(13, 15);
                p.drawPolygon(tri);
            }
            break;
        case PageIcon::kReport:
            drawPage(p, QRectF(3.5, 1.5, 13, 17));
            drawLines(p, QRectF(3.5, 1.5, 13, 17), 5);
            break;
        case PageIcon::kGraphs:
            p.setPen(QPen(kInk, 1));
            p.drawLine(QPointF(2.5, 2), QPointF(2.5, 17.5));
            p.drawLine(QPointF(2.5, 17.5), QPointF(19, 17.5));
            drawBars(p, QRectF(3, 3, 16, 14));
            break;
        case PageIcon::kBatchGraphs:
            p.setPen(QPen(kInk, 1));
            p.drawLine(QPointF(2.5, 2), QPointF(2.5, 17.5));
            p.drawLine(QPointF(2.5, 17.5), QPointF(19, 17.5));
            p.setPen(QPen(kBlue, 1.5));
            p.drawPolyline(
                QPolygonF({QPointF(3, 15), QPointF(8, 11), QPointF(13, 12), QPointF(18, 5)}));
            p.setPen(QPen(kRed, 1.5));
            p.drawPolyline(
                QPolygonF({QPointF(3, 12), QPointF(8, 8), QPointF(13, 9), QPointF(18, 3)}));
            break;
    }
}

void paintTool(QPainter& p, ToolIcon icon) {
    switch (icon) {
        case ToolIcon::kNew:
            drawPage(p, QRectF(4.5, 2.5, 11, 15));
            break;
        case ToolIcon::kOpen:
            drawFolder(p);
            break;
        case ToolIcon::kSave:
            drawDisk(p);
            break;
        case ToolIcon::kOpenResults:
            drawFolder(p);
            drawBars(p, QRectF(6, 9, 12, 8));
            break;
        case ToolIcon::kSaveResults:
            drawDisk(p);
            drawBars(p, QRectF(9, 9, 11, 10));
            break;
        case ToolIcon::kStartRec:
            drawDot(p);
            break;
        case ToolIcon::kStopRec:
            drawSquare(p, kInk.lighter(130));
            break;
        case ToolIcon::kRunTest:
            drawPlay(p, kGreen);
            break;
        case ToolIcon::kStopTest:
            drawSquare(p, kRed);
            break;
        case ToolIcon::kHelp:
            p.setPen(QPen(kBlue.darker(130), 1));
            p.setBrush(kBlue);
            p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
            p.setPen(Qt::white);
            {
                QFont f = p.font();
                f.setPixelSize(14);
                f.setBold(true);
                p.setFont(f);
            }
            p.drawText(QRectF(1.5, 1.5, 17, 17), Qt::AlignCenter, QStringLiteral("?"));
            break;
    }
}

template <typename Paint>
QPixmap render(int width, int height, Paint paint) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width, height);
    p.translate((width - side) / 2, (height - side) / 2);
    p.scale(side / 20.0, side / 20.0);
    paint(p);
    return pixmap;
}

}  // namespace

QPixmap pageIcon(PageIcon icon, bool large) {
    if (large) return render(58, 48, [&](QPainter& p) { paintPage(p, icon); });
    return render(16, 16, [&](QPainter& p) { paintPage(p, icon); });
}

QIcon toolIcon(ToolIcon icon) {
    QIcon result;
    for (int size : {20, 40})
        result.addPixmap(render(size, size, [&](QPainter& p) { paintTool(p, icon); }));
    return result;
}

QPixmap tipPicture() {
    return render(48, 48, [](QPainter& p) {
        p.setPen(QPen(kInk, 0.8));
        p.setBrush(QColor(255, 230, 90));
        p.drawEllipse(QRectF(4.5, 1.5, 11, 11));
        p.setBrush(QColor(180, 180, 180));
        p.drawRect(QRectF(7.5, 12.5, 5, 4));
        p.drawLine(QPointF(7.5, 14.5), QPointF(12.5, 14.5));
        p.drawLine(QPointF(8.5, 18), QPointF(11.5, 18));
    });
}

QPixmap emblemPicture() {
    return render(64, 64, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(1, 1, 18, 18), 3, 3);
        drawBars(p, QRectF(3, 5, 14, 12));
        p.setPen(QPen(Qt::white, 1.2));
        p.drawPolyline(
            QPolygonF({QPointF(3, 14), QPointF(7, 10), QPointF(11, 11), QPointF(17, 4)}));
    });
}

}  // namespace velk::shell
