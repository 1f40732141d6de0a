#pragma once

#include "ui/measurement/ChartPicture.h"

#include <qcustomplot.h>

// One line of the measurement chart. Given a dense envelope (a minimum and a maximum point per pixel
// column, in index order), it works out the pixels that a pen of 1.5 px without antialiasing leaves along
// such a line of vertical strokes and their short links, and the first line of the layer writes them
// for all lines into one picture: drawn stroke by stroke, they cost ten times the pixels they fill.
// Anything else (a sparse line, a printout or exported picture, a line drawn other than plain, lines
// that are not all dense) is drawn by QCPGraph as ever.
class CChartTrace : public QCPGraph {
public:
    CChartTrace(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {}

    // Whether the points are a dense envelope.
    void SetDense(bool dense) { m_dense = dense; }
    // Times the line was drawn, on the screen or into a picture.
    int Draws() const { return m_draws; }
    // The line's sample in the legend.
    void DrawIcon(QCPPainter* painter, const QRectF& rect) const { drawLegendIcon(painter, rect); }

protected:
    void draw(QCPPainter* painter) override;

private:
    // Works out the pixels of the envelope; false when it is none or not drawn plain.
    bool Columns();
    // Draws every visible line of the layer into one picture, or marks them all to draw themselves.
    void DrawAll(QCPPainter* painter, const QList<QCPLayerable*>& lines);
    // Writes the pixels into a picture of the `clip` rectangle.
    void Fill(uchar* bits, qsizetype stride, const QRect& clip) const;

    bool m_dense = false;
    bool m_drawn = false; // by the first line, in the current drawing of the layer
    int m_draws = 0;
    // Rows covered per pixel column from m_x0 on; links too wide for a column's step.
    int m_x0 = 0;
    std::vector<std::pair<int, int>> m_spans;
    QVector<QLine> m_links;
    QImage m_picture; // the first line's
};

// A line's entry in the legend. Its text would be laid out anew for every measuring and drawing, which
// costs more than the line itself: so its size is kept, and it is drawn through a picture.
class CChartLegendItem : public QCPPlottableLegendItem {
public:
    CChartLegendItem(QCPLegend* legend, QCPAbstractPlottable* line) : QCPPlottableLegendItem(legend, line) {}
    // Another line takes the entry over (none while it waits outside the legend).
    void Rebind(QCPAbstractPlottable* line) { mPlottable = line; }

protected:
    QSize minimumOuterSizeHint() const override;
    void draw(QCPPainter* painter) override;

private:
    struct SizeKey {
        QString name;
        QFont font;
        QSize icon;
        int padding = 0;
        QMargins margins;
        bool operator==(const SizeKey&) const = default;
    };
    // What the picture shows besides the text; the rectangle within the picture.
    struct Key {
        SizeKey size;
        QColor text;
        QPen pen;
        QBrush brush;
        QRect rect;
        bool operator==(const Key&) const = default;
    };
    SizeKey CurrentSizeKey() const;
    // As QCPPlottableLegendItem draws the entry, but with the text's size taken from the size hint
    // instead of measured once more.
    void DrawEntry(QCPPainter* painter, const CChartTrace& trace) const;

    mutable SizeKey m_sizeKey;
    mutable QSize m_size;
    Key m_key;
    CChartPicture m_picture;
};
