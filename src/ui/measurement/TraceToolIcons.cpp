#include "ui/measurement/TraceToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace TraceToolIcons {
namespace {

constexpr int kSize = 32; // drawn at twice the toolbar's size, so it stays sharp on dense screens

void Arrow(QPainter& p, double angle) {
    p.translate(16, 16);
    p.rotate(angle);
    QPainterPath path;
    path.moveTo(-9, 0);
    path.lineTo(3, -10);
    path.lineTo(3, -4);
    path.lineTo(10, -4);
    path.lineTo(10, 4);
    path.lineTo(3, 4);
    path.lineTo(3, 10);
    path.closeSubpath();
    p.setBrush(QColor(0x2F, 0x6F, 0xB5));
    p.setPen(QPen(QColor(0x1D, 0x45, 0x70), 1.5));
    p.drawPath(path);
}

void Magnifier(QPainter& p, bool plus) {
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 3));
    p.setBrush(QColor(0xE8, 0xF1, 0xFB));
    p.drawEllipse(QPointF(13, 13), 9, 9);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 20), QPointF(28, 28));
    p.setPen(QPen(QColor(0x2F, 0x6F, 0xB5), 2.5));
    p.drawLine(QPointF(8, 13), QPointF(18, 13));
    if (plus)
        p.drawLine(QPointF(13, 8), QPointF(13, 18));
}

} // namespace

QIcon Icon(Kind kind) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x40, 0x40, 0x40);
    switch (kind) {
    case kOpen:
        p.setPen(QPen(QColor(0x9A, 0x74, 0x1E), 1.5));
        p.setBrush(QColor(0xF2, 0xC9, 0x4C));
        p.drawRect(QRectF(3, 8, 26, 19));
        p.drawRect(QRectF(3, 5, 10, 4));
        break;
    case kSave:
        p.setPen(QPen(ink, 1.5));
        p.setBrush(QColor(0x3B, 0x6E, 0xA8));
        p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 4, 14, 9));
        p.setBrush(QColor(0xD0, 0xD0, 0xD0));
        p.drawRect(QRectF(8, 18, 16, 10));
        break;
    case kPrint:
        p.setPen(QPen(ink, 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 3, 14, 10));
        p.setBrush(QColor(0x90, 0x90, 0x90));
        p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 20, 14, 9));
        break;
    case kAbout:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2F, 0x6F, 0xB5));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawPoint(QPointF(16, 9.5));
        p.drawLine(QPointF(16, 14), QPointF(16, 23));
        break;
    case kConfigure:
        p.setPen(QPen(ink, 2));
        for (int row = 0; row < 3; ++row) {
            const double y = 8 + row * 8;
            p.drawLine(QPointF(4, y), QPointF(28, y));
            p.setBrush(QColor(0x2F, 0x6F, 0xB5));
            p.drawRect(QRectF(row == 1 ? 18 : 8 + row * 2, y - 3, 5, 6));
        }
        break;
    case kStart: {
        QPainterPath path;
        path.moveTo(8, 4);
        path.lineTo(27, 16);
        path.lineTo(8, 28);
        path.closeSubpath();
        p.setPen(QPen(QColor(0x1E, 0x6B, 0x2E), 1.5));
        p.setBrush(QColor(0x34, 0xA8, 0x53));
        p.drawPath(path);
        break;
    }
    case kCancel:
        p.setPen(QPen(QColor(0x8A, 0x1C, 0x1C), 1.5));
        p.setBrush(QColor(0xD9, 0x3B, 0x3B));
        p.drawRoundedRect(QRectF(6, 6, 20, 20), 2, 2);
        break;
    case kLeft:
        Arrow(p, 0);
        break;
    case kRight:
        Arrow(p, 180);
        break;
    case kUp:
        Arrow(p, 90);
        break;
    case kDown:
        Arrow(p, 270);
        break;
    case kZoomIn:
    case kZoomOut:
        Magnifier(p, kind == kZoomIn);
        break;
    case kFull:
        p.setPen(QPen(QColor(0x2F, 0x6F, 0xB5), 3, Qt::SolidLine, Qt::SquareCap));
        for (const QPointF& c : {QPointF(4, 4), QPointF(28, 4), QPointF(28, 28), QPointF(4, 28)}) {
            const double sx = c.x() < 16 ? 1 : -1, sy = c.y() < 16 ? 1 : -1;
            p.drawLine(c, c + QPointF(8 * sx, 0));
            p.drawLine(c, c + QPointF(0, 8 * sy));
        }
        p.setPen(QPen(ink, 1.5));
        p.drawPolyline(QPolygonF({QPointF(9, 20), QPointF(13, 12), QPointF(18, 18), QPointF(23, 10)}));
        break;
    }
    p.end();
    return QIcon(pixmap);
}

} // namespace TraceToolIcons
