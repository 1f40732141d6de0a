#include "ui/measurement/DlgContMeas.h"

#include "ui/common/UiText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <climits>

using quirel::ui::Tx;

CDlgContMeas::CDlgContMeas(std::vector<std::string> choices,
                           const MeasurementSetup::ContinuousSettings& settings, QWidget* parent)
    : QDialog(parent), m_choices(std::move(choices)), m_settings(settings) {
    setObjectName("CDlgContMeas");
    setWindowTitle(Tx("Settings"));

    m_interval = new QLineEdit(this);
    m_interval->setObjectName("interval");
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(Tx("Interval"), this), 0, 0);
    grid->addWidget(m_interval, 0, 1);
    grid->addWidget(new QLabel("s", this), 0, 2);
    m_channels = MeasDialogControls::AddChannelLists(this, grid, 1, m_choices);

    MeasDialogControls::LayOut(this, grid);

    m_interval->setText(QString::number(m_settings.interval));
    for (size_t i = 0; i < m_channels.size(); ++i)
        MeasDialogControls::SelectChoice(m_channels[i], m_choices, m_settings.channelText[i]);
}

void CDlgContMeas::accept() {
    const auto interval = MeasDialogControls::TakeInteger(this, m_interval, INT_MIN, INT_MAX);
    if (!interval)
        return;
    m_settings.interval = static_cast<int>(*interval);
    MeasDialogControls::TakeChannels(m_channels, m_choices, m_settings.channelIndex, m_settings.channelText);
    QDialog::accept();
}
