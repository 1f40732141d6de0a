#include "ui/measurement/DlgSingleMeas.h"

#include "base/DecimalNumber.h"
#include "measurement/Trigger.h"
#include "ui/common/UiText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

QLineEdit* MakeEdit(QWidget* parent, const char* name, bool readOnly = false) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(readOnly);
    if (readOnly)
        edit->setFocusPolicy(Qt::NoFocus);
    return edit;
}

} // namespace

CDlgSingleMeas::CDlgSingleMeas(std::vector<std::string> choices,
                               const MeasurementSetup::SingleSettings& settings, QWidget* parent)
    : QDialog(parent), m_choices(std::move(choices)), m_settings(settings) {
    setObjectName("CDlgSingleMeas");
    setWindowTitle(Tx("Settings"));

    m_trigger = MeasDialogControls::MakeChoiceList(this, "triggerChannel", m_choices);
    m_level = MakeEdit(this, "triggerLevel");
    m_mode = new QComboBox(this);
    m_mode->setObjectName("mode");
    m_mode->addItems({Tx("more than"), Tx("less than")});
    m_divider = MakeEdit(this, "sampleRate");
    m_period = MakeEdit(this, "samplePeriod", true);
    m_delay = MakeEdit(this, "delay");
    m_delayTime = MakeEdit(this, "delayTime", true);

    auto* trigger = new QGridLayout;
    int row = 0;
    trigger->addWidget(new QLabel(Tx("Trigger Channel"), this), row, 0);
    trigger->addWidget(m_trigger, row++, 1, 1, 2);
    trigger->addWidget(new QLabel(Tx("Trigger Level"), this), row, 0);
    trigger->addWidget(m_level, row++, 1);
    trigger->addWidget(new QLabel(Tx("Mode"), this), row, 0);
    trigger->addWidget(m_mode, row++, 1);
    trigger->addWidget(new QLabel(Tx("Sample Rate"), this), row, 0);
    trigger->addWidget(m_divider, row, 1);
    trigger->addWidget(new QLabel("x 0.03125 ms", this), row++, 2);
    trigger->addWidget(m_period, row++, 1);
    trigger->addWidget(new QLabel(Tx("Delay"), this), row, 0);
    trigger->addWidget(m_delay, row, 1);
    trigger->addWidget(new QLabel(Tx("Max.  512 Points"), this), row++, 2);
    trigger->addWidget(m_delayTime, row++, 1);
    m_channels = MeasDialogControls::AddChannelLists(this, trigger, row, m_choices);

    MeasDialogControls::LayOut(this, trigger);

    // The stored settings; a channel no longer offered leaves its list without a selection.
    MeasDialogControls::SelectChoice(m_trigger, m_choices, m_settings.triggerText);
    for (size_t i = 0; i < m_channels.size(); ++i)
        MeasDialogControls::SelectChoice(m_channels[i], m_choices, m_settings.channelText[i]);
    m_level->setText(Qs(MeasurementSetup::FormatLevel(m_settings.level)));
    m_mode->setCurrentIndex(m_settings.mode == 0 ? 0 : 1);
    m_divider->setText(QString::number(m_settings.divider));
    m_delay->setText(QString::number(m_settings.delay));
    ShowTimes();
    connect(m_divider, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty())
            ShowTimes();
    });
    connect(m_delay, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty())
            ShowTimes();
    });
}

void CDlgSingleMeas::ShowTimes() {
    const int64_t divider = quirel::parseInt64(m_divider->text().toStdString());
    const int64_t delay = quirel::parseInt64(m_delay->text().toStdString());
    m_period->setText(Qs(MeasurementSetup::FormatSamplePeriod(divider)));
    m_delayTime->setText(Qs(MeasurementSetup::FormatDelayTime(delay, divider)));
}

void CDlgSingleMeas::accept() {
    const auto level = MeasDialogControls::TakeNumber(this, m_level);
    if (!level)
        return;
    const auto divider = MeasDialogControls::TakeInteger(this, m_divider, 1, CTrigger::kMaxDivider);
    if (!divider)
        return;
    const auto delay = MeasDialogControls::TakeInteger(this, m_delay, 0, CTrigger::kMaxDelay);
    if (!delay)
        return;
    const int trigger = m_trigger->currentIndex();
    if (trigger < 0 || m_choices[static_cast<size_t>(trigger)] == MeasurementSetup::kNoChannel) {
        m_trigger->setFocus();
        m_trigger->showPopup(); // no trigger, no measurement: the choice is what is missing
        return;
    }
    m_settings.level = *level;
    m_settings.divider = static_cast<int>(*divider);
    m_settings.delay = static_cast<int>(*delay);
    m_settings.mode = m_mode->currentIndex();
    m_settings.triggerIndex = trigger;
    m_settings.triggerText = m_choices[static_cast<size_t>(trigger)];
    MeasDialogControls::TakeChannels(m_channels, m_choices, m_settings.channelIndex, m_settings.channelText);
    QDialog::accept();
}
