#pragma once

#include "base/Document.h"
#include "comm/JobAbstract.h"
#include "parameters/ParameterValue.h"

#include <cstdint>
#include <functional>

// Reads one shown parameter from the device (poll queue), stores it in the document with the document's
// SetValue (id, PARAMVALUE) and posts a document update with the identifier as hint. The document is
// any CDocument with that SetValue; it is not owned and must outlive the controller's queues.
class CJobUpdateVisibleParameter : public CJobAbstract {
public:
    template <class Doc>
    CJobUpdateVisibleParameter(Doc* target, int32_t parameterId, const CParameterValue& value)
        : m_target(target), m_parameterId(parameterId),
          m_store([target](int32_t id, const PARAMVALUE& v) { target->SetValue(id, v); }) {
        m_value.Assign(value);
    }
    void Execute(CControllerModbus& controller) override;

    CDocument* GetTarget() const { return m_target; }
    int32_t GetParameterId() const { return m_parameterId; }

private:
    CDocument* m_target;
    int32_t m_parameterId;
    CParameterValue m_value; // carried for the document's bookkeeping; the read does not need it
    std::function<void(int32_t, const PARAMVALUE&)> m_store;
};
