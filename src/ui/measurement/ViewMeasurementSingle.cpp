#include "ui/measurement/ViewMeasurementSingle.h"

#include "comm/ControllerModbus.h"
#include "comm/JobCancelTrigger.h"
#include "comm/JobQueryTrigger.h"
#include "comm/JobReadTraces.h"
#include "comm/JobReadTrigger.h"
#include "comm/JobWriteTrigger.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementTexts.h"
#include "measurement/Spectrum.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UiText.h"
#include "ui/measurement/DlgFft.h"
#include "ui/measurement/DlgSingleMeas.h"
#include "ui/measurement/MeasurementChart.h"

namespace {
constexpr unsigned kIdsModbusError = 178;
} // namespace

CViewMeasurementSingle::CViewMeasurementSingle(CDocMeasurementSingle& doc, CControllerModbus& controller,
                                               quirel::ui::CQtUiPort& ui,
                                               quirel::ui::ISettingsStore& settings, QWidget* parent)
    : CViewMeasurementBase(doc, controller, ui, settings, parent), m_doc(doc) {
    setObjectName(kClassName);
    m_settings.channelText.fill(MeasurementSetup::kNoChannel);
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &CViewMeasurementSingle::OnPollTimer);
}

// An armed trigger stays armed in the device and in the document when the window goes.
CViewMeasurementSingle::~CViewMeasurementSingle() = default;

std::vector<std::string> CViewMeasurementSingle::KindPanelLines() const {
    return MeasurementTexts::TriggerLines(m_doc);
}

void CViewMeasurementSingle::TakeKindSettings() {
    m_trigger = m_doc.GetTrigger();
    const CParameterManager* catalogue = m_doc.GetCatalogue();
    const auto id = static_cast<int32_t>(m_trigger.GetParameterId());
    const CParameterDescription* d = catalogue ? catalogue->FindDescription(id) : nullptr;
    m_settings.triggerText =
        d ? std::to_string(id) + " " + d->GetName() : std::string(MeasurementSetup::kNoChannel);
    m_settings.level = m_trigger.GetLevel().GetAsDouble();
    m_settings.mode = m_trigger.GetMode() == 0 ? 0 : 1;
    m_settings.divider = static_cast<int>(m_trigger.GetDivider());
    m_settings.delay = m_trigger.GetDelay();
    m_settings.channelText = Slots();
}

void CViewMeasurementSingle::OnConfigure() {
    m_settings.channelText = Slots();
    CDlgSingleMeas dialog(Choices(), m_settings, window());
    if (dialog.exec() == QDialog::Accepted)
        ApplySettings(dialog.Settings());
}

void CViewMeasurementSingle::ApplySettings(const MeasurementSetup::SingleSettings& settings) {
    m_settings = settings;
    try {
        m_trigger = MeasurementSetup::BuildTrigger(*m_doc.GetCatalogue(), m_settings);
    } catch (const CParameterException& e) {
        quirel::ui::ShowMessageBox(window(), e.GetMessage(), std::string(), MbIcon::Error);
    }
    TakeSlots(m_settings.channelText);
}

void CViewMeasurementSingle::OnStart() {
    if (const unsigned refusal = MeasurementSetup::CheckSingleStart(
            ChosenIds().size(), IsConnected(), static_cast<int64_t>(m_trigger.GetDivider()))) {
        Message(refusal, MbIcon::Warning);
        return;
    }
    Controller().ClearPollQueue();
    const CMeasStart start = CMeasStart::Now();
    ResetView();
    m_doc.OnNewDocument();
    m_doc.InitMeasurement(m_trigger, ChosenIds(), start);
    window()->setWindowTitle(quirel::ui::ResourceText(CaptionId()));
    if (!Controller().AddUserJob(std::make_unique<CJobWriteTrigger>(&m_doc))) {
        Message(kIdsModbusError, MbIcon::Error);
        return;
    }
    m_awaitingArm = true;
    m_doc.SetRunning(true);
    m_timer.start();
    OnPollTimer();
    m_traceReadLatch = false;
}

