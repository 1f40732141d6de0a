#pragma once

#include "comm/SingleMeasurementRun.h"
#include "measurement/Trigger.h"
#include "ui/measurement/DlgFft.h"
#include "ui/measurement/ViewMeasurementBase.h"

#include <memory>

class CDocMeasurementSingle;

// The triggered single measurement: drives its run (arm the trigger, poll its state every second with
// timer 2, read trigger and traces once the capture is complete) and shows the spectrum of a channel.
class CViewMeasurementSingle : public CViewMeasurementBase {
    Q_OBJECT
public:
    static constexpr const char* kClassName = "CViewMeasurementSingle";
    static constexpr int kTimerId = 2;
    static constexpr int kPollMs = CSingleMeasurementRun::kPollMs;

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
    // What the spectrum dialog takes of a channel: its plotted values, times, name, unit and colour.
    CDlgFft::Input FftInput(int channel, int mainsHz) const;
    bool HasFft() const override { return true; }
    // "Filter effectiveness": the load current beside the mains current of each phase the measurement
    // holds them of; a message says what is missing otherwise.
    void OnEffectiveness() override;
    bool HasEffectiveness() const override { return true; }

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
    void AdoptDocument() override;
    void UpdateFigures(bool fresh) override;

private:
    CDocMeasurementSingle& m_doc;
    MeasurementSetup::SingleSettings m_settings;
    CTrigger m_trigger;
    QTimer m_timer;
    CSingleMeasurementRun m_run;
    std::unique_ptr<CDlgFft> m_fft;
    // Figures wait for a capture to be read whole; a new one proposes its pairs anew.
    bool m_figuresWaiting = false, m_figuresFresh = false;
};
