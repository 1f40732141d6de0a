#include "ui/schematic/SchematicCanvas.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {

QFont MakeFont(SchematicFont which) {
    const SchematicFontSpec spec = FontSpec(which);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setFamilies(
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(spec.weight >= 700 ? QFont::Bold : QFont::Normal);
    // Scale the em so that ascent plus descent fill the cell height the spec gives.
    constexpr int kProbe = 100;
    font.setPixelSize(kProbe);
    const double cell = QFontMetricsF(font).ascent() + QFontMetricsF(font).descent();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(spec.height * kProbe / cell))));
    font.setHintingPreference(QFont::PreferNoHinting); // drawn scaled: keep the outlines' own widths
    return font;
}

} // namespace

QFont CSchematicCanvas::Font(SchematicFont which) {
    // Made once: the overview writes some fifty texts per paint.
    static const QFont fonts[3] = {MakeFont(SchematicFont::Headline), MakeFont(SchematicFont::Value),
                                   MakeFont(SchematicFont::Label)};
    return fonts[static_cast<int>(which)];
}

void CSchematicCanvas::DrawText(SchematicFont which, int x, int y, int align, const std::string& text,
                                bool value) {
    if (text.empty())
        return;
    const QFont font = Font(which);
    const QFontMetricsF metrics(font);
    const QString s = QString::fromStdString(text);
    const double width = metrics.horizontalAdvance(s);
    const double left = align == kAlignCentreTop ? x - width / 2 : x;
    const QRectF box(left, y, width, metrics.ascent() + metrics.descent());
    m_painter.fillRect(box, Qt::white);
    m_painter.setFont(font);
    m_painter.setPen(value && !m_live ? QColor(0x8A, 0x8A, 0x8A) : QColor(Qt::black));
    m_painter.drawText(QPointF(left, y + metrics.ascent()), s);
}
