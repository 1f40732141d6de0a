#include "ui/schematic/SchematicPicture.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace SchematicPicture {
namespace {

// Places in picture pixels; the texts of the overview sit beside them (values of the mains side left of
// the feeder, filter currents above the filter's connection, the filter's state in the display).
constexpr double kBusbarY = 78, kBusbarLeft = 40, kBusbarRight = 760;
constexpr double kFeederX = 395;
constexpr double kJunctionY = 440;
constexpr double kDriveTop = 615, kDriveBottom = 705;
constexpr double kCabinetLeft = 820, kCabinetRight = 1180, kCabinetTop = 195, kCabinetBottom = 640;
constexpr double kDisplayLeft = 1292, kDisplayRight = 1664, kDisplayTop = 48, kDisplayBottom = 792;
constexpr double kMainsCtY = 383, kLoadCtY = 543;

const QColor kConductor(0x30, 0x30, 0x30);
const QColor kFilterPath(0x1F, 0x5F, 0xA8);
const QColor kFrame(0x5A, 0x6B, 0x80);
const QColor kCabinetFill(0xEE, 0xF2, 0xF7);
const QColor kTransformer(0xD9, 0x82, 0x2B);

QPen Pen(const QColor& c, double width) {
    return QPen(c, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

void Label(QPainter& p, const QRectF& box, const QString& text, double pixelSize, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(static_cast<int>(pixelSize));
    font.setBold(bold);
    p.setFont(font);
    p.drawText(box, Qt::AlignCenter, text);
}

// A converter: a box split by its diagonal, "~" on the AC side, "=" on the DC side.
void Converter(QPainter& p, const QRectF& box, bool acTopLeft) {
    p.setPen(Pen(kConductor, 3));
    p.setBrush(Qt::white);
    p.drawRect(box);
    p.drawLine(box.bottomLeft(), box.topRight());
    const QRectF topLeft(box.left() + 6, box.top() + 4, box.width() / 2 - 6, box.height() / 2 - 4);
    const QRectF bottomRight(box.center().x(), box.center().y(), box.width() / 2 - 6, box.height() / 2 - 4);
    Label(p, topLeft, acTopLeft ? "~" : "=", box.height() * 0.36, true);
    Label(p, bottomRight, acTopLeft ? "=" : "~", box.height() * 0.36, true);
}

// The filter's line reactor: four half turns along a horizontal conductor.
void Reactor(QPainter& p, double left, double y, double width) {
    QPainterPath coil(QPointF(left, y));
    const double turn = width / 4;
    for (int i = 0; i < 4; ++i)
        coil.arcTo(QRectF(left + i * turn, y - turn / 2, turn, turn), 180, -180);
    p.setBrush(Qt::NoBrush);
    p.drawPath(coil);
}

// A distorted current and the sine the filter makes of it: what the cabinet is for.
void Waveforms(QPainter& p, const QRectF& box) {
    p.setPen(Pen(kFrame, 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(box, 8, 8);
    auto wave = [&](double fifth, double seventh, const QColor& colour, double dy) {
        QPainterPath path;
        const int steps = 120;
        for (int i = 0; i <= steps; ++i) {
            const double t = 4 * M_PI * i / steps;
            const double v = std::sin(t) + fifth * std::sin(5 * t) + seventh * std::sin(7 * t);
            const QPointF pt(box.left() + 16 + (box.width() - 32) * i / steps,
                             box.center().y() + dy - v * box.height() * 0.2);
            i == 0 ? path.moveTo(pt) : path.lineTo(pt);
        }
        p.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    };
    wave(0.28, 0.16, QColor(0xC6, 0x28, 0x28), -box.height() * 0.05);
    wave(0, 0, QColor(0x2E, 0x7D, 0x32), box.height() * 0.05);
}

} // namespace

void Draw(QPainter& p) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Supply transformer feeding the busbar.
    p.setPen(Pen(kConductor, 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(680, 24), 14, 14);
    p.drawEllipse(QPointF(680, 44), 14, 14);
    p.drawLine(QPointF(680, 58), QPointF(680, kBusbarY));

    // Mains busbar and the feeder down to the load, three phases marked by the ticks.
    p.setPen(Pen(kConductor, 8));
    p.drawLine(QPointF(kBusbarLeft, kBusbarY), QPointF(kBusbarRight, kBusbarY));
    p.setPen(Pen(kConductor, 4));
    p.drawLine(QPointF(kFeederX, kBusbarY), QPointF(kFeederX, kDriveTop));
    p.setPen(Pen(kConductor, 2.5));
    for (int i = -1; i <= 1; ++i)
        p.drawLine(QPointF(kFeederX - 9, 128 + 9 * i + 6), QPointF(kFeederX + 9, 128 + 9 * i - 6));

    // The load: a drive (rectifier) and its motor.
    Converter(p, QRectF(kFeederX - 50, kDriveTop, 100, kDriveBottom - kDriveTop), true);
    const double driveY = (kDriveTop + kDriveBottom) / 2;
    p.setPen(Pen(kConductor, 4));
    p.drawLine(QPointF(kFeederX + 50, driveY), QPointF(kFeederX + 110, driveY));
    p.setPen(Pen(kConductor, 3));
    p.setBrush(Qt::white);
    const QPointF motor(kFeederX + 148, driveY);
    p.drawEllipse(motor, 38, 38);
    Label(p, QRectF(motor.x() - 30, motor.y() - 30, 60, 34), "M", 30, true);
    Label(p, QRectF(motor.x() - 30, motor.y() + 2, 60, 24), "3~", 18);

    // The filter's connection: from the feeder to the cabinet, the compensating current's path.
    p.setPen(Pen(kFilterPath, 5));
    p.drawLine(QPointF(kFeederX, kJunctionY), QPointF(kCabinetLeft + 30, kJunctionY));
    QPainterPath arrow; // the compensating current flows towards the feeder
    arrow.moveTo(770, kJunctionY);
    arrow.lineTo(792, kJunctionY - 10);
    arrow.lineTo(792, kJunctionY + 10);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kFilterPath);
    p.drawPath(arrow);
    p.setBrush(kConductor);
    p.drawEllipse(QPointF(kFeederX, kJunctionY), 8, 8);

    // The filter cabinet.
    p.setPen(Pen(kFrame, 3));
    p.setBrush(kCabinetFill);
    p.drawRoundedRect(
        QRectF(kCabinetLeft, kCabinetTop, kCabinetRight - kCabinetLeft, kCabinetBottom - kCabinetTop), 10,
        10);
    p.setBrush(kFrame);
    p.drawRect(QRectF(kCabinetLeft + 20, kCabinetBottom, 40, 10));
    p.drawRect(QRectF(kCabinetRight - 60, kCabinetBottom, 40, 10));
    Waveforms(p, QRectF(870, 230, 260, 110));

    // Inside: reactor, converter (IGBT bridge), DC link capacitor.
    p.setPen(Pen(kFilterPath, 4));
    Reactor(p, kCabinetLeft + 30, kJunctionY, 90);
    p.drawLine(QPointF(kCabinetLeft + 120, kJunctionY), QPointF(960, kJunctionY));
    Converter(p, QRectF(960, 385, 110, 110), true);
    p.setPen(Pen(kConductor, 3));
    p.drawLine(QPointF(1070, 410), QPointF(1125, 410));
    p.drawLine(QPointF(1070, 470), QPointF(1125, 470));
    p.drawLine(QPointF(1125, 410), QPointF(1125, 432));
    p.drawLine(QPointF(1125, 448), QPointF(1125, 470));
    p.setPen(Pen(kConductor, 5));
    p.drawLine(QPointF(1105, 432), QPointF(1145, 432));
    p.drawLine(QPointF(1105, 448), QPointF(1145, 448));
    p.setPen(Pen(kConductor, 2));
    Label(p, QRectF(1146, 408, 24, 24), "+", 20, true);

    // The filter's display, linked to the cabinet's control.
    p.setPen(QPen(kFrame, 2, Qt::DashLine));
    p.drawLine(QPointF(kCabinetRight, 285), QPointF(kDisplayLeft, 285));
    p.setPen(Pen(kFrame, 3));
    p.setBrush(Qt::white);
    p.drawRoundedRect(
        QRectF(kDisplayLeft, kDisplayTop, kDisplayRight - kDisplayLeft, kDisplayBottom - kDisplayTop), 12,
        12);
    p.restore();
}

void DrawCurrentTransformer(QPainter& p, bool mainsSide) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(kFeederX, mainsSide ? kMainsCtY : kLoadCtY);
    p.setPen(Pen(kTransformer, 4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 17, 17);
    // The secondary towards the values it measures.
    p.setPen(QPen(kTransformer, 2, Qt::DotLine));
    p.drawLine(QPointF(centre.x() - 17, centre.y()), QPointF(centre.x() - 42, centre.y()));
    p.restore();
}

} // namespace SchematicPicture
