#pragma once

#include "measurement/Trigger.h"
#include "ui/measurement/ViewMeasurementBase.h"

#include <memory>

class CDlgFft;
class CDocMeasurementSingle;

// The triggered single measurement: arms the trigger in the device, polls its state every second
// (timer 2), reads trigger and traces once the capture is complete, and shows the spectrum of a channel.
class CViewMeasurementSingle : public CViewMeasurementBase {
    Q_OBJECT
public:
    static constexpr const char* kClassName = "CViewMeasurementSingle";
    static constexpr int kTimerId = 2;
    static constexpr int kPollMs = 1000;

    CViewMeasurementSingle(CDocMeasurementSingle& doc, CControllerModbus& controller,
                           quirel::ui::CQtUiPort& ui, quirel::ui::ISettingsStore& settings,
                           QWidget* parent = nullptr);
    ~CViewMeasurementSingle() override;

    const char* ViewClassName() const override { return kClassName; }
    void OnConfigure() override;
    // What OK of the settings dialog does with its settings: the next trigger and channels.
    void ApplySettings(const MeasurementSetup::SingleSettings& settings);
    void OnStart() override;
    void OnCancel() override;
    void OnFft(int mainsHz) override;
    bool HasFft() const override { return true; }

    // Timer 2: one trigger-state query.
    void OnPollTimer();
    bool IsPolling() const { return m_timer.isActive(); }
    // The trigger and the settings the next start uses.
    const CTrigger& NextTrigger() const { return m_trigger; }
    const MeasurementSetup::SingleSettings& Settings() const { return m_settings; }
    // The spectrum dialog, once an FFT button has been pressed (it is reused).
    CDlgFft* FftDialog() const { return m_fft.get(); }

protected:
    unsigned CaptionId() const override { return 173; }
    std::vector<std::string> KindPanelLines() const override;
    void TakeKindSettings() override;
    void OnRunningHint() override;
    bool OnKindHint(int64_t hint) override;

private:
    void HandleTriggerState();

    CDocMeasurementSingle& m_doc;
    MeasurementSetup::SingleSettings m_settings;
    CTrigger m_trigger;
    QTimer m_timer;
    // Set once the traces of the current measurement are being read (or it was cancelled).
    bool m_traceReadLatch = false;
    // From Start on: until the document has seen the trigger armed, a "no trigger" read was taken before
    // the trigger was written and must not end the polling.
    bool m_awaitingArm = false;
    std::unique_ptr<CDlgFft> m_fft;
};
