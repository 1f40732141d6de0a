// The simulated filter's trigger and trace capture: the settings block at 60000-60030 checked and
// latched at arming, the trigger condition tested sample by sample in simulated time, and the recorded
// traces served from 10000 on.
#include "DeviceModel.h"

#include "parameters/ParamValue.h"
#include "parameters/ParameterDescription.h"

#include <algorithm>
#include <cmath>

namespace quirel::sim {

bool DeviceModel::readTraceRegister(int ref, std::uint16_t& value) const {
    if (ref < kTraceBaseRef || ref >= kTraceBaseRef + kTraceStride * kMaxChannels)
        return false;
    const int c = (ref - kTraceBaseRef) / kTraceStride;
    const int offset = (ref - kTraceBaseRef) % kTraceStride;
    if (offset >= 2 + 2 * kMaxSamples)
        return false;
    const auto& trace = m_capture.traces[static_cast<std::size_t>(c)];
    std::uint32_t word32 = 0;
    if (offset < 2) {
        word32 = static_cast<std::uint32_t>(trace.size());
    } else {
        const std::size_t k = static_cast<std::size_t>((offset - 2) / 2);
        word32 = k < trace.size() ? trace[k] : 0;
    }
    value = (offset % 2 == 0) ? static_cast<std::uint16_t>(word32) : static_cast<std::uint16_t>(word32 >> 16);
    return true;
}

Exception DeviceModel::validateCaptureWrite(int ref, std::uint16_t value) const {
    switch (ref) {
    case kTriggerChannelRef:
    case kTriggerLevelRef:
    case kTriggerLevelRef + 1:
        return Exception::None;
    case kTriggerModeRef:
        return value <= 1 ? Exception::None : Exception::IllegalDataValue;
    case kTriggerDelayRef:
        return static_cast<std::int16_t>(value) >= 0 && value <= kMaxSamples ? Exception::None
                                                                             : Exception::IllegalDataValue;
    case kTriggerDividerRef:
        return value >= 1 && value <= 32000 ? Exception::None : Exception::IllegalDataValue;
    case kChannelCountRef:
        return value >= 1 && value <= kMaxChannels ? Exception::None : Exception::IllegalDataValue;
    case kTriggerStateRef:
        return value <= 1 ? Exception::None : Exception::IllegalDataValue;
    default:
        break;
    }
    if (ref >= kChannelListRef && ref < kChannelListRef + kMaxChannels)
        return Exception::None;
    return Exception::IllegalDataAddress;
}

Exception DeviceModel::writeCaptureRegister(int ref, std::uint16_t value) {
    if (ref != kTriggerStateRef) {
        m_captureRegs[static_cast<std::size_t>(ref - kTriggerChannelRef)] = value;
        return Exception::None;
    }
    if (value == 0) {
        m_capture = Capture{};
        m_captureRegs[static_cast<std::size_t>(kTriggerStateRef - kTriggerChannelRef)] = 0;
        return Exception::None;
    }
    return arm();
}

std::uint16_t DeviceModel::captureReg(int ref) const {
    return m_captureRegs[static_cast<std::size_t>(ref - kTriggerChannelRef)];
}

std::uint16_t DeviceModel::latched(int ref) const {
    return m_capture.latched[static_cast<std::size_t>(ref - kTriggerChannelRef)];
}

bool DeviceModel::sampleable(int id) const {
    const SimParameter* p = findParameter(id);
    return p != nullptr && IsReadable(p->access) &&
           PARAMVALUE::IsWritableType(static_cast<std::uint32_t>(p->dataType));
}

Exception DeviceModel::arm() {
    if (!sampleable(captureReg(kTriggerChannelRef)))
        return Exception::IllegalDataValue;
    const int channels = captureReg(kChannelCountRef);
    for (int c = 0; c < channels; ++c)
        if (!sampleable(captureReg(kChannelListRef + c)))
            return Exception::IllegalDataValue;
    m_capture = Capture{};
    m_capture.latched = m_captureRegs;
    m_capture.state = 1;
    m_capture.armTime = now();
    m_capture.period = captureReg(kTriggerDividerRef) / kBaseSampleRate;
    // The pre-trigger samples must exist before the trigger may fire.
    m_capture.nextSample = std::max<long>(1, captureReg(kTriggerDelayRef));
    return Exception::None;
}

double DeviceModel::channelSample(int id, double t) const {
    const SimParameter* p = findParameter(id);
    if (p == nullptr)
        return 0.0;
    // In the channel's own encoding, so that the trigger compares like the trace records.
    std::uint32_t raw = 0;
    const bool measured =
        p->id == 40 || (p->access == 0 && (isLive(id) || (m_values.count(id) == 0 && p->valueTexts.empty())));
    if (measured)
        raw = encode(p->dataType, traceValue(id, t));
    else
        raw = storedAt(id, t);
    return PARAMVALUE(static_cast<std::uint32_t>(p->dataType), raw).GetAsDouble().value_or(0.0);
}

double DeviceModel::triggerLevel(int dataType) const {
    const std::uint32_t raw = static_cast<std::uint32_t>(latched(kTriggerLevelRef)) |
                              (static_cast<std::uint32_t>(latched(kTriggerLevelRef + 1)) << 16);
    PARAMVALUE level(static_cast<std::uint32_t>(dataType), raw);
    if (PARAMVALUE::RegisterCount(static_cast<std::uint32_t>(dataType)) == 1)
        level.raw &= 0xFFFFU; // a 16-bit channel's level sits in the low half
    return level.GetAsDouble().value_or(0.0);
}

void DeviceModel::advance() {
    const double t = now();
    if (m_capture.state == 1) {
        const int channel = latched(kTriggerChannelRef);
        const SimParameter* p = findParameter(channel);
        const double level = triggerLevel(p != nullptr ? p->dataType : 8);
        const bool rising = latched(kTriggerModeRef) == 0;
        // Catch up at most a few seconds of samples at once; a trigger nobody polled for longer may miss.
        const long due = static_cast<long>(std::floor((t - m_capture.armTime) / m_capture.period));
        if (due - m_capture.nextSample > 200000) {
            m_capture.nextSample = due - 200000;
            m_capture.haveLast = false;
        }
        for (long m = m_capture.nextSample; m <= due; ++m) {
            const double tm = m_capture.armTime + static_cast<double>(m) * m_capture.period;
            if (!m_capture.haveLast) {
                m_capture.lastValue = channelSample(channel, tm - m_capture.period);
                m_capture.haveLast = true;
            }
            const double v = channelSample(channel, tm);
            const bool fired = rising ? (m_capture.lastValue <= level && v > level)
                                      : (m_capture.lastValue >= level && v < level);
            m_capture.lastValue = v;
            m_capture.nextSample = m + 1;
            if (fired) {
                m_capture.fireSample = m;
                m_capture.state = 2;
                break;
            }
        }
    }
    if (m_capture.state == 2) {
        const long last = m_capture.fireSample - latched(kTriggerDelayRef) + kMaxSamples - 1;
        if (t >= m_capture.armTime + static_cast<double>(last) * m_capture.period)
            completeCapture();
    }
}

void DeviceModel::completeCapture() {
    const int channels = latched(kChannelCountRef);
    const long first = m_capture.fireSample - latched(kTriggerDelayRef);
    for (int c = 0; c < channels; ++c) {
        const int id = latched(kChannelListRef + c);
        const SimParameter* p = findParameter(id);
        auto& trace = m_capture.traces[static_cast<std::size_t>(c)];
        trace.clear();
        for (int k = 0; k < kMaxSamples; ++k) {
            const double tk = m_capture.armTime + static_cast<double>(first + k) * m_capture.period;
            const double v = channelSample(id, tk);
            // Floats for float channels, 32-bit integers for every other type.
            trace.push_back(p != nullptr && p->dataType == 8 ? encode(8, v)
                                                             : static_cast<std::uint32_t>(encode(4, v)));
        }
    }
    m_capture.state = 3;
}

std::uint16_t DeviceModel::readCaptureRegister(int ref) {
    if (ref != kTriggerStateRef)
        return captureReg(ref);
    // The state read advances at most one step per read, so a poller sees every state in turn.
    if (m_capture.state == 0)
        m_capture.reportedState = 0;
    else
        m_capture.reportedState = std::min(m_capture.state, m_capture.reportedState + 1);
    return static_cast<std::uint16_t>(m_capture.reportedState);
}

} // namespace quirel::sim
