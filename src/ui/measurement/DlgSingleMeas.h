#pragma once

#include "measurement/MeasurementSetup.h"
#include "ui/measurement/MeasDialogControls.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLineEdit;

// "Settings" of a single measurement: the trigger channel, level, mode, sample rate and delay, and the
// channels to record. The read-only fields show the sample period and the delay time as they are typed.
class CDlgSingleMeas : public QDialog {
    Q_OBJECT
public:
    // `choices` as MeasurementSetup::ChannelChoices builds them.
    CDlgSingleMeas(std::vector<std::string> choices, const MeasurementSetup::SingleSettings& settings,
                   QWidget* parent = nullptr);

    // The settings as OK took them over.
    const MeasurementSetup::SingleSettings& Settings() const { return m_settings; }
    // Stays open while the trigger channel is "--" or an edit is out of range.
    void accept() override;

private:
    // What the sample-rate and delay edits hold, as far as they read as numbers.
    void ShowTimes();

    std::vector<std::string> m_choices;
    MeasurementSetup::SingleSettings m_settings;
    QComboBox* m_trigger = nullptr;
    QLineEdit* m_level = nullptr;
    QComboBox* m_mode = nullptr;
    QLineEdit* m_divider = nullptr;
    QLineEdit* m_period = nullptr;
    QLineEdit* m_delay = nullptr;
    QLineEdit* m_delayTime = nullptr;
    MeasDialogControls::ChannelCombos m_channels{};
};
