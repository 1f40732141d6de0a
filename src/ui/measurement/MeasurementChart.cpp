#include "ui/measurement/MeasurementChart.h"

#include "measurement/ChartData.h"
#include "ui/measurement/ChartFiles.h"
#include "ui/measurement/ChartPicture.h"
#include "ui/measurement/ChartTrace.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr const char* kOverlayLayer = "cursors";
// Zoom per wheel notch.
constexpr double kWheelZoom = 0.85;
// Legend entries kept for lines to come.
constexpr size_t kMaxSpareEntries = 16;

const QColor kCursorColour[2] = {QColor(0, 0, 255), QColor(255, 0, 0)};

} // namespace

// Cursors, their labels, the information panel, the hover readout and the text of an empty chart, on the
// buffered overlay layer.
class CChartOverlay : public QCPLayerable {
public:
    explicit CChartOverlay(CMeasurementChart* chart) : QCPLayerable(chart, kOverlayLayer), m_chart(chart) {}

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        applyAntialiasingHint(painter, mAntialiased, QCP::aeOther);
    }
    QRect clipRect() const override { return mParentPlot->viewport(); }
    void draw(QCPPainter* painter) override;

private:
    void DrawPanel(QCPPainter* painter);
    static void DrawPanelLines(QPainter* painter, const QRect& area, const QFont& font,
                               const QStringList& lines);
    void DrawHover(QCPPainter* painter) const;

    CMeasurementChart* m_chart;
    // The panel's picture and what it shows.
    CChartPicture m_panel;
    QStringList m_panelLines;
    QFont m_panelFont;
};

void CChartOverlay::draw(QCPPainter* painter) {
    CMeasurementChart& c = *m_chart;
    const QRect plot = c.axisRect()->rect();
    painter->setFont(c.font());
    const QFontMetrics fm(c.font());
    if (!c.m_cursorsActive) {
        painter->setPen(QColor(90, 90, 90));
        painter->drawText(plot, Qt::AlignCenter, c.m_emptyText);
    } else {
        for (int k = 0; k < 2; ++k) {
            const double px = c.xAxis->coordToPixel(c.m_data->X(static_cast<double>(c.m_cursor[k])));
            if (!std::isfinite(px) || px < plot.left() - 0.5 || px > plot.right() + 0.5)
                continue;
            painter->setPen(QPen(kCursorColour[k], k == c.m_activeCursor ? 2.0 : 1.0));
            painter->drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
            painter->drawText(QPointF(px + 4, plot.top() + fm.ascent() + 2), k == 0 ? "C1" : "C2");
        }
    }
    DrawPanel(painter);
    DrawHover(painter);
}

void CChartOverlay::DrawPanel(QCPPainter* painter) {
    CMeasurementChart& c = *m_chart;
    if (!c.m_panelText)
        return;
    const QRect area = c.m_panel->rect().adjusted(8, 6, -4, -6);
    QFont font = c.font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    const QStringList lines = c.m_panelText();
    const bool same = lines == m_panelLines && font == m_panelFont;
    m_panelLines = lines;
    m_panelFont = font;
    m_panel.Draw(painter, area, same, [&](QCPPainter* into) { DrawPanelLines(into, area, font, lines); });
}

void CChartOverlay::DrawPanelLines(QPainter* painter, const QRect& area, const QFont& font,
                                   const QStringList& lines) {
    painter->setFont(font);
    const QFontMetrics fm(font);
    double y = area.top() + fm.ascent();
    QColor colour(30, 30, 30);
    for (const QString& line : lines) {
        if (line == "C1:")
            colour = kCursorColour[0];
        else if (line == "C2:")
            colour = kCursorColour[1];
        else if (line.startsWith("dt"))
            colour = QColor(30, 30, 30);
        painter->setPen(colour);
        // A tab parts a channel's title from its value: the value stands right-aligned, and a long title
        // gives way to it.
        const qsizetype tab = line.indexOf('\t');
        if (tab >= 0) {
            const QString value = line.mid(tab + 1);
            const int valueWidth = fm.horizontalAdvance(value);
            painter->drawText(QPointF(area.right() - valueWidth, y), value);
            painter->drawText(QPointF(area.left(), y),
                              fm.elidedText(line.left(tab), Qt::ElideRight, area.width() - valueWidth - 6));
        } else {
            painter->drawText(QPointF(area.left(), y), fm.elidedText(line, Qt::ElideMiddle, area.width()));
        }
        y += fm.height() + 2;
        if (y > area.bottom())
            break;
    }
}

