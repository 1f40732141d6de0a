#pragma once

#include "parameters/ParameterValues.h"

#include <cstdint>

// One channel of a measurement: the recorded cells of one parameter, and how a chart shows them. Axis,
// factor and offset only scale the drawing (value x factor + offset on the left or right axis); the
// cells stay as recorded.
class CParameterValuesDiagram : public CParameterValues {
public:
    static constexpr uint32_t kAxisLeft = 0;
    static constexpr uint32_t kAxisRight = 1;

    explicit CParameterValuesDiagram(uint32_t parameterId = 0)
        : CParameterValues(static_cast<int32_t>(parameterId)) {}

    uint32_t GetParameterId() const { return static_cast<uint32_t>(GetId()); }
    uint32_t GetAxis() const { return m_axis; }
    double GetFactor() const { return m_factor; }
    double GetOffset() const { return m_offset; }
    void SetAxis(uint32_t axis) { m_axis = axis; }
    void SetFactor(double factor) { m_factor = factor; }
    void SetOffset(double offset) { m_offset = offset; }

private:
    uint32_t m_axis = kAxisLeft;
    double m_factor = 1.0;
    double m_offset = 0.0;
};
