#include "schematic/SchematicItem.h"

#include "base/StringTable.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"

CSchematicItem::CSchematicItem(unsigned stringId, SchematicFont font, int x, int y, int align)
    : m_x(x), m_y(y), m_font(font), m_text(quirel::loadString(stringId)), m_align(align) {}

CSchematicItem::CSchematicItem(SchematicFont font, int x, int y, int align)
    : m_x(x), m_y(y), m_font(font), m_align(align) {}

void CSchematicItem::Draw(ISchematicCanvas& canvas, const CDocParameters&) const {
    canvas.DrawText(m_font, m_x, m_y, m_align, m_text, false);
}

CSchematicPara::CSchematicPara(int32_t parameterId, SchematicFont font, int x, int y, int align)
    : CSchematicItem(font, x, y, align), m_parameterId(parameterId) {}

std::string CSchematicPara::ValueText(const CDocParameters& doc) const {
    const CParameterDescription* description = doc.GetCatalogue().FindDescription(m_parameterId);
    if (!description)
        return {};
    // A value the device has not sent (yet) is not shown as a zero.
    if (!doc.IsKnown(m_parameterId))
        return "--";
    try {
        return doc.GetValue(m_parameterId).GetText(doc.GetCatalogue()) + " " + description->GetUnit();
    } catch (const CParameterException&) {
        return {};
    }
}

void CSchematicPara::Draw(ISchematicCanvas& canvas, const CDocParameters& doc) const {
    const std::string text = ValueText(doc);
    if (!text.empty())
        canvas.DrawText(m_font, m_x, m_y, m_align, text, true);
}