void CChartOverlay::DrawHover(QCPPainter* painter) const {
    CMeasurementChart& c = *m_chart;
    const QRect plot = c.axisRect()->rect();
    if (!c.m_hovering || !c.m_hoverText || !c.m_cursorsActive || !plot.contains(c.m_hoverPos))
        return;
    const size_t index = c.NearestIndex(c.xAxis->pixelToCoord(c.m_hoverPos.x()));
    const QStringList lines = c.m_hoverText(index);
    if (lines.isEmpty())
        return;
    const double px = c.xAxis->coordToPixel(c.m_data->X(static_cast<double>(index)));
    painter->setPen(QPen(QColor(120, 120, 120), 1, Qt::DotLine));
    painter->drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));

    const QFontMetrics fm(c.font());
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, fm.horizontalAdvance(line));
    QRect box(0, 0, width + 12, static_cast<int>(lines.size()) * (fm.height() + 1) + 8);
    QPoint at = c.m_hoverPos + QPoint(16, 16);
    if (at.x() + box.width() > plot.right())
        at.setX(c.m_hoverPos.x() - 16 - box.width());
    if (at.y() + box.height() > plot.bottom())
        at.setY(std::max(plot.top(), c.m_hoverPos.y() - 16 - box.height()));
    box.moveTopLeft(at);
    painter->setPen(QColor(160, 160, 160));
    painter->setBrush(QColor(255, 255, 240, 235));
    painter->drawRect(box);
    painter->setPen(QColor(20, 20, 20));
    int y = box.top() + 4 + fm.ascent();
    for (const QString& line : lines) {
        painter->drawText(QPoint(box.left() + 6, y), line);
        y += fm.height() + 1;
    }
}

// ---- the chart ----

CMeasurementChart::CMeasurementChart(QWidget* parent) : QCustomPlot(parent) {
    setObjectName("chart");
    setBackground(Qt::white);
    setInteractions(QCP::Interactions());
    setNoAntialiasingOnDrag(true);
    setPlottingHint(QCP::phFastPolylines, true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    // Axis numbers with the decimal comma, as every number the program shows.
    setLocale(quirel::ui::ChartNumberLocale());

    // A box around the plot; the right axis gets its numbers only while a channel uses it.
    xAxis2->setVisible(true);
    xAxis2->setTickLabels(false);
    yAxis2->setVisible(true);
    yAxis2->setTickLabels(false);
    axisRect()->setMinimumMargins(QMargins(20, 5, 5, 5));

    // The legend lists the channels below the plot, in entries that keep their pictures.
    setAutoAddPlottableToLegend(false);
    legend->setVisible(true);
    auto* legendRow = new QCPLayoutGrid;
    plotLayout()->addElement(1, 0, legendRow);
    legendRow->setMargins(QMargins(20, 0, 5, 5));
    legendRow->addElement(0, 0, legend);
    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setWrap(2);
    legend->setBorderPen(QPen(QColor(200, 200, 200)));
    plotLayout()->setRowStretchFactor(1, 0.001);

    // The information panel: a column of its own, so the right axis keeps its numbers.
    m_panel = new QCPLayoutElement(this);
    m_panel->setMinimumSize(kPanelWidth, 50);
    m_panel->setMaximumSize(kPanelWidth, QWIDGETSIZE_MAX);
    plotLayout()->addElement(0, 1, m_panel);
    plotLayout()->setColumnStretchFactor(1, 0.001);

    addLayer(kOverlayLayer, layer("legend"), QCustomPlot::limAbove);
    layer(kOverlayLayer)->setMode(QCPLayer::lmBuffered);
    m_overlay = new CChartOverlay(this);

    connect(this, &QCustomPlot::mousePress, this, &CMeasurementChart::OnPress);
    connect(this, &QCustomPlot::mouseMove, this, &CMeasurementChart::OnMove);
    connect(this, &QCustomPlot::mouseRelease, this, &CMeasurementChart::OnRelease);
    connect(this, &QCustomPlot::mouseWheel, this, &CMeasurementChart::OnWheel);
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] { m_feedNeeded = true; });
    // The lines are given their points once the layout knows the plot's width.
    connect(this, &QCustomPlot::afterLayout, this, [this] {
        if (m_feedNeeded || axisRect()->width() != m_fedWidth)
            Feed();
    });
    SetHomeRanges();
}

