#pragma once

#include "measurement/DocMeasurementBase.h"
#include "measurement/Trigger.h"

// The last triggered single measurement: traces captured inside the device and read back, the trigger
// they were captured with and the device's trigger state as last read.
class CDocMeasurementSingle : public CDocMeasurementBase {
public:
    // The device's trigger state (register 60030).
    enum TriggerState : uint32_t { kNoTrigger = 0, kTriggerActive = 1, kTriggerSetOff = 2, kTraceReady = 3 };

    CDocMeasurementSingle(const CParameterManager* catalogue, IUiPort* uiPort);

    // Also: the trigger back to delay 0, mode 0, divider 1, channel 0 with a float level of 0.0; trigger
    // state 0; start all zeros.
    void DeleteContents() override;
    std::string GetDefaultTitle() const override;
    const char* GetFileExtension() const override { return "nbts"; }
    const char* GetLastFileName() const override { return "last.nbts"; }

    // Takes the trigger and the start over and appends one channel per identifier; the views are updated
    // (user-interface thread). Empty the document first (OnNewDocument) to start a new measurement.
    virtual void InitMeasurement(const CTrigger& trigger, const std::vector<uint32_t>& ids, CMeasStart start);
    // The trigger as the device reports it.
    virtual void SetTrigger(int32_t delay, uint32_t mode, uint32_t divider, uint32_t parameterId,
                            uint32_t dataType, uint32_t raw);

    CTrigger GetTrigger() const;
    // Any thread; no notification.
    uint32_t GetTriggerState() const { return m_triggerState.load(); }
    void SetTriggerState(uint32_t state) {
        m_triggerState.store(state);
        if (state >= kTriggerActive && state <= kTraceReady)
            m_wasArmed.store(true);
    }
    // True once a state of 1 to 3 has been set since the document was last emptied: a "no trigger" read
    // after it means the trigger is gone, one before it may have been taken before the trigger was written.
    bool WasArmed() const { return m_wasArmed.load(); }

    // Milliseconds from the trigger instant: negative before it when the trigger has a delay.
    double GetX(size_t j) const override;
    const char* GetTimeUnit() const override { return "ms"; }

protected:
    void WriteKindPart(quirel::ArchiveWriter& ar, bool withMeasStart) const override;
    void ReadKindPart(quirel::ArchiveReader& ar, bool withMeasStart) override;
    std::unique_ptr<CDocMeasurementBase> NewOfSameKind() const override {
        return std::make_unique<CDocMeasurementSingle>(GetCatalogue(), nullptr);
    }

private:
    CTrigger m_trigger; // under the document's lock
    std::atomic<uint32_t> m_triggerState{kNoTrigger};
    std::atomic<bool> m_wasArmed{false};
};
