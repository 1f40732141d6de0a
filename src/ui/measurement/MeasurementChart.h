#pragma once

#include "measurement/ChartColumn.h"

#include <qcustomplot.h>

#include <functional>
#include <vector>

class CChartData;
class CChartLegendItem;
class CChartOverlay;

// The oscilloscope chart of the measurement windows: one line per channel on the left or right value
// axis, the legend below, the information panel in a column of its own on the right, and two cursors
// (C1 blue, C2 red) that stand on value indices of the first channel.
//
// Large data: the chart draws from its CChartData (summaries of the document's values) and gives each line
// only the minimum and maximum per pixel column of what is visible, so a redraw costs the same for a
// thousand values as for ten million. Cursors, panel and the hover readout live on a buffered layer of their
// own: moving them repaints that layer only. Texts that take long to lay out (legend, panel) are drawn
// through pictures kept while they stay the same.
//
// Mouse and keys: a click on a line selects its channel (seriesClicked); a left click elsewhere puts C1
// there, a right click C2; dragging a cursor moves it, dragging elsewhere moves the view; the wheel
// zooms the time axis at the mouse, with Ctrl the value axes. Left/Right move the cursor last touched by
// one value (Shift: ten, Ctrl: a hundred), Home/End to the first and last value, 1 and 2 choose it.
class CMeasurementChart : public QCustomPlot {
    Q_OBJECT
public:
    static constexpr int kPanelWidth = 250;
    static constexpr int kCursorGrip = 6; // pixels either side of a cursor that grab it
    static constexpr int kClickSlack = 4; // pixels a press may move and still be a click

    // What the chart shows of a channel.
    struct Channel {
        QString title;
        QString legend;
        bool rightAxis = false;
        double factor = 1.0;
        double offset = 0.0;
        QColor colour;
    };

    // The toolbar's navigation steps.
    enum Step {
        kScrollRight = 0,
        kScrollLeft = 1,
        kScrollUp = 2,
        kScrollDown = 3,
        kZoomIn = 4,
        kZoomOut = 5,
        kFull = 6
    };

    explicit CMeasurementChart(QWidget* parent = nullptr);
    ~CMeasurementChart() override;

    // The data the lines are drawn from; the chart does not own it.
    void SetData(const CChartData* data) { m_data = data; }
    // Replaces the lines' titles, legends, axes and scaling (one per channel of the data).
    void SetChannels(std::vector<Channel> channels);
    const std::vector<Channel>& Channels() const { return m_channels; }
    void SetTimeTitle(const QString& title);
    // Text in the panel, asked for at each repaint; and the readout at the value index under the mouse.
    void SetPanelText(std::function<QStringList()> text) { m_panelText = std::move(text); }
    void SetHoverText(std::function<QStringList(size_t index)> text) { m_hoverText = std::move(text); }
    // The panel's lines as they are drawn now (a tab sets a channel's value apart from its title).
    QStringList PanelLines() const { return m_panelText ? m_panelText() : QStringList(); }
    // Shown in the plot instead of lines while there are no values.
    void SetEmptyText(const QString& text) { m_emptyText = text; }

    // After the data changed: an untouched view (or one after Full screen) shows everything again, a view
    // whose right edge stood at the newest value follows the new ones, any other view stays. Cursors stay
    // on their indices within the first channel.
    void DataChanged(bool rebuilt);
    // The toolbar's steps: scroll by a tenth of the span, zoom to 110 % or 90 %, or back to everything.
    void Navigate(Step step);
    // The distances scrolled since the last Full screen (time axis, left value axis).
    double ScrollX() const { return m_scrollX; }
    double ScrollY() const { return m_scrollY; }
    // True while nothing has moved the view away from showing everything.
    bool IsHome() const { return m_home; }

    bool CursorsActive() const { return m_cursorsActive; }
    size_t Cursor(int c) const { return m_cursor[c]; }
    void SetCursor(int c, size_t index);
    int ActiveCursor() const { return m_activeCursor; }
    // The value index nearest to time x, within the first channel.
    size_t NearestIndex(double x) const;
    // Value indices [first, end) of the longest channel within the visible time range.
    std::pair<size_t, size_t> VisibleIndices() const;

    // The graph whose line passes within a few pixels of `pos`; -1 for none.
    int SeriesAt(const QPointF& pos) const;
    // Points given to the lines at the last redraw (all channels).
    size_t DrawnPoints() const { return m_drawnPoints; }
    // Times the lines were drawn. Cursors, panel and hover readout repaint a layer of their own, without.
    int TraceDraws() const;

signals:
    void seriesClicked(int channel, QPoint globalPos);
    void cursorMoved(int cursor, size_t index);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    friend class CChartOverlay;

    void OnPress(QMouseEvent* event);
    void OnMove(QMouseEvent* event);
    void OnRelease(QMouseEvent* event);
    void OnWheel(QWheelEvent* event);
    void Feed();
    void SetHomeRanges();
    void UpdateCursorAttachment();
    size_t FirstChannelCount() const;
    void RepaintOverlay();
    void MovedByUser();

    const CChartData* m_data = nullptr;
    std::vector<Channel> m_channels;
    std::function<QStringList()> m_panelText;
    std::function<QStringList(size_t)> m_hoverText;
    QString m_emptyText;
    CChartOverlay* m_overlay = nullptr;
    QCPLayoutElement* m_panel = nullptr;

    bool m_home = true;
    double m_scrollX = 0.0, m_scrollY = 0.0;
    double m_lastX = 0.0; // the newest value's time at the last redraw
    bool m_cursorsActive = false;
    size_t m_cursor[2] = {0, 0};
    int m_activeCursor = 0;

    enum class Drag { kNone, kPending, kCursor, kView };
    Drag m_drag = Drag::kNone;
    int m_dragCursor = 0;
    QPoint m_pressPos;
    Qt::MouseButton m_pressButton = Qt::NoButton;
    QCPRange m_pressRange[3];
    bool m_hovering = false;
    QPoint m_hoverPos;

    int m_fedWidth = 0;
    bool m_feedNeeded = true;
    size_t m_drawnPoints = 0;
    std::vector<CChartColumn::Point> m_envelope;
    std::vector<CChartLegendItem*> m_spareEntries; // hidden, outside the legend, owned by the plot
};
