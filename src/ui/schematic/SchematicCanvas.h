#pragma once

#include "schematic/SchematicItem.h"

#include <QFont>

class QPainter;

// Writes the overview's texts with a painter set up in picture pixels: black on an opaque white box, so
// that no line of the picture runs through a text. Values are grey while no device is connected, so that
// the last values read (or the zeros of a new document) are not taken for live ones.
class CSchematicCanvas : public ISchematicCanvas {
public:
    // A free sans font with the metrics of the original's: its cell height is the font's height in
    // picture pixels (Liberation Sans, metric-compatible with the common Windows sans fonts).
    static QFont Font(SchematicFont font);

    CSchematicCanvas(QPainter& painter, bool live) : m_painter(painter), m_live(live) {}
    void DrawText(SchematicFont font, int x, int y, int align, const std::string& text, bool value) override;

private:
    QPainter& m_painter;
    bool m_live;
};
