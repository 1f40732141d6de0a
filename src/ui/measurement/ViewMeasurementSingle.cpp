#include "ui/measurement/ViewMeasurementSingle.h"

#include "analysis/DocumentDerived.h"
#include "analysis/MeasurementChannels.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementTexts.h"
#include "measurement/Spectrum.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"
#include "report/ReportAnalysis.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/UiText.h"
#include "ui/measurement/DlgEffectiveness.h"
#include "ui/measurement/DlgFft.h"
#include "ui/measurement/DlgSingleMeas.h"
#include "ui/measurement/FiguresPanel.h"
#include "ui/measurement/MeasurementChart.h"

namespace {
constexpr unsigned kIdsNoEffectiveness = 1852;
} // namespace

CViewMeasurementSingle::CViewMeasurementSingle(CDocMeasurementSingle& doc, CControllerModbus& controller,
                                               quirel::ui::CQtUiPort& ui,
                                               quirel::ui::ISettingsStore& settings, QWidget* parent)
    : CViewMeasurementBase(doc, controller, ui, settings, parent), m_doc(doc), m_run(doc, controller) {
    setObjectName(kClassName);
    m_settings.channelText.fill(MeasurementSetup::kNoChannel);
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &CViewMeasurementSingle::OnPollTimer);
    m_run.OnPollingChanged([this](bool polling) { polling ? m_timer.start() : m_timer.stop(); });
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
    const CSingleMeasurementRun::Started started = m_run.Start(m_trigger, ChosenIds(), CMeasStart::Now());
    if (started.documentReset) {
        ResetView();
        window()->setWindowTitle(quirel::ui::ResourceText(CaptionId()));
    }
    if (started.refusal)
        Message(started.refusal, started.documentReset ? MbIcon::Error : MbIcon::Warning);
}

void CViewMeasurementSingle::OnPollTimer() {
    m_run.Poll();
}

void CViewMeasurementSingle::OnCancel() {
    m_run.Cancel();
}

void CViewMeasurementSingle::OnRunningHint() {
    m_run.OnHint(UpdateHint::kRunning);
    if (m_figuresWaiting && !m_doc.IsRunning())
        UpdateFigures(false);
}

void CViewMeasurementSingle::UpdateFigures(bool fresh) {
    m_figuresFresh = m_figuresFresh || fresh;
    // Traces arrive a channel at a time: the figures of half a capture would only flicker.
    m_figuresWaiting = m_doc.IsRunning();
    if (m_figuresWaiting)
        return;
    Figures()->ShowFigures(quirel::analysis::CollectChannels(m_doc, quirel::analysis::DocumentDerived(m_doc)),
                           Colours(), m_figuresFresh);
    m_figuresFresh = false;
}

void CViewMeasurementSingle::OnEffectiveness() {
    std::vector<quirel::report::MissingPart> missing;
    quirel::report::ReportMeasurement m =
        quirel::report::AnalyseMeasurement(m_doc, quirel::analysis::DocumentDerived(m_doc), {}, missing);
    if (m.effectiveness.empty()) {
        Message(kIdsNoEffectiveness, MbIcon::Information);
        return;
    }
    CDlgEffectiveness dialog(std::move(m), window());
    quirel::ui::ExecModal(dialog);
}

bool CViewMeasurementSingle::OnKindHint(int64_t hint) {
    if (hint != UpdateHint::kTriggerState)
        return false;
    if (m_run.OnHint(hint) == CSingleMeasurementRun::Reaction::kReadingTraces) {
        Chart()->SetChannels({});
        Chart()->replot(QCustomPlot::rpQueuedReplot);
    }
    return true;
}

void CViewMeasurementSingle::AdoptDocument() {
    m_run.Adopt();
}

CDlgFft::Input CViewMeasurementSingle::FftInput(int channel, int mainsHz) const {
    CDlgFft::Input input;
    input.mainsHz = mainsHz;
    input.divider = m_doc.GetTrigger().GetDivider();
    if (channel < 0 || channel >= Data().GetChannelCount() ||
        channel >= static_cast<int>(Chart()->Channels().size()))
        return input;
    const CChartColumn& column = Data().Column(channel);
    const CMeasurementChart::Channel& ch = Chart()->Channels()[static_cast<size_t>(channel)];
    input.colour = ch.colour;
    input.parameterId = m_doc.GetParameterId(channel);
    input.name = quirel::ui::Qs(m_doc.GetChannelName(channel));
    input.unit = quirel::ui::Qs(m_doc.GetChannelUnit(channel));
    input.precision = m_doc.GetChannelPrecision(channel);
    input.x.reserve(column.Size());
    input.y.reserve(column.Size());
    for (size_t j = 0; j < column.Size(); ++j) {
        input.x.push_back(Data().X(static_cast<double>(j)));
        input.y.push_back(column.At(j) * ch.factor + ch.offset);
    }
    return input;
}

void CViewMeasurementSingle::OnFft(int mainsHz) {
    const int channel = SelectedChannel();
    if (channel >= Data().GetChannelCount() || channel >= static_cast<int>(Chart()->Channels().size()))
        return;
    const CDlgFft::Input input = FftInput(channel, mainsHz);
    const Spectrum::Result spectrum =
        Spectrum::Compute(input.y.data(), input.y.size(), mainsHz, input.divider);
    const std::string refusal = MeasurementTexts::SpectrumRefusal(spectrum);
    if (!refusal.empty()) {
        quirel::ui::ShowMessageBox(window(), refusal, "FFT", MbIcon::Information);
        return;
    }
    if (!m_fft)
        m_fft = std::make_unique<CDlgFft>(window());
    m_fft->Fill(input, spectrum);
    m_fft->exec();
}
