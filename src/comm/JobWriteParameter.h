#pragma once

#include "base/Document.h"
#include "comm/JobAbstract.h"
#include "parameters/ParameterValue.h"

#include <cstdint>
#include <functional>

// Writes one parameter value the user entered (user queue). A failure is shown with the caption
// "Error writing parameter: <id>".
//
// Given a document, the job then reads the parameter back into it (SetValue, and an update with the
// identifier as hint), so that a display shows what the device holds, also after the device refused the
// value. A write-only parameter cannot be read back: after a refused write its value is forgotten
// (ForgetValue) rather than left showing the text the device did not take.
class CJobWriteParameter : public CJobAbstract {
public:
    explicit CJobWriteParameter(const CParameterValue& value) { m_value.Assign(value); }
    template <class Doc>
    CJobWriteParameter(const CParameterValue& value, Doc* target)
        : m_target(target), m_store([target](int32_t id, const PARAMVALUE& v) { target->SetValue(id, v); }),
          m_forget([target](int32_t id) { target->ForgetValue(id); }) {
        m_value.Assign(value);
    }
    void Execute(CControllerModbus& controller) override;
    const CParameterValue& GetValue() const { return m_value; }
    // After Execute: whether the device took the value.
    bool Written() const { return m_written; }

private:
    void ReadBack(CControllerModbus& controller, bool written);

    CParameterValue m_value;
    bool m_written = false;
    CDocument* m_target = nullptr;
    std::function<void(int32_t, const PARAMVALUE&)> m_store;
    std::function<void(int32_t)> m_forget;
};
