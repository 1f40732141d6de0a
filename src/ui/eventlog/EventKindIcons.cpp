#include "ui/eventlog/EventKindIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quirel::ui {
namespace {

QPixmap Draw(EventKind kind, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    const QColor disc = kind == EventKind::Error    ? QColor(0xC6, 0x28, 0x28)
                        : kind == EventKind::Status ? QColor(0x2E, 0x7D, 0x32)
                                                    : QColor(0x15, 0x65, 0xC0);
    p.setPen(QPen(disc.darker(130), 0.8));
    p.setBrush(disc);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (kind) {
    case EventKind::Error:
        p.drawLine(QPointF(8, 4.2), QPointF(8, 9));
        p.drawPoint(QPointF(8, 11.8));
        break;
    case EventKind::Info:
        p.drawPoint(QPointF(8, 4.6));
        p.drawLine(QPointF(8, 7.4), QPointF(8, 11.8));
        break;
    case EventKind::Status: {
        QPainterPath tick;
        tick.moveTo(4.6, 8.3);
        tick.lineTo(7.0, 10.7);
        tick.lineTo(11.5, 5.6);
        p.drawPath(tick);
        break;
    }
    }
    return pixmap;
}

} // namespace

QIcon EventKindIcon(EventKind kind) {
    QIcon icon;
    icon.addPixmap(Draw(kind, 16));
    icon.addPixmap(Draw(kind, 32));
    return icon;
}

} // namespace quirel::ui
