#include "ui/measurement/ViewMeasurementBase.h"

#include "analysis/DocumentDerived.h"

#include "base/DecimalNumber.h"
#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementCsv.h"
#include "measurement/MeasurementTexts.h"
#include "measurement/SpreadsheetFile.h"
#include "parameters/ParameterManager.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/UiText.h"
#include "ui/common/WindowPlacement.h"
#include "ui/measurement/ChartFiles.h"
#include "ui/measurement/DiagramControl.h"
#include "ui/measurement/DlgDerivedChannels.h"
#include "ui/measurement/FiguresPanel.h"
#include "ui/measurement/MeasurementChart.h"

#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

constexpr unsigned kIdsNoValues = 177; // "No measured values available ..."
constexpr unsigned kIdsDerivedNotWritten = 1850;
constexpr unsigned kIdsDerivedNotRead = 1851;

// Distinct from the cursors' blue and red, and from each other on paper.
const QColor kSeriesColours[MeasurementSetup::kMaxChannels] = {
    QColor(0xE6, 0x55, 0x0D), QColor(0x2C, 0xA0, 0x2C), QColor(0x75, 0x6B, 0xB1), QColor(0x8C, 0x56, 0x4B),
    QColor(0xE3, 0x77, 0xC2), QColor(0x17, 0xBE, 0xCF), QColor(0xBC, 0xBD, 0x22), QColor(0x63, 0x63, 0x63),
    QColor(0x1F, 0x5F, 0xA0), QColor(0xA0, 0x1F, 0x3F)};

// The spin boxes' values of a channel's scaling. The gain is rounded, not cut: 0.57 x 100 is 56.99...,
// and a spin showing 56 for 57 % would step up to 57 and show 56 again. Values beyond the spins' ranges
// (and NaN, from a file) show at the nearest end.
int GainSpinValue(double factor) {
    const double percent = std::round(factor * 100.0);
    return std::isnan(percent) ? 0 : static_cast<int>(std::clamp(percent, 0.0, 32767.0));
}

int OffsetSpinValue(double offset) {
    return std::isnan(offset) ? 0 : static_cast<int>(std::clamp(std::trunc(offset), -32768.0, 32767.0));
}

} // namespace

