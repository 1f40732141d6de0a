#pragma once

#include <qcustomplot.h>

#include <functional>

// A part of the chart drawn once into a picture and copied while what it shows stays the same. Text is
// laid out anew for every drawing, which for the legend and the information panel costs more than all
// the lines of the chart. Printouts and exported pictures (vector or uncached painters) get the part
// drawn itself.
class CChartPicture {
public:
    // Draws within `area` (in the coordinates of `painter`): `paint` draws the part as onto `painter`, and
    // runs again only when `same` is false or the painter differs from the one of the last picture.
    void Draw(QCPPainter* painter, const QRect& area, bool same,
              const std::function<void(QCPPainter*)>& paint);

private:
    QPixmap m_picture;
    QSize m_size;
    qreal m_ratio = 0;
    QPainter::RenderHints m_hints;
};
