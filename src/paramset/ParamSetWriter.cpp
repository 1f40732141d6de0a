#include "paramset/ParamSetWriter.h"

#include "base/TextEncoding.h"
#include "parameters/ParameterManager.h"
#include "parameters/ParameterValue.h"
#include "paramset/ParamSetFile.h"

namespace quirel::paramset {
namespace {

// A line break inside a value would start a key or a section of its own when the file is read back.
void AppendOneLine(std::string& out, std::string_view text) {
    for (char c : text)
        out.push_back(c == '\r' || c == '\n' ? ' ' : c);
}

} // namespace

std::vector<CParameterDescription> SectionParameters(const CParameterManager& catalogue,
                                                     std::string_view section) {
    std::vector<CParameterDescription> list;
    const std::string name(section);
    if (section == kMeasuredValues)
        catalogue.GetFolderParameters(name, list);
    else
        catalogue.GetFolderDescriptions(name, list);
    return list;
}

std::string FormatEntryValue(const CParameterDescription& d, const std::optional<PARAMVALUE>& value) {
    const std::string text = value ? CParameterValue::FormatText(d, *value) : std::string(kErrorText);
    std::string out = std::to_string(d.GetId()) + "=";
    if (d.HasValueTexts())
        out += std::to_string(value ? d.FindValueText(text) : -1) + ";";
    return out + text;
}

void CParamSetWriter::BeginSection(std::string_view name) {
    if (!m_text.empty())
        m_text += "\r\n";
    m_text.append("[").append(name).append("]\r\n");
    m_nextKey = 0;
}

void CParamSetWriter::AddEntry(const CParameterDescription& d, const std::optional<PARAMVALUE>& value) {
    m_text.append("Param").append(std::to_string(m_nextKey++)).append("=");
    AppendOneLine(m_text, FormatEntryValue(d, value));
    m_text += "\r\n";
}

std::string CParamSetWriter::Bytes() const {
    return utf8ToCp1252(m_text);
}

} // namespace quirel::paramset
