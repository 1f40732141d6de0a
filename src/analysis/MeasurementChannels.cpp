#include "analysis/MeasurementChannels.h"

#include "analysis/AnalysisTexts.h"
#include "analysis/TraceFigures.h"
#include "measurement/DocMeasurementSingle.h"
#include "parameters/ParameterManager.h"

namespace quirel::analysis {

const Channel* MeasurementChannels::Find(uint32_t id) const {
    for (const Channel& c : channels)
        if (c.id == id)
            return &c;
    return nullptr;
}

MeasurementChannels CollectChannels(const CDocMeasurementSingle& doc,
                                    std::span<const DerivedChannel> derived) {
    MeasurementChannels m;
    m.sampleRateHz = SampleRateHz(doc.GetTrigger().GetDivider());
    const CParameterManager* catalogue = doc.GetCatalogue();
    {
        const CDocMeasurementBase::CReadPass pass(doc);
        for (int i = 0; i < pass.GetChannelCount(); ++i) {
            Channel c;
            c.id = pass.Channel(i).GetParameterId();
            const CParameterDescription* d =
                catalogue ? catalogue->FindDescription(static_cast<int32_t>(c.id)) : nullptr;
            c.name = d ? d->GetName() : "--";
            c.unit = d ? d->GetUnit() : "";
            c.values.resize(pass.Count(i));
            doc.ReadValues(i, 0, c.values.size(), c.values.data());
            m.channels.push_back(std::move(c));
        }
    }
    const size_t captured = m.channels.size();
    for (const DerivedChannel& d : derived) {
        const Channel* a = m.Find(d.a);
        const Channel* b = d.UsesB() ? m.Find(d.b) : a;
        if (m.Find(d.id))
            m.error = IdTakenText(d.id);
        else if (!a || !b)
            m.error = UnknownSourceText(d.id, a ? d.b : d.a);
        if (!m.error.empty()) {
            m.channels.resize(captured);
            m.notes.clear();
            return m;
        }
        Channel c{d.id, d.name, d.unit, true, d.Compute(a->values, b->values)};
        if (a->values.size() != b->values.size())
            m.notes.push_back(ShortenedText(d.id, a->values.size(), b->values.size(), c.values.size()));
        m.channels.push_back(std::move(c));
    }
    return m;
}

int NominalMainsHz(const MeasurementChannels& m) {
    for (const Channel& c : m.channels) {
        const TraceFigures f = AnalyseTrace(c.values, m.sampleRateHz, 50.0);
        if (f.HasFundamental())
            return f.frequencyHz > 55.0 ? 60 : 50;
    }
    return 50;
}

} // namespace quirel::analysis
