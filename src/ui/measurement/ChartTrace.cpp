#include "ui/measurement/ChartTrace.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

// A pixel position as a line drawn without antialiasing rounds it; far outside stays far outside.
int Pixel(double v) {
    return std::isnan(v) ? 0 : qRound(std::clamp(v, -1e6, 1e6));
}

// Pixel positions along an axis as QCPAxis::coordToPixel computes them, the same expression inline for a
// plain linear axis: a redraw maps three points per pixel column of every line.
class AxisPixels {
public:
    explicit AxisPixels(const QCPAxis& axis)
        : m_axis(axis), m_plain(axis.scaleType() == QCPAxis::stLinear && !axis.rangeReversed()),
          m_vertical(axis.orientation() == Qt::Vertical), m_lower(axis.range().lower),
          m_size(axis.range().size()),
          m_length(m_vertical ? axis.axisRect()->height() : axis.axisRect()->width()),
          m_origin(m_vertical ? axis.axisRect()->bottom() : axis.axisRect()->left()) {}
    int operator()(double v) const {
        if (!m_plain)
            return Pixel(m_axis.coordToPixel(v));
        return Pixel(m_vertical ? m_origin - (v - m_lower) / m_size * m_length
                                : (v - m_lower) / m_size * m_length + m_origin);
    }

private:
    const QCPAxis& m_axis;
    bool m_plain, m_vertical;
    double m_lower, m_size;
    int m_length, m_origin;
};

int FloorQuarter(int n) {
    return n >= 0 ? n / 4 : -((3 - n) / 4);
}

// The rows where a steep link from row y0 to row y1, one pixel column on, is nearer to its start than a
// quarter of the way (first) or farther than three quarters (last): there its stroke reaches into the
// pixel column before or after. Pixel centres lie half a row down; rows past the ends are the cap's.
std::pair<int, int> QuarterRows(int y0, int y1, bool first) {
    const int d = y1 - y0;
    const int at = 4 * y0 - 2 + (first ? d : 3 * d); // four times the row where the quarter ends
    const int low = std::min(y0, y1) - 1, high = std::max(y0, y1);
    int r0 = low, r1 = high;
    if (first && d > 0)
        r1 = -FloorQuarter(-at) - 1;
    else if (first)
        r0 = FloorQuarter(at) + 1;
    else if (d > 0)
        r0 = -FloorQuarter(-at);
    else
        r1 = FloorQuarter(at);
    return {std::max(r0, low), std::min(r1, high)};
}

} // namespace

void CChartTrace::draw(QCPPainter* painter) {
    ++m_draws;
    const QList<QCPLayerable*> lines = layer()->children();
    for (QCPLayerable* line : lines) {
        if (auto* trace = dynamic_cast<CChartTrace*>(line); trace && trace->realVisibility()) {
            if (trace == this)
                DrawAll(painter, lines);
            break;
        }
    }
    if (!m_drawn)
        QCPGraph::draw(painter);
}

void CChartTrace::DrawAll(QCPPainter* painter, const QList<QCPLayerable*>& lines) {
    std::vector<CChartTrace*> traces;
    bool plain = !painter->modes().testFlag(QCPPainter::pmVectorized) &&
                 !painter->modes().testFlag(QCPPainter::pmNoCaching) && !painter->antialiasing() &&
                 painter->device()->devicePixelRatioF() == 1.0 && painter->transform().isIdentity();
    for (QCPLayerable* line : lines) {
        if (auto* trace = dynamic_cast<CChartTrace*>(line); trace && trace->realVisibility()) {
            traces.push_back(trace);
            plain = plain && trace->clipRect() == clipRect() && trace->Columns();
        }
    }
    for (CChartTrace* trace : traces)
        trace->m_drawn = plain;
    if (!plain)
        return;
    const QRect device(0, 0, painter->device()->width(), painter->device()->height());
    const QRect clip =
        painter->hasClipping() ? painter->clipBoundingRect().toAlignedRect().intersected(device) : device;
    if (clip.isEmpty())
        return;
    if (m_picture.size() != clip.size())
        m_picture = QImage(clip.size(), QImage::Format_ARGB32_Premultiplied);
    m_picture.fill(0);
    uchar* bits = m_picture.bits();
    QPainter links;
    for (const CChartTrace* trace : traces) {
        trace->Fill(bits, m_picture.bytesPerLine(), clip);
        if (!trace->m_links.isEmpty()) {
            if (!links.isActive()) {
                links.begin(&m_picture);
                links.translate(-clip.topLeft());
            }
            links.setPen(trace->pen());
            links.drawLines(trace->m_links);
        }
    }
    if (links.isActive())
        links.end();
    painter->drawImage(clip.topLeft(), m_picture);
}

void CChartTrace::Fill(uchar* bits, qsizetype stride, const QRect& clip) const {
    const quint32 colour = qPremultiply(pen().color().rgba());
    for (size_t i = 0; i < m_spans.size(); ++i) {
        const int x = m_x0 + static_cast<int>(i);
        if (x < clip.left() || x > clip.right())
            continue;
        const int top = std::max(m_spans[i].first, clip.top());
        const int bottom = std::min(m_spans[i].second, clip.bottom());
        if (top > bottom)
            continue;
        uchar* pixel = bits + static_cast<qsizetype>(top - clip.top()) * stride + 4 * (x - clip.left());
        for (int y = top; y <= bottom; ++y, pixel += stride)
            *reinterpret_cast<quint32*>(pixel) = colour;
    }
}

