#pragma once

#include <cstdint>
#include <string>

class CDocParameters;

// The overview's three fonts, as cell heights and weights in picture pixels.
enum class SchematicFont { Headline, Value, Label };
struct SchematicFontSpec {
    int height;
    int weight;
};
constexpr SchematicFontSpec FontSpec(SchematicFont font) {
    return font == SchematicFont::Headline ? SchematicFontSpec{35, 700}
           : font == SchematicFont::Value  ? SchematicFontSpec{25, 400}
                                           : SchematicFontSpec{25, 700};
}

// Text alignment flags of the desktop's text output: left and top, or centred and top.
enum SchematicAlign : int { kAlignLeftTop = 0, kAlignCentreTop = 6 };

// Where the overview's texts are written: (x, y) in picture pixels of the 1672 x 852 picture, the
// alignment saying which point of the text's box that is. `value` marks a parameter value (as opposed to
// a label), which the window may draw differently while no device is connected.
class ISchematicCanvas {
public:
    virtual ~ISchematicCanvas() = default;
    virtual void DrawText(SchematicFont font, int x, int y, int align, const std::string& text,
                          bool value) = 0;
};

// One text at a fixed place of the overview.
class CSchematicItem {
public:
    // A string-table text in the current user-interface language.
    CSchematicItem(unsigned stringId, SchematicFont font, int x, int y, int align);
    // An item without a text of its own (a parameter value).
    CSchematicItem(SchematicFont font, int x, int y, int align);
    virtual ~CSchematicItem() = default;

    virtual void Draw(ISchematicCanvas& canvas, const CDocParameters& doc) const;

    const std::string& GetText() const { return m_text; }
    SchematicFont GetFont() const { return m_font; }
    int GetX() const { return m_x; }
    int GetY() const { return m_y; }
    int GetAlign() const { return m_align; }

protected:
    int m_x, m_y;
    SchematicFont m_font;
    std::string m_text;
    int m_align;
};

// A text that shows a parameter's current value: its text form, a blank and its unit.
class CSchematicPara : public CSchematicItem {
public:
    CSchematicPara(int32_t parameterId, SchematicFont font, int x, int y, int align = kAlignLeftTop);

    // Draws nothing for a parameter the catalogue does not describe or the document has no value of.
    void Draw(ISchematicCanvas& canvas, const CDocParameters& doc) const override;
    // The text Draw writes; empty when it writes nothing.
    std::string ValueText(const CDocParameters& doc) const;
    int32_t GetParameterId() const { return m_parameterId; }

private:
    int32_t m_parameterId;
};
