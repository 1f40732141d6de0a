#include "parameters/document/DocParameters.h"

#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

namespace {
constexpr unsigned kIdsTitle = 172;    // "Device parameters - Quirel Viewer Velorin"
constexpr unsigned kIdsNotFound = 155; // "Parameter not found: "
} // namespace

CDocParameters::CDocParameters(const CParameterManager& catalogue, CControllerModbus& controller)
    : m_catalogue(catalogue), m_controller(controller) {}

CDocParameters::~CDocParameters() = default;

bool CDocParameters::OnNewDocument() {
    SetTitle(quirel::loadString(kIdsTitle));
    m_ids.clear();
    m_catalogue.GetAllIds(m_ids);

    std::map<int32_t, CParameterValue> values;
    for (int32_t id : m_ids) {
        const CParameterDescription* d = m_catalogue.FindDescription(id);
        const uint32_t type = d ? static_cast<uint32_t>(d->GetDataType()) : 8u;
        values.emplace(id, CParameterValue(static_cast<uint32_t>(id), type, 0));
    }
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    m_allValues = std::move(values);
    m_known.clear();
    return true;
}

void CDocParameters::AddVisible(int32_t id) {
    auto count = m_showCounts.find(id);
    if (count != m_showCounts.end()) {
        ++count->second;
        return;
    }
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    auto value = m_allValues.find(id);
    if (value == m_allValues.end())
        return;
    m_shownValues[id] = value->second;
    m_showCounts[id] = 1;
}

void CDocParameters::RemoveVisible(int32_t id) {
    auto count = m_showCounts.find(id);
    if (count == m_showCounts.end())
        return;
    if (--count->second <= 0) {
        m_showCounts.erase(count);
        m_shownValues.erase(id);
    }
}

void CDocParameters::SetValue(int32_t id, const PARAMVALUE& value) {
    CParameterValue v(static_cast<uint32_t>(id), value.dataType, value.raw);
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    m_allValues[id] = v;
    m_known.insert(id);
}

void CDocParameters::ForgetValues() {
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    m_known.clear();
}

void CDocParameters::ForgetValue(int32_t id) {
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    m_known.erase(id);
}

bool CDocParameters::IsKnown(int32_t id) const {
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    return m_known.count(id) != 0;
}

void CDocParameters::UpdateVisible() {
    for (const auto& [id, value] : m_shownValues) {
        // A write-only parameter has nothing to read: asking would only bring the device's refusal, in a
        // box, every time its folder is shown.
        const CParameterDescription* d = m_catalogue.FindDescription(id);
        if (d && !IsReadable(d->GetAccessType()))
            continue;
        m_controller.AddPollJob(std::make_unique<CJobUpdateVisibleParameter>(this, id, value));
    }
}

CParameterValue CDocParameters::GetValue(int32_t id) const {
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    auto it = m_allValues.find(id);
    if (it == m_allValues.end())
        throw CParameterException(kIdsNotFound, std::to_string(id));
    return it->second;
}

bool CDocParameters::HasValue(int32_t id) const {
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    return m_allValues.count(id) != 0;
}

int CDocParameters::GetShowCount(int32_t id) const {
    auto it = m_showCounts.find(id);
    return it == m_showCounts.end() ? 0 : it->second;
}

std::vector<int32_t> CDocParameters::GetShownIds() const {
    std::vector<int32_t> ids;
    ids.reserve(m_shownValues.size());
    for (const auto& entry : m_shownValues)
        ids.push_back(entry.first);
    return ids;
}
