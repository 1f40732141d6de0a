#include "analysis/DocumentDerived.h"

#include "analysis/AnalysisTexts.h"
#include "analysis/DerivedFile.h"
#include "measurement/DocMeasurementBase.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace quirel::analysis {

bool Holds(const CDocMeasurementBase& doc, uint32_t id) {
    for (int i = 0; i < doc.GetShownChannelCount(); ++i)
        if (doc.GetParameterId(i) == id)
            return true;
    return false;
}

void SetDocumentDerived(CDocMeasurementBase& doc, std::span<const DerivedChannel> channels) {
    // Shown with the decimals its sources carry into it.
    std::map<uint32_t, int> precision;
    for (int i = doc.GetChannelCount() - 1; i >= 0; --i)
        precision[doc.GetParameterId(i)] = doc.GetChannelPrecision(i);
    std::vector<CDocMeasurementBase::DerivedSpec> specs;
    for (const DerivedChannel& d : channels) {
        const int a = precision.contains(d.a) ? precision[d.a] : 3;
        const int b = d.UsesB() && precision.contains(d.b) ? precision[d.b] : 0;
        int decimals = d.op == DerivedChannel::Op::kProduct ? a + b : std::max(a, b);
        if (d.op == DerivedChannel::Op::kScale && std::abs(d.factor) > 0.0)
            decimals += std::max(0, static_cast<int>(std::ceil(-std::log10(std::abs(d.factor)))));
        decimals = std::min(decimals, 6);
        precision.try_emplace(d.id, decimals);
        specs.push_back({d.id, d.name, d.unit, d.ToText(), d.a, d.UsesB() ? d.b : d.a,
                         [d](double a, double b) { return d.Value(a, b); }, decimals});
    }
    doc.SetDerivedChannels(std::move(specs));
}

std::vector<DerivedChannel> DocumentDerived(const CDocMeasurementBase& doc) {
    std::vector<DerivedChannel> channels;
    for (const CDocMeasurementBase::DerivedSpec& spec : doc.GetDerivedChannels())
        if (std::optional<DerivedChannel> d = DerivedChannel::Parse(spec.definition))
            channels.push_back(std::move(*d));
    return channels;
}

std::string RefuseDerived(const CDocMeasurementBase& doc, const DerivedChannel& d) {
    if (Holds(doc, d.id))
        return IdTakenText(d.id);
    for (uint32_t source : {d.a, d.UsesB() ? d.b : d.a})
        if (!Holds(doc, source))
            return UnknownSourceText(d.id, source);
    return std::string();
}

std::string LoadDerivedFile(CDocMeasurementBase& doc, const std::string& measurementPath) {
    const DerivedFileContent file = ReadDerivedFile(measurementPath);
    SetDocumentDerived(doc, {});
    std::string why = file.error;
    std::vector<DerivedChannel> taken;
    for (const DerivedChannel& d : file.channels) {
        if (const std::string refusal = RefuseDerived(doc, d); !refusal.empty()) {
            why += (why.empty() ? "" : "\n") + refusal;
            continue;
        }
        taken.push_back(d);
        SetDocumentDerived(doc, taken);
    }
    return why;
}

bool SaveDerivedFile(const CDocMeasurementBase& doc, const std::string& measurementPath) {
    return WriteDerivedFile(measurementPath, DocumentDerived(doc));
}

} // namespace quirel::analysis
