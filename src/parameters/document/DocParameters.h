#pragma once

#include "base/Document.h"
#include "parameters/ParamValue.h"
#include "parameters/ParameterValue.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CControllerModbus;
class CParameterManager;

// The parameters document: the last value read or written of every catalogue parameter, and the set of
// parameters that some window shows, with a count of how many displays show each. One instance lives for
// the whole run.
//
// Threads: everything runs on the user-interface thread except SetValue, which the worker's read jobs
// call; the value map is therefore guarded, the shown set is not.
class CDocParameters : public CDocument {
public:
    CDocParameters(const CParameterManager& catalogue, CControllerModbus& controller);
    ~CDocParameters() override;

    // Clears the document and gives every catalogue parameter a zero value of its data type.
    virtual bool OnNewDocument();

    virtual void AddVisible(int32_t id);
    virtual void RemoveVisible(int32_t id);
    // Any thread. The value counts as known from then on (read from the device, or just written to it).
    virtual void SetValue(int32_t id, const PARAMVALUE& value);
    // The known values go back to unknown: a new connection may lead to another device, and a value this
    // one never sent must not be shown as its own. Any thread.
    void ForgetValues();
    // Marks one value unknown (a write the device refused of a value that cannot be read back).
    void ForgetValue(int32_t id);
    // True once SetValue has stored a value for `id` since the last ForgetValues.
    bool IsKnown(int32_t id) const;
    // Offers one read job per shown parameter to the poll queue; refused jobs are dropped.
    virtual void UpdateVisible();

    // A copy of the value; throws CParameterException "Parameter not found: <id>" when there is none.
    CParameterValue GetValue(int32_t id) const;
    bool HasValue(int32_t id) const;

    // How many displays show `id` (0 when none).
    int GetShowCount(int32_t id) const;
    std::vector<int32_t> GetShownIds() const;
    // Every catalogue identifier in depth-first catalogue order.
    const std::vector<int32_t>& GetIds() const { return m_ids; }

    const CParameterManager& GetCatalogue() const { return m_catalogue; }
    CControllerModbus& GetController() const { return m_controller; }

private:
    const CParameterManager& m_catalogue;
    CControllerModbus& m_controller;

    mutable std::mutex m_valuesMutex;
    std::map<int32_t, CParameterValue> m_allValues;
    std::set<int32_t> m_known;

    std::vector<int32_t> m_ids;
    std::map<int32_t, CParameterValue> m_shownValues;
    std::map<int32_t, int32_t> m_showCounts;
};
