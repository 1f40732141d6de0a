#pragma once

#include "measurement/MeasurementSetup.h"
#include "ui/measurement/MeasDialogControls.h"

#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;

// "Settings" of a continuous measurement: the interval in whole seconds and the channels to sample.
class CDlgContMeas : public QDialog {
    Q_OBJECT
public:
    CDlgContMeas(std::vector<std::string> choices, const MeasurementSetup::ContinuousSettings& settings,
                 QWidget* parent = nullptr);

    const MeasurementSetup::ContinuousSettings& Settings() const { return m_settings; }
    // Stays open while the interval is not a whole number; its lower bound is the start check's.
    void accept() override;

private:
    std::vector<std::string> m_choices;
    MeasurementSetup::ContinuousSettings m_settings;
    QLineEdit* m_interval = nullptr;
    MeasDialogControls::ChannelCombos m_channels{};
};