CMeasurementChart::~CMeasurementChart() = default;

void CMeasurementChart::SetTimeTitle(const QString& title) {
    xAxis->setLabel(title);
}

void CMeasurementChart::SetChannels(std::vector<Channel> channels) {
    if (static_cast<int>(channels.size()) != graphCount()) {
        // The legend's entries outlive their lines: the next lines take them over in order, so that a
        // set of channels shown again (a new measurement after New) needs no text laid out anew.
        std::vector<CChartLegendItem*> entries;
        for (int i = 0; i < legend->itemCount(); ++i)
            if (auto* entry = dynamic_cast<CChartLegendItem*>(legend->item(i)))
                entries.push_back(entry);
        for (CChartLegendItem* entry : entries) {
            legend->take(entry);
            entry->Rebind(nullptr);
            entry->setVisible(false);
        }
        m_spareEntries.insert(m_spareEntries.begin(), entries.begin(), entries.end());
        legend->simplify();
        clearGraphs();
        for (const Channel& ch : channels) {
            auto* trace = new CChartTrace(xAxis, ch.rightAxis ? yAxis2 : yAxis);
            trace->setAdaptiveSampling(false);
            CChartLegendItem* entry = nullptr;
            if (m_spareEntries.empty()) {
                entry = new CChartLegendItem(legend, trace);
            } else {
                entry = m_spareEntries.front();
                m_spareEntries.erase(m_spareEntries.begin());
                entry->Rebind(trace);
                entry->setVisible(true);
            }
            legend->addItem(entry);
        }
        while (m_spareEntries.size() > kMaxSpareEntries) {
            delete m_spareEntries.back();
            m_spareEntries.pop_back();
        }
    }
    bool right = false;
    for (size_t i = 0; i < channels.size(); ++i) {
        const Channel& ch = channels[i];
        QCPGraph* g = graph(static_cast<int>(i));
        g->setName(ch.legend);
        g->setPen(QPen(ch.colour, 1.5));
        g->setValueAxis(ch.rightAxis ? yAxis2 : yAxis);
        right = right || ch.rightAxis;
    }
    yAxis2->setTickLabels(right);
    m_channels = std::move(channels);
    m_feedNeeded = true;
}

size_t CMeasurementChart::FirstChannelCount() const {
    return m_data && m_data->GetChannelCount() > 0 ? m_data->Column(0).Size() : 0;
}

void CMeasurementChart::SetHomeRanges() {
    const size_t n = m_data ? m_data->GetMaxCount() : 0;
    const double x0 = m_data ? m_data->X(0) : 0.0;
    if (n >= 2 && m_data->Dx() > 0)
        xAxis->setRange(x0, m_data->X(static_cast<double>(n - 1)));
    else
        xAxis->setRange(x0 - 1, x0 + 1);
    for (QCPAxis* axis : {yAxis, yAxis2}) {
        const bool right = axis == yAxis2;
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (int i = 0; m_data && i < m_data->GetChannelCount() && i < static_cast<int>(m_channels.size());
             ++i) {
            const Channel& ch = m_channels[static_cast<size_t>(i)];
            const CChartColumn& column = m_data->Column(i);
            if (ch.rightAxis != right || std::isnan(column.Min()))
                continue;
            const double a = column.Min() * ch.factor + ch.offset;
            const double b = column.Max() * ch.factor + ch.offset;
            lo = std::min({lo, a, b});
            hi = std::max({hi, a, b});
        }
        if (!(lo <= hi) || !std::isfinite(hi - lo)) {
            lo = -1.0;
            hi = 1.0;
        }
        const double pad = hi > lo ? 0.05 * (hi - lo) : std::max(1.0, std::abs(lo) * 0.1);
        axis->setRange(lo - pad, hi + pad);
    }
    m_lastX = n ? m_data->X(static_cast<double>(n - 1)) : x0;
}

