#pragma once

#include "ui/measurement/ViewMeasurementBase.h"

#include <QElapsedTimer>

class CDocMeasurementContinuous;

// The continuous measurement: one value per channel every interval (timer 1), read by a job of the user
// queue; the chart follows the newest values while its view stands at them.
class CViewMeasurementContinuous : public CViewMeasurementBase {
    Q_OBJECT
public:
    static constexpr const char* kClassName = "CViewMeasurementContinuous";
    static constexpr int kTimerId = 1;

    CViewMeasurementContinuous(CDocMeasurementContinuous& doc, CControllerModbus& controller,
                               quirel::ui::CQtUiPort& ui, quirel::ui::ISettingsStore& settings,
                               QWidget* parent = nullptr);
    // Closing the window ends the measurement.
    ~CViewMeasurementContinuous() override;

    const char* ViewClassName() const override { return kClassName; }
    void OnConfigure() override;
    // What OK of the settings dialog does with its settings: the next interval and channels.
    void ApplySettings(const MeasurementSetup::ContinuousSettings& settings);
    void OnStart() override;
    void OnCancel() override;

    // Timer 1: one sample.
    void OnSampleTimer();
    bool IsSampling() const { return m_timer.isActive(); }
    int NextInterval() const { return m_settings.interval; }
    const MeasurementSetup::ContinuousSettings& Settings() const { return m_settings; }

protected:
    unsigned CaptionId() const override { return 174; }
    std::vector<std::string> KindPanelLines() const override;
    void TakeKindSettings() override;
    void OnRunningHint() override;
    void UpdateFigures(bool fresh) override;

private:
    CDocMeasurementContinuous& m_doc;
    MeasurementSetup::ContinuousSettings m_settings;
    QTimer m_timer;
    // The figures of the visible range: at the next turn when it moved, at most four times a second for
    // new samples.
    QTimer m_figuresTimer;
    QElapsedTimer m_figuresTaken;

    void QueueRangeFigures();
    void ShowRangeFigures();
};