CViewMeasurementBase::CViewMeasurementBase(CDocMeasurementBase& doc, CControllerModbus& controller,
                                           quirel::ui::CQtUiPort& ui, quirel::ui::ISettingsStore& settings,
                                           QWidget* parent)
    : QWidget(parent), m_doc(doc), m_controller(controller), m_ui(ui), m_settings(settings),
      m_chooseFile(quirel::ui::ChooseChartFile) {
    m_slots.fill(MeasurementSetup::kNoChannel);
    m_chart = new CMeasurementChart(this);
    m_chart->SetData(&m_data);
    m_chart->SetEmptyText(quirel::ui::ResourceText(kIdsNoValues));
    m_chart->SetPanelText([this] { return PanelText(); });
    m_chart->SetHoverText([this](size_t index) { return HoverText(index); });
    m_chart->setStatusTip(
        Tx("Click: cursor C1, right click: C2, drag: move the view, wheel: zoom (Ctrl: values); "
           "click a line for gain, offset and axis"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_chart);
    m_figures = new CFiguresPanel(dynamic_cast<CDocMeasurementSingle*>(&doc) != nullptr, this);
    m_figures->hide(); // until the frame docks it

    connect(m_chart, &CMeasurementChart::seriesClicked, this, [this](int channel, QPoint globalPos) {
        SelectChannel(channel);
        const auto& channels = m_chart->Channels();
        if (channel < static_cast<int>(channels.size()))
            emit diagramControlRequested(globalPos, channels[static_cast<size_t>(channel)].title);
    });
    m_redrawTimer.setSingleShot(true);
    connect(&m_redrawTimer, &QTimer::timeout, this, &CViewMeasurementBase::FlushRedraw);
    m_doc.AddView(this);
}

CViewMeasurementBase::~CViewMeasurementBase() {
    m_doc.RemoveView(this);
}

void CViewMeasurementBase::OnInitialUpdate() {
    window()->setWindowTitle(quirel::ui::ResourceText(CaptionId()));
    quirel::ui::RestoreWindowPlacement(window(), m_settings, ViewClassName());
    m_redrawPending = true;
    FlushRedraw();
    AdoptDocument();
    OnRunningHint();
    emit runningChanged(m_doc.IsRunning());
}

void CViewMeasurementBase::OnUpdate(CView*, int64_t hint) {
    if (hint == UpdateHint::kRunning) {
        OnRunningHint();
    } else if (hint == UpdateHint::kReset) {
        // New: the emptied document is shown and the next measurement configured.
        OnRunningHint();
        ScheduleRedraw();
        QTimer::singleShot(0, this, [this] { OnConfigure(); });
    } else if (!OnKindHint(hint)) {
        ScheduleRedraw();
    }
    emit runningChanged(m_doc.IsRunning());
}

// ---- redraw ----

void CViewMeasurementBase::ScheduleRedraw() {
    m_redrawPending = true;
    if (m_redrawTimer.isActive())
        return;
    const qint64 since = m_sinceRedraw.isValid() ? m_sinceRedraw.elapsed() : kFrameMs;
    m_redrawTimer.start(static_cast<int>(std::max<qint64>(0, kFrameMs - since)));
}

void CViewMeasurementBase::FlushRedraw() {
    if (!m_redrawPending || m_held)
        return;
    m_redrawTimer.stop();
    m_redrawPending = false;
    m_sinceRedraw.restart();
    Redraw();
}

void CViewMeasurementBase::Redraw() {
    ++m_redraws;
    const CChartData::Change change = m_data.Sync(m_doc);
    // The slots follow the document when it becomes another measurement; what the user configured since
    // is not overwritten by values arriving for the running one.
    const uint64_t generation = m_doc.GetGeneration();
    if (!m_taken || generation != m_generation) {
        m_taken = true;
        m_generation = generation;
        std::array<std::string, MeasurementSetup::kMaxChannels> texts;
        texts.fill(MeasurementSetup::kNoChannel);
        const CParameterManager* catalogue = m_doc.GetCatalogue();
        for (int i = 0; i < std::min(m_doc.GetChannelCount(), MeasurementSetup::kMaxChannels); ++i) {
            const auto id = static_cast<int32_t>(m_doc.GetParameterId(i));
            if (catalogue && catalogue->Exists(id))
                texts[static_cast<size_t>(i)] = m_doc.GetChannelTitle(i);
        }
        TakeSlots(texts);
        TakeKindSettings();
    }

    std::vector<CMeasurementChart::Channel> channels;
    const int count = std::min(m_doc.GetShownChannelCount(), m_data.GetChannelCount());
    for (int i = 0; i < count; ++i) {
        CMeasurementChart::Channel ch;
        ch.title = Qs(m_doc.GetChannelTitle(i));
        ch.legend = Qs(MeasurementTexts::Legend(m_doc, i));
        ch.rightAxis = m_doc.GetAxis(i) == CParameterValuesDiagram::kAxisRight;
        ch.factor = m_doc.GetFactor(i);
        ch.offset = m_doc.GetOffset(i);
        ch.colour = kSeriesColours[static_cast<size_t>(i) % MeasurementSetup::kMaxChannels];
        channels.push_back(ch);
    }
    m_chart->SetChannels(std::move(channels));
    m_chart->SetTimeTitle(Qs(MeasurementTexts::TimeAxisTitle(m_doc)));
    m_chart->DataChanged(change == CChartData::Change::kRebuilt);
    if (m_selected >= count)
        m_selected = 0;
    ShowSelectedScaling();
    if (change != CChartData::Change::kNone) {
        UpdateFigures(m_figuresGeneration != generation);
        m_figuresGeneration = generation;
    }
}

std::vector<QColor> CViewMeasurementBase::Colours() const {
    std::vector<QColor> colours;
    for (const CMeasurementChart::Channel& ch : m_chart->Channels())
        colours.push_back(ch.colour);
    return colours;
}

std::optional<double> CViewMeasurementBase::PlottedValue(int channel, size_t index) const {
    if (channel >= m_data.GetChannelCount() || channel >= static_cast<int>(m_chart->Channels().size()))
        return std::nullopt;
    const CChartColumn& column = m_data.Column(channel);
    if (index >= column.Size())
        return std::nullopt;
    const CMeasurementChart::Channel& ch = m_chart->Channels()[static_cast<size_t>(channel)];
    return column.At(index) * ch.factor + ch.offset;
}

QStringList CViewMeasurementBase::PanelText() const {
    QStringList lines;
    const int channels = std::min(m_doc.GetShownChannelCount(), static_cast<int>(m_chart->Channels().size()));
    if (m_chart->CursorsActive()) {
        for (int c = 0; c < 2; ++c) {
            lines << (c == 0 ? "C1:" : "C2:");
            for (int i = 0; i < channels; ++i) {
                QString line =
                    Qs(MeasurementTexts::CursorLine(m_doc, i, PlottedValue(i, m_chart->Cursor(c))));
                // The panel sets the value apart from the title; the text itself is as it is.
                const QString title = m_chart->Channels()[static_cast<size_t>(i)].title;
                if (line.startsWith(title))
                    line.insert(title.size(), '\t');
                lines << line;
            }
        }
        const double dt = m_data.X(static_cast<double>(m_chart->Cursor(1))) -
                          m_data.X(static_cast<double>(m_chart->Cursor(0)));
        lines << Qs(MeasurementTexts::DtLine(dt, m_doc.GetTimeUnit())) << QString();
    }
    for (const std::string& line : KindPanelLines())
        lines << Qs(line);
    lines << QString() << Qs(MeasurementTexts::StartLine(m_doc.GetMeasStart()));
    return lines;
}

QStringList CViewMeasurementBase::HoverText(size_t index) const {
    QStringList lines;
    lines << QString("t = %1 %2")
                 .arg(Qs(quirel::formatDecimalComma(m_data.X(static_cast<double>(index)), 4)),
                      m_doc.GetTimeUnit());
    const int channels = std::min(m_doc.GetShownChannelCount(), static_cast<int>(m_chart->Channels().size()));
    for (int i = 0; i < channels; ++i) {
        const std::optional<double> v = PlottedValue(i, index);
        lines << QString("%1: %2 %3")
                     .arg(m_chart->Channels()[static_cast<size_t>(i)].title,
                          v ? Qs(quirel::formatDecimalComma(*v, m_doc.GetChannelPrecision(i)))
                            : QString("--"),
                          Qs(m_doc.GetChannelUnit(i)).trimmed());
    }
    return lines;
}

// ---- settings and slots ----

void CViewMeasurementBase::TakeSlots(const std::array<std::string, MeasurementSetup::kMaxChannels>& texts) {
    m_slots = texts;
    m_chosen = MeasurementSetup::ChannelIds(texts);
}

std::vector<std::string> CViewMeasurementBase::Choices() const {
    const CParameterManager* catalogue = m_doc.GetCatalogue();
    return catalogue ? MeasurementSetup::ChannelChoices(*catalogue)
                     : std::vector<std::string>{MeasurementSetup::kNoChannel};
}

bool CViewMeasurementBase::IsConnected() const {
    return m_controller.IsConnected();
}

void CViewMeasurementBase::ResetView() {
    m_chart->Navigate(CMeasurementChart::kFull);
}

void CViewMeasurementBase::Message(unsigned stringId, MbIcon icon) const {
    quirel::ui::ShowMessageBox(window(), quirel::loadString(stringId), std::string(), icon);
}

// ---- diagram control ----

void CViewMeasurementBase::SetDiagramControl(CDiagramControl* control) {
    m_control = control;
    if (!m_control)
        return;
    m_control->SetFftEnabled(HasFft());
    connect(m_control, &CDiagramControl::gainChanged, this, &CViewMeasurementBase::OnGain);
    connect(m_control, &CDiagramControl::offsetChanged, this, &CViewMeasurementBase::OnOffset);
    connect(m_control, &CDiagramControl::axisChosen, this, &CViewMeasurementBase::OnAxis);
    connect(m_control, &CDiagramControl::fftRequested, this, &CViewMeasurementBase::OnFft);
    ShowSelectedScaling();
}

void CViewMeasurementBase::SelectChannel(int channel) {
    if (channel < 0 || channel >= m_doc.GetShownChannelCount())
        return;
    m_selected = channel;
    ShowSelectedScaling();
}

void CViewMeasurementBase::ShowSelectedScaling() {
    if (!m_control || m_selected >= m_doc.GetShownChannelCount())
        return;
    m_control->SetValues(GainSpinValue(m_doc.GetFactor(m_selected)),
                         OffsetSpinValue(m_doc.GetOffset(m_selected)),
                         m_doc.GetAxis(m_selected) == CParameterValuesDiagram::kAxisRight);
}

void CViewMeasurementBase::OnGain(int percent) {
    // The spin never goes below 0 %; a step that would is refused.
    if (percent < 0 || m_selected >= m_doc.GetShownChannelCount())
        return;
    m_doc.SetFactor(m_selected, percent / 100.0);
    m_doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
}

void CViewMeasurementBase::OnOffset(int offset) {
    if (m_selected >= m_doc.GetShownChannelCount())
        return;
    m_doc.SetOffset(m_selected, offset);
    m_doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
}

void CViewMeasurementBase::OnAxis(int axis) {
    if (m_selected >= m_doc.GetShownChannelCount() ||
        m_doc.GetAxis(m_selected) == static_cast<uint32_t>(axis))
        return;
    m_doc.SetAxis(m_selected, static_cast<uint32_t>(axis));
    m_doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
}

// ---- navigation, files, print ----

void CViewMeasurementBase::OnNavigate(int code) {
    if (code >= CMeasurementChart::kScrollRight && code <= CMeasurementChart::kFull)
        m_chart->Navigate(static_cast<CMeasurementChart::Step>(code));
}

void CViewMeasurementBase::RunHeld(const QString& caption, const std::function<void()>& work,
                                   bool cancellable) {
    m_held = true;
    m_ui.RunWithProgress(window(), caption.toStdString(), work, cancellable);
    m_held = false;
    if (m_redrawPending)
        ScheduleRedraw();
}

void CViewMeasurementBase::OnOpen() {
    if (m_doc.IsRunning())
        return; // the running measurement would write into the file's channels
    const QString ext = m_doc.GetFileExtension();
    const QString older = ext == "nbts" ? "bts" : "btc";
    const QString kind = ext == "nbts" ? "Single" : "Continuous";
    const QString path = m_chooseFile(
        window(), false, {QString("Quirel Viewer Velorin %1 Measurements (*.%2 *.%3)").arg(kind, ext, older)},
        ext);
    if (path.isEmpty())
        return;
    const bool opened = m_doc.OpenMeasurementFile(
        path.toStdString(), [this](const std::function<void()>& work) { RunHeld(Tx("Open"), work); });
    window()->setWindowTitle(Qs(m_doc.GetTitle()));
    if (!opened)
        return;
    // The file's derived channels, from beside it.
    const std::string why = quirel::analysis::LoadDerivedFile(m_doc, path.toStdString());
    m_doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
    if (!why.empty())
        quirel::ui::ShowMessageBox(window(), quirel::loadString(kIdsDerivedNotRead) + "\n" + why,
                                   std::string(), MbIcon::Warning);
}

void CViewMeasurementBase::OnDerivedChannels() {
    CDlgDerivedChannels dialog(
        m_doc,
        [this](std::vector<quirel::analysis::DerivedChannel> channels) { SetDerivedChannels(channels); },
        window());
    quirel::ui::ExecModal(dialog);
}

void CViewMeasurementBase::SetDerivedChannels(const std::vector<quirel::analysis::DerivedChannel>& channels) {
    quirel::analysis::SetDocumentDerived(m_doc, channels);
    m_doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
    FlushRedraw();
}

void CViewMeasurementBase::OnSave() {
    const QString ext = m_doc.GetFileExtension();
    const QString kind = ext == "nbts" ? "Single" : "Continuous";
    const QString path =
        m_chooseFile(window(), true,
                     {QString("Quirel Viewer Velorin %1 Measurements (*.%2)").arg(kind, ext), "BMP (*.bmp)",
                      "JPEG (*.jpg)", "Excel Sheet (*.xlsx *.xls)", Tx("CSV, visible range (*.csv)")},
                     ext);
    if (!path.isEmpty())
        ExportTo(path);
}

bool CViewMeasurementBase::ExportTo(const QString& path) {
    // What is written is what is shown, up to the last update.
    FlushRedraw();
    const QString ext = QFileInfo(path).suffix().toLower();
    const std::string file = path.toStdString();
    bool ok = false;
    bool cancelled = false; // a cancelled export leaves the old file, and is no failure to report
    if (ext == m_doc.GetFileExtension()) {
        // The other kind's extension is refused like any unknown one: its readers would misread the file.
        const bool saved = m_doc.SaveMeasurementFile(
            file, [this](const std::function<void()>& work) { RunHeld(Tx("Save"), work); });
        if (!saved)
            return false;
        window()->setWindowTitle(Qs(m_doc.GetTitle()));
        if (quirel::analysis::SaveDerivedFile(m_doc, file))
            return true;
        quirel::ui::ShowMessageBox(window(), quirel::loadString(kIdsDerivedNotWritten) + file + ".derived",
                                   std::string(), MbIcon::Error);
        return false;
    }
    if (ext == "bmp" || ext == "jpg" || ext == "jpeg") {
        const std::string bytes = quirel::ui::ChartPicture(m_chart, ext == "bmp" ? "BMP" : "JPG");
        ok = !bytes.empty() && quirel::writeFileAtomically(file, bytes);
    } else if (ext == "xlsx" || ext == "xls") {
        SpreadsheetTable table;
        table.sheetName = m_doc.GetDefaultTitle();
        table.header.push_back(MeasurementTexts::TimeAxisTitle(m_doc));
        for (int i = 0; i < static_cast<int>(m_chart->Channels().size()); ++i)
            table.header.push_back(m_doc.GetChannelTitle(i) + " [" + m_doc.GetChannelUnit(i) + "]");
        table.rows = m_data.GetMaxCount();
        // The rows are written on another thread: the scaling is taken now, the chart's data stands still
        // while redraws are held, and values come from the document under its lock (NaN, an empty cell,
        // once it was rewritten meanwhile).
        const std::vector<CMeasurementChart::Channel> channels = m_chart->Channels();
        table.cell = [this, channels](size_t row, size_t column) {
            if (column == 0)
                return m_data.X(static_cast<double>(row));
            const auto i = static_cast<int>(column) - 1;
            const CMeasurementChart::Channel& ch = channels[static_cast<size_t>(i)];
            const CChartColumn& values = m_data.Column(i);
            return row < values.Size() ? values.At(row) * ch.factor + ch.offset : std::nan("");
        };
        const std::string caption = Tx("Save").toStdString();
        RunHeld(
            Tx("Save"),
            [&] {
                ok = WriteSpreadsheet(file, table, [&](size_t done) {
                    m_ui.Progress(caption, file, static_cast<int>(done / 1024),
                                  static_cast<int>(table.rows / 1024));
                    cancelled = m_ui.ProgressCancelled();
                    return !cancelled;
                });
                m_ui.EndProgress();
            },
            true);
    } else if (ext == "csv") {
        const auto [first, end] = m_chart->VisibleIndices();
        RunHeld(Tx("Save"), [&] {
            quirel::AtomicFileWriter out;
            ok = out.Open(file) &&
                 WriteMeasurementCsv(m_doc, first, end,
                                     [&](std::string_view piece) { return out.Write(piece); }) &&
                 out.Commit();
        });
    } else {
        // Nothing is written, but the user learns why rather than finding no file.
        quirel::ui::ShowChartUnknownType(window(), path);
        return false;
    }
    if (!ok && !cancelled)
        quirel::ui::ShowChartNotWritten(window());
    return ok;
}

void CViewMeasurementBase::OnPrint() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, window());
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(printer);
}

void CViewMeasurementBase::PrintTo(QPrinter& printer) {
    quirel::ui::PrintChart(m_chart, printer);
}