void CMeasurementChart::DataChanged(bool rebuilt) {
    const size_t n = m_data ? m_data->GetMaxCount() : 0;
    const double newest = n ? m_data->X(static_cast<double>(n - 1)) : 0.0;
    if (rebuilt) {
        // Another measurement: shown whole, as Full screen shows it.
        m_home = true;
        m_scrollX = m_scrollY = 0.0;
    }
    if (m_home) {
        SetHomeRanges();
    } else if (xAxis->range().upper >= m_lastX - 1e-9 * std::max(1.0, std::abs(m_lastX))) {
        // The view stood at the newest value: it follows the new ones.
        xAxis->moveRange(newest - m_lastX);
    }
    m_lastX = newest;
    UpdateCursorAttachment();
    m_feedNeeded = true;
    replot(rpQueuedReplot);
}

void CMeasurementChart::UpdateCursorAttachment() {
    const size_t count = FirstChannelCount();
    if (count == 0) {
        m_cursorsActive = false;
        return;
    }
    if (!m_cursorsActive) {
        m_cursorsActive = true;
        m_cursor[0] = count / 4;
        m_cursor[1] = 3 * count / 4;
    }
    for (size_t& c : m_cursor)
        c = std::min(c, count - 1);
}

void CMeasurementChart::Navigate(Step step) {
    const double h = xAxis->range().size();
    const double v = yAxis->range().size();
    const double v2 = yAxis2->range().size();
    switch (step) {
    case kScrollRight:
    case kScrollLeft: {
        const double d = (step == kScrollRight ? 0.1 : -0.1) * h;
        m_scrollX += d;
        xAxis->moveRange(d);
        break;
    }
    case kScrollUp:
    case kScrollDown: {
        const double sign = step == kScrollUp ? 0.1 : -0.1;
        m_scrollY += sign * v;
        yAxis->moveRange(sign * v);
        yAxis2->moveRange(sign * v2);
        break;
    }
    case kZoomIn:
    case kZoomOut:
        for (QCPAxis* axis : {xAxis, yAxis, yAxis2})
            axis->scaleRange(step == kZoomIn ? 100.0 / 110.0 : 100.0 / 90.0);
        break;
    case kFull:
        m_scrollX = m_scrollY = 0.0;
        m_home = true;
        SetHomeRanges();
        break;
    }
    if (step != kFull)
        m_home = false;
    m_feedNeeded = true;
    replot(rpQueuedReplot);
}

void CMeasurementChart::MovedByUser() {
    m_home = false;
    m_feedNeeded = true;
    replot(rpQueuedReplot);
}

size_t CMeasurementChart::NearestIndex(double x) const {
    const size_t count = FirstChannelCount();
    if (count == 0 || !(m_data->Dx() > 0))
        return 0;
    const double at = std::round(m_data->IndexAt(x));
    if (!(at > 0))
        return 0;
    return std::min(count - 1, static_cast<size_t>(std::min(at, 1e18)));
}

std::pair<size_t, size_t> CMeasurementChart::VisibleIndices() const {
    const size_t n = m_data ? m_data->GetMaxCount() : 0;
    if (n == 0 || !(m_data->Dx() > 0))
        return {0, n};
    auto clamp = [n](double index) {
        return index <= 0 ? size_t(0) : static_cast<size_t>(std::min(index, static_cast<double>(n)));
    };
    const size_t first = clamp(std::ceil(m_data->IndexAt(xAxis->range().lower) - 1e-9));
    const size_t end = clamp(std::floor(m_data->IndexAt(xAxis->range().upper) + 1e-9) + 1);
    return {first, std::max(first, end)};
}