bool CChartTrace::Columns() {
    const QCPAxis* key = keyAxis();
    const QCPAxis* value = valueAxis();
    const QPen& line = pen();
    // The spans stand for an opaque pen of more than one and up to two pixels, drawn without
    // antialiasing: such a stroke along x covers the pixel columns x-1 and x, and from one row above
    // its upper end down to its lower end.
    if (!m_dense || !key || !value || key->orientation() != Qt::Horizontal || lineStyle() != lsLine ||
        !scatterStyle().isNone() || !selection().isEmpty() || brush().style() != Qt::NoBrush ||
        line.style() != Qt::SolidLine || line.isCosmetic() || line.widthF() <= 1.0 || line.widthF() > 2.0 ||
        line.color().alpha() != 255)
        return false;
    const QCPGraphDataContainer& points = *data();
    if (points.isEmpty() || points.size() % 2 != 0)
        return false;
    struct Column {
        int x, a, b; // a: the first point's row (the minimum), b: the second's
    };
    std::vector<Column> columns;
    columns.reserve(static_cast<size_t>(points.size() / 2));
    const AxisPixels x(*key), y(*value);
    for (auto it = points.constBegin(); it != points.constEnd(); it += 2) {
        if (it->key != (it + 1)->key)
            return false; // not an envelope
        columns.push_back({x(it->key), y(it->value), y((it + 1)->value)});
    }
    m_x0 = columns.front().x - 1;
    const int span = columns.back().x - m_x0 + 1;
    if (span <= 0 || span > 4 * static_cast<int>(columns.size()) + 16)
        return false; // not one column per pixel
    m_spans.assign(static_cast<size_t>(span), {INT_MAX, INT_MIN});
    auto cover = [&](int x, int from, int to) {
        auto& s = m_spans[static_cast<size_t>(x - m_x0)];
        s.first = std::min({s.first, from, to});
        s.second = std::max({s.second, from, to});
    };
    m_links.clear();
    for (size_t k = 0; k < columns.size(); ++k) {
        const Column& c = columns[k];
        const int top = std::min(c.a, c.b) - 1, bottom = std::max(c.a, c.b);
        cover(c.x - 1, top, bottom);
        cover(c.x, top, bottom);
        if (k == 0)
            continue;
        // The link from the previous column's second point to this one's first. A step of one pixel
        // is steep: it covers the pixel column where it starts over its whole height, and reaches with
        // its first quarter into the column before, with its last into the one after. A wider step (a
        // column of no numbers between) is drawn as a line.
        const Column& p = columns[k - 1];
        if (c.x - p.x > 1 || c.x < p.x) {
            m_links.append(QLine(p.x, p.b, c.x, c.a));
            continue;
        }
        const int y0 = p.b, y1 = c.a;
        cover(p.x, std::min(y0, y1) - 1, std::max(y0, y1));
        if (c.x == p.x) {
            cover(p.x - 1, std::min(y0, y1) - 1, std::max(y0, y1));
        } else if (y0 != y1) {
            if (const auto [r0, r1] = QuarterRows(y0, y1, true); r0 <= r1)
                cover(p.x - 1, r0, r1);
            if (const auto [r0, r1] = QuarterRows(y0, y1, false); r0 <= r1)
                cover(c.x, r0, r1);
        }
    }
    return true;
}

CChartLegendItem::SizeKey CChartLegendItem::CurrentSizeKey() const {
    return {mPlottable ? mPlottable->name() : QString(), getFont(), mParentLegend->iconSize(),
            mParentLegend->iconTextPadding(), mMargins};
}

QSize CChartLegendItem::minimumOuterSizeHint() const {
    const SizeKey key = CurrentSizeKey();
    if (m_size.isEmpty() || !(key == m_sizeKey)) {
        m_size = QCPPlottableLegendItem::minimumOuterSizeHint();
        m_sizeKey = key;
    }
    return m_size;
}

void CChartLegendItem::draw(QCPPainter* painter) {
    const auto* trace = dynamic_cast<const CChartTrace*>(mPlottable);
    if (!trace || getIconBorderPen().style() != Qt::NoPen) {
        QCPPlottableLegendItem::draw(painter);
        return;
    }
    // The entry's outer rectangle, with room for a text wider than the entry.
    const QRect area =
        mOuterRect.united(QRect(mOuterRect.topLeft(), minimumOuterSizeHint())).adjusted(-2, -2, 2, 2);
    const Key key{CurrentSizeKey(), getTextColor(), trace->pen(), trace->brush(),
                  mRect.translated(-area.topLeft())};
    const bool same = key == m_key;
    m_key = key;
    m_picture.Draw(painter, area, same, [this, trace](QCPPainter* into) { DrawEntry(into, *trace); });
}

void CChartLegendItem::DrawEntry(QCPPainter* painter, const CChartTrace& trace) const {
    const QSize icon = mParentLegend->iconSize();
    const int padding = mParentLegend->iconTextPadding();
    const QSize hint = minimumOuterSizeHint();
    painter->setFont(getFont());
    painter->setPen(QPen(getTextColor()));
    painter->drawText(mRect.x() + icon.width() + padding, mRect.y(),
                      hint.width() - mMargins.left() - mMargins.right() - icon.width() - padding,
                      hint.height() - mMargins.top() - mMargins.bottom(), Qt::TextDontClip, trace.name());
    const QRect iconRect(mRect.topLeft(), icon);
    painter->save();
    painter->setClipRect(iconRect, Qt::IntersectClip);
    trace.DrawIcon(painter, iconRect);
    painter->restore();
}