void CViewMeasurementSingle::OnPollTimer() {
    Controller().AddPollJob(std::make_unique<CJobQueryTrigger>(&m_doc)); // a refused job is deleted
}

void CViewMeasurementSingle::OnCancel() {
    m_timer.stop();
    m_traceReadLatch = true;
    m_awaitingArm = false;
    m_doc.SetRunning(false);
    // Nothing waiting is discarded: the cancel follows a trigger write still queued, so the device ends
    // disarmed, and the samples a continuous measurement has queued stay.
    Controller().AddUserJob(std::make_unique<CJobCancelTrigger>(&m_doc));
}

void CViewMeasurementSingle::OnRunningHint() {
    if (!m_doc.IsRunning())
        m_timer.stop();
}

bool CViewMeasurementSingle::OnKindHint(int64_t hint) {
    if (hint != UpdateHint::kTriggerState)
        return false;
    HandleTriggerState();
    return true;
}

void CViewMeasurementSingle::HandleTriggerState() {
    CControllerModbus& controller = Controller();
    switch (m_doc.GetTriggerState()) {
    case CDocMeasurementSingle::kNoTrigger:
        if (m_awaitingArm && !m_doc.WasArmed() && m_doc.IsRunning())
            return; // read before the trigger was written: keep polling
        m_timer.stop();
        // Running, yet the device holds no trigger (reset or switched off meanwhile): nothing will come.
        if (m_doc.IsRunning() && !m_traceReadLatch)
            m_doc.SetRunning(false);
        break;
    case CDocMeasurementSingle::kTriggerActive:
        if (!IsConnected()) {
            m_doc.SetTriggerState(CDocMeasurementSingle::kNoTrigger);
            m_doc.SetRunning(false);
        } else if (!m_doc.IsRunning()) {
            // An armed trigger found in the device (after a start of the program, say): polled on.
            if (controller.AddPollJob(std::make_unique<CJobReadTrigger>(&m_doc))) {
                m_traceReadLatch = false;
                m_doc.SetRunning(true);
                m_timer.start();
            }
        }
        break;
    case CDocMeasurementSingle::kTraceReady:
        if (m_traceReadLatch)
            break;
        m_traceReadLatch = true;
        m_timer.stop();
        Chart()->SetChannels({});
        Chart()->replot(QCustomPlot::rpQueuedReplot);
        if (controller.AddPollJob(std::make_unique<CJobReadTrigger>(&m_doc)))
            controller.AddPollJob(std::make_unique<CJobReadTraces>(&m_doc));
        break;
    default:
        break;
    }
}

void CViewMeasurementSingle::OnFft(int mainsHz) {
    const int channel = SelectedChannel();
    if (channel >= Data().GetChannelCount() || channel >= static_cast<int>(Chart()->Channels().size()))
        return;
    const CChartColumn& column = Data().Column(channel);
    const CMeasurementChart::Channel& ch = Chart()->Channels()[static_cast<size_t>(channel)];
    CDlgFft::Input input;
    input.mainsHz = mainsHz;
    input.divider = m_doc.GetTrigger().GetDivider();
    input.colour = ch.colour;
    input.parameterId = m_doc.GetParameterId(channel);
    input.x.reserve(column.Size());
    input.y.reserve(column.Size());
    for (size_t j = 0; j < column.Size(); ++j) {
        input.x.push_back(Data().X(static_cast<double>(j)));
        input.y.push_back(column.At(j) * ch.factor + ch.offset);
    }
    const Spectrum::Result spectrum =
        Spectrum::Compute(input.y.data(), input.y.size(), mainsHz, input.divider);
    const std::string refusal = MeasurementTexts::SpectrumRefusal(spectrum);
    if (!refusal.empty()) {
        quirel::ui::ShowMessageBox(window(), refusal, "FFT", MbIcon::Information);
        return;
    }
    if (!m_fft)
        m_fft = std::make_unique<CDlgFft>(m_doc.GetCatalogue(), window());
    m_fft->Fill(input, spectrum);
    m_fft->exec();
}