void CMeasurementChart::SetCursor(int c, size_t index) {
    const size_t count = FirstChannelCount();
    if (count == 0 || c < 0 || c > 1)
        return;
    index = std::min(index, count - 1);
    m_activeCursor = c;
    if (index != m_cursor[c]) {
        m_cursor[c] = index;
        emit cursorMoved(c, index);
    }
    RepaintOverlay();
}

void CMeasurementChart::RepaintOverlay() {
    layer(kOverlayLayer)->replot();
}

int CMeasurementChart::SeriesAt(const QPointF& pos) const {
    int best = -1;
    double nearest = kCursorGrip + 0.5;
    for (int i = 0; i < graphCount(); ++i) {
        const double d = graph(i)->selectTest(pos, false);
        if (d >= 0 && d < nearest) {
            nearest = d;
            best = i;
        }
    }
    return best;
}

int CMeasurementChart::TraceDraws() const {
    return graphCount() > 0 ? static_cast<const CChartTrace*>(graph(0))->Draws() : 0;
}

void CMeasurementChart::Feed() {
    m_feedNeeded = false;
    m_fedWidth = axisRect()->width();
    const auto columns = static_cast<size_t>(std::max(m_fedWidth, 50));
    const QCPRange range = xAxis->range();
    m_drawnPoints = 0;
    for (int i = 0; i < graphCount(); ++i) {
        QVector<QCPGraphData> points;
        if (m_data && i < m_data->GetChannelCount() && i < static_cast<int>(m_channels.size())) {
            const CChartColumn& column = m_data->Column(i);
            size_t first = 0, end = column.Size();
            if (m_data->Dx() > 0) {
                // One value beyond either edge, so the line runs on to the border.
                const double a = std::floor(m_data->IndexAt(range.lower)) - 1;
                const double b = std::ceil(m_data->IndexAt(range.upper)) + 2;
                const auto size = static_cast<double>(end);
                first = a <= 0 ? 0 : static_cast<size_t>(std::min(a, size));
                end = b <= 0 ? 0 : static_cast<size_t>(std::min(b, size));
            }
            column.Envelope(first, end, columns, m_envelope);
            // Smooth lines where each value has pixels of its own; a dense envelope of vertical strokes
            // looks the same without, and its pixels are then written directly (CChartTrace).
            const bool dense = end - first > 2 * columns;
            graph(i)->setAntialiased(!dense);
            static_cast<CChartTrace*>(graph(i))->SetDense(dense);
            const Channel& ch = m_channels[static_cast<size_t>(i)];
            points.reserve(static_cast<qsizetype>(m_envelope.size()));
            for (const CChartColumn::Point& p : m_envelope)
                points.append(QCPGraphData(m_data->X(p.index), p.value * ch.factor + ch.offset));
        }
        m_drawnPoints += static_cast<size_t>(points.size());
        graph(i)->data()->set(points, true);
    }
}

// ---- mouse and keys ----

void CMeasurementChart::OnPress(QMouseEvent* event) {
    m_pressPos = event->pos();
    m_pressButton = event->button();
    m_drag = Drag::kPending;
    if (event->button() == Qt::LeftButton && m_cursorsActive) {
        const QRect plot = axisRect()->rect();
        for (int c : {m_activeCursor, 1 - m_activeCursor}) {
            const double px = xAxis->coordToPixel(m_data->X(static_cast<double>(m_cursor[c])));
            if (plot.contains(event->pos()) && std::abs(px - event->pos().x()) <= kCursorGrip) {
                m_drag = Drag::kCursor;
                m_dragCursor = c;
                m_activeCursor = c;
                RepaintOverlay();
                return;
            }
        }
    }
    m_pressRange[0] = xAxis->range();
    m_pressRange[1] = yAxis->range();
    m_pressRange[2] = yAxis2->range();
}

