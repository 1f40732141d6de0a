#pragma once

#include "parameters/ParameterValue.h"

#include <cstdint>

namespace quirel {
class ArchiveReader;
class ArchiveWriter;
} // namespace quirel

// The trigger of a single measurement as the device takes it: the channel and its level (a raw value in
// that channel's own encoding), the pre-trigger delay in samples, the mode and the sample divider.
class CTrigger {
public:
    static constexpr int kMaxDelay = 512;
    static constexpr int kMaxDivider = 32000;
    // One unit of the sample divider: the device samples every divider x 0.03125 ms.
    static constexpr double kSampleUnitMs = 0.03125;

    CTrigger() = default;
    CTrigger(const CTrigger&) = default;
    CTrigger& operator=(const CTrigger&) = default;
    virtual ~CTrigger() = default;

    void Set(int32_t delay, uint32_t mode, uint32_t divider, uint32_t parameterId, uint32_t dataType,
             uint32_t raw);

    // Level (identifier, then the cell), delay, mode, divider: 24 bytes, no class record.
    void Serialize(quirel::ArchiveWriter& ar) const;
    // Field by field: data that ends early leaves the fields not yet read as they were, and throws.
    void Deserialize(quirel::ArchiveReader& ar);

    int32_t GetDelay() const { return m_delay; }
    // 0 "more than", anything else "less than".
    uint32_t GetMode() const { return m_mode; }
    uint32_t GetDivider() const { return m_divider; }
    const CParameterValue& GetLevel() const { return m_level; }
    uint32_t GetParameterId() const { return m_level.GetId(); }

    // The sample period and the pre-trigger time in milliseconds.
    double GetSamplePeriodMs() const { return m_divider * kSampleUnitMs; }
    double GetDelayMs() const { return m_delay * kSampleUnitMs * m_divider; }

    bool operator==(const CTrigger& o) const {
        return m_delay == o.m_delay && m_mode == o.m_mode && m_divider == o.m_divider &&
               m_level.GetId() == o.m_level.GetId() && m_level.GetValue() == o.m_level.GetValue();
    }

private:
    int32_t m_delay = 0;
    uint32_t m_mode = 0;
    uint32_t m_divider = 1;
    CParameterValue m_level; // identifier 0, a float of 0.0
};
