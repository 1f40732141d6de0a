#include "ui/measurement/ViewMeasurementContinuous.h"

#include "comm/ControllerModbus.h"
#include "comm/JobUpdateDocMeasurementCont.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/MeasurementTexts.h"
#include "ui/measurement/DlgContMeas.h"
#include "ui/measurement/FiguresPanel.h"
#include "ui/measurement/MeasurementChart.h"

#include <climits>

namespace {
constexpr unsigned kIdsConnectionTooSlow = 137;
} // namespace

CViewMeasurementContinuous::CViewMeasurementContinuous(CDocMeasurementContinuous& doc,
                                                       CControllerModbus& controller,
                                                       quirel::ui::CQtUiPort& ui,
                                                       quirel::ui::ISettingsStore& settings, QWidget* parent)
    : CViewMeasurementBase(doc, controller, ui, settings, parent), m_doc(doc) {
    setObjectName(kClassName);
    m_settings.channelText.fill(MeasurementSetup::kNoChannel);
    connect(&m_timer, &QTimer::timeout, this, &CViewMeasurementContinuous::OnSampleTimer);
    // Dragging or zooming moves the range many times a frame: its figures are taken once per turn.
    connect(Chart()->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &CViewMeasurementContinuous::QueueRangeFigures);
    m_figuresTimer.setSingleShot(true);
    connect(&m_figuresTimer, &QTimer::timeout, this, &CViewMeasurementContinuous::ShowRangeFigures);
}

void CViewMeasurementContinuous::UpdateFigures(bool fresh) {
    // Samples may come up to 40 times a second, faster than anyone reads figures; a moved view shows
    // its own at the next turn (above).
    constexpr qint64 kEveryMs = 250;
    if (!fresh && m_figuresTaken.isValid() && m_figuresTaken.elapsed() < kEveryMs) {
        if (!m_figuresTimer.isActive())
            m_figuresTimer.start(static_cast<int>(kEveryMs - m_figuresTaken.elapsed()));
        return;
    }
    QueueRangeFigures();
}

void CViewMeasurementContinuous::QueueRangeFigures() {
    // New values usually move the range as well: both are taken once, at the next turn.
    m_figuresTimer.start(0);
}

void CViewMeasurementContinuous::ShowRangeFigures() {
    m_figuresTimer.stop();
    m_figuresTaken.start();
    const auto [first, end] = Chart()->VisibleIndices();
    Figures()->ShowRange(m_doc, Data(), first, end, Colours());
}

CViewMeasurementContinuous::~CViewMeasurementContinuous() {
    m_timer.stop();
    m_doc.SetRunning(false);
}

std::vector<std::string> CViewMeasurementContinuous::KindPanelLines() const {
    return {MeasurementTexts::IntervalLine(m_doc.GetInterval())};
}

void CViewMeasurementContinuous::TakeKindSettings() {
    m_settings.interval = static_cast<int>(std::min<uint32_t>(m_doc.GetInterval(), INT_MAX));
    m_settings.channelText = Slots();
}

void CViewMeasurementContinuous::OnConfigure() {
    m_settings.channelText = Slots();
    CDlgContMeas dialog(Choices(), m_settings, window());
    if (dialog.exec() == QDialog::Accepted)
        ApplySettings(dialog.Settings());
}

void CViewMeasurementContinuous::ApplySettings(const MeasurementSetup::ContinuousSettings& settings) {
    m_settings = settings;
    TakeSlots(m_settings.channelText);
}

void CViewMeasurementContinuous::OnStart() {
    if (const unsigned refusal =
            MeasurementSetup::CheckContinuousStart(ChosenIds().size(), m_settings.interval, IsConnected())) {
        Message(refusal, MbIcon::Warning);
        return;
    }
    Controller().ClearPollQueue();
    const CMeasStart start = CMeasStart::Now();
    ResetView();
    m_doc.InitMeasurement(static_cast<uint32_t>(m_settings.interval), ChosenIds(), start);
    m_doc.SetRunning(true);
    // The start check keeps the interval within what the timer's int milliseconds hold.
    m_timer.start(m_settings.interval * 1000);
    OnSampleTimer();
}

void CViewMeasurementContinuous::OnSampleTimer() {
    if (Controller().AddUserJob(std::make_unique<CJobUpdateDocMeasurementCont>(&m_doc)))
        return;
    OnCancel();
    Message(kIdsConnectionTooSlow, MbIcon::Error);
}

void CViewMeasurementContinuous::OnCancel() {
    m_timer.stop();
    m_doc.SetRunning(false);
}

void CViewMeasurementContinuous::OnRunningHint() {
    if (!m_doc.IsRunning())
        m_timer.stop();
}
