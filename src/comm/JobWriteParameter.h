#pragma once

#include "comm/JobAbstract.h"
#include "parameters/ParameterValue.h"

// Writes one parameter value the user entered (user queue). A failure is shown with the caption
// "Error writing parameter: <id>".
class CJobWriteParameter : public CJobAbstract {
public:
    explicit CJobWriteParameter(const CParameterValue& value) { m_value.Assign(value); }
    void Execute(CControllerModbus& controller) override;
    const CParameterValue& GetValue() const { return m_value; }

private:
    CParameterValue m_value;
};