void CMeasurementChart::OnMove(QMouseEvent* event) {
    const QPoint pos = event->pos();
    if (m_drag == Drag::kCursor) {
        SetCursor(m_dragCursor, NearestIndex(xAxis->pixelToCoord(pos.x())));
        return;
    }
    if (m_drag == Drag::kPending && (event->buttons() & Qt::LeftButton) &&
        (pos - m_pressPos).manhattanLength() > kClickSlack)
        m_drag = Drag::kView;
    if (m_drag == Drag::kView) {
        const QRect plot = axisRect()->rect();
        const double dx = (pos.x() - m_pressPos.x()) * m_pressRange[0].size() / std::max(1, plot.width());
        xAxis->setRange(m_pressRange[0].lower - dx, m_pressRange[0].upper - dx);
        for (int k : {1, 2}) {
            const double dy =
                (pos.y() - m_pressPos.y()) * m_pressRange[k].size() / std::max(1, plot.height());
            (k == 1 ? yAxis : yAxis2)->setRange(m_pressRange[k].lower + dy, m_pressRange[k].upper + dy);
        }
        MovedByUser();
        return;
    }
    if (event->buttons() == Qt::NoButton) {
        m_hovering = true;
        m_hoverPos = pos;
        RepaintOverlay();
    }
}

void CMeasurementChart::OnRelease(QMouseEvent* event) {
    const Drag drag = m_drag;
    m_drag = Drag::kNone;
    if (drag != Drag::kPending || !axisRect()->rect().contains(event->pos()))
        return;
    // A line can be clicked whatever the cursors do: they stand on the first channel, which may be empty.
    if (m_pressButton == Qt::LeftButton) {
        const int series = SeriesAt(event->pos());
        if (series >= 0) {
            emit seriesClicked(series, mapToGlobal(event->pos()));
            return;
        }
    }
    if (!m_cursorsActive)
        return;
    if (m_pressButton == Qt::LeftButton) {
        SetCursor(0, NearestIndex(xAxis->pixelToCoord(event->pos().x())));
    } else if (m_pressButton == Qt::RightButton) {
        SetCursor(1, NearestIndex(xAxis->pixelToCoord(event->pos().x())));
    }
}

void CMeasurementChart::OnWheel(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0)
        return;
    const double factor = std::pow(kWheelZoom, notches);
    const QPointF pos = event->position();
    if (event->modifiers() & Qt::ControlModifier) {
        yAxis->scaleRange(factor, yAxis->pixelToCoord(pos.y()));
        yAxis2->scaleRange(factor, yAxis2->pixelToCoord(pos.y()));
    } else {
        xAxis->scaleRange(factor, xAxis->pixelToCoord(pos.x()));
    }
    MovedByUser();
}

void CMeasurementChart::keyPressEvent(QKeyEvent* event) {
    const size_t count = FirstChannelCount();
    if (count == 0) {
        QCustomPlot::keyPressEvent(event);
        return;
    }
    const size_t at = m_cursor[m_activeCursor];
    size_t step = 1;
    if (event->modifiers() & Qt::ShiftModifier)
        step = 10;
    if (event->modifiers() & Qt::ControlModifier)
        step = 100;
    switch (event->key()) {
    case Qt::Key_Left:
        SetCursor(m_activeCursor, at >= step ? at - step : 0);
        break;
    case Qt::Key_Right:
        SetCursor(m_activeCursor, at + step);
        break;
    case Qt::Key_Home:
        SetCursor(m_activeCursor, 0);
        break;
    case Qt::Key_End:
        SetCursor(m_activeCursor, count - 1);
        break;
    case Qt::Key_1:
    case Qt::Key_2:
        m_activeCursor = event->key() == Qt::Key_1 ? 0 : 1;
        RepaintOverlay();
        break;
    default:
        QCustomPlot::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CMeasurementChart::leaveEvent(QEvent* event) {
    m_hovering = false;
    RepaintOverlay();
    QCustomPlot::leaveEvent(event);
}
