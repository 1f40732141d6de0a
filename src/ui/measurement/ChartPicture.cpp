#include "ui/measurement/ChartPicture.h"

void CChartPicture::Draw(QCPPainter* painter, const QRect& area, bool same,
                         const std::function<void(QCPPainter*)>& paint) {
    // QCPPainter shifts by half a pixel while it antialiases; any other transformation draws directly.
    const double shift = painter->antialiasing() ? 0.5 : 0.0;
    const QTransform& t = painter->transform();
    if (painter->modes().testFlag(QCPPainter::pmVectorized) ||
        painter->modes().testFlag(QCPPainter::pmNoCaching) || t.type() > QTransform::TxTranslate ||
        t.dx() != shift || t.dy() != shift) {
        paint(painter);
        return;
    }
    const qreal ratio = painter->device()->devicePixelRatioF();
    if (!same || m_picture.isNull() || area.size() != m_size || ratio != m_ratio ||
        painter->renderHints() != m_hints) {
        if (m_picture.isNull() || area.size() != m_size || ratio != m_ratio) {
            m_picture = QPixmap(area.size() * ratio);
            m_picture.setDevicePixelRatio(ratio);
        }
        m_picture.fill(Qt::transparent);
        QCPPainter into(&m_picture);
        into.setModes(painter->modes());
        into.setRenderHints(painter->renderHints());
        into.setAntialiasing(painter->antialiasing());
        into.translate(-area.topLeft());
        paint(&into);
        into.end();
        m_size = area.size();
        m_ratio = ratio;
        m_hints = painter->renderHints();
    }
    // The picture holds the shift already.
    painter->save();
    painter->resetTransform();
    painter->drawPixmap(area.topLeft(), m_picture);
    painter->restore();
}
