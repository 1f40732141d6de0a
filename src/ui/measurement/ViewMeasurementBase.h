#pragma once

#include "analysis/DerivedChannel.h"
#include "base/Document.h"
#include "base/UiPort.h"
#include "measurement/ChartData.h"
#include "measurement/MeasurementSetup.h"
#include "ui/common/FrameView.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CControllerModbus;
class CDiagramControl;
class CDocMeasurementBase;
class CFiguresPanel;
class CMeasurementChart;
class QPrinter;

namespace quirel::ui {
class CQtUiPort;
class ISettingsStore;
} // namespace quirel::ui

// What the two measurement windows share: the chart of the document, its information panel, the figures
// panel (its frame docks it), the diagram control's actions on the selected channel, navigation, derived
// channels, open, save and exports, print, and the channel slots the settings dialogs edit. The single and
// the continuous view add their settings, start, cancel, timers and figures.
//
// Document updates only mark the chart out of date; it is brought up to date at most kFrameMs after the
// first update of a burst, so a worker that appends fast costs one redraw per frame, not one per value.
class CViewMeasurementBase : public QWidget, public CView, public quirel::ui::IFrameView {
    Q_OBJECT
public:
    static constexpr int kFrameMs = 25;

    // Chooses a file to open (save false) or to save to, offering `filters` (Qt name filters, the first
    // chosen at first); empty when the user cancels. Tests answer without a dialog.
    using FileChooser =
        std::function<QString(QWidget* parent, bool save, const QStringList& filters, const QString& suffix)>;

    CViewMeasurementBase(CDocMeasurementBase& doc, CControllerModbus& controller, quirel::ui::CQtUiPort& ui,
                         quirel::ui::ISettingsStore& settings, QWidget* parent = nullptr);
    ~CViewMeasurementBase() override;

    CDocMeasurementBase& Document() const { return m_doc; }
    CMeasurementChart* Chart() const { return m_chart; }
    CFiguresPanel* Figures() const { return m_figures; }
    const CChartData& Data() const { return m_data; }

    // CView: hint 0 and every hint a kind does not take itself redraw.
    void OnUpdate(CView* sender, int64_t hint) override;
    // IFrameView
    void OnConnectionState(int) override {}
    bool OnRefresh() override { return false; }
    void OnInitialUpdate() override;

    // The toolbar's commands (the frame passes them on).
    void OnOpen();
    void OnSave();
    void OnPrint();
    void OnNavigate(int code);
    virtual void OnConfigure() = 0;
    virtual void OnStart() = 0;
    virtual void OnCancel() = 0;

    // The diagram control, acting on the selected channel.
    void SetDiagramControl(CDiagramControl* control);
    int SelectedChannel() const { return m_selected; }
    void SelectChannel(int channel);
    void OnGain(int percent);
    void OnOffset(int offset);
    void OnAxis(int axis);
    virtual void OnFft(int mainsHz) { (void)mainsHz; }
    virtual bool HasFft() const { return false; }
    virtual void OnEffectiveness() {}
    virtual bool HasEffectiveness() const { return false; }

    // "Derived channels": the dialog that adds and removes channels computed from others.
    void OnDerivedChannels();
    // Makes `channels` the measurement's derived channels and shows them.
    void SetDerivedChannels(const std::vector<quirel::analysis::DerivedChannel>& channels);

    // What Save does with a path, by its extension (any case): the kind's measurement file (its derived
    // channels in the side file beside it, FILE.derived), "bmp" and
    // "jpg"/"jpeg" pictures of the chart, "xlsx"/"xls" a spreadsheet of every point as drawn, "csv" the
    // visible rows as quirel-cli show prints them. Any other extension writes nothing and returns false.
    bool ExportTo(const QString& path);
    // The chart on the printer's page, landscape, as it is shown.
    void PrintTo(QPrinter& printer);
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    // The slots the settings dialog shows: "ID name" or "--" for each of the 10 possible channels.
    const std::array<std::string, MeasurementSetup::kMaxChannels>& Slots() const { return m_slots; }
    const std::vector<uint32_t>& ChosenIds() const { return m_chosen; }

    // Runs a redraw that document updates asked for now, instead of at the next frame.
    void FlushRedraw();
    // Redraws done so far (each at most once per frame).
    int Redraws() const { return m_redraws; }

signals:
    // The running flag may have changed: Start, Cancel and Open follow it.
    void runningChanged(bool running);
    // A line was clicked: the diagram control floats at `globalPos` with `caption`.
    void diagramControlRequested(const QPoint& globalPos, const QString& caption);

protected:
    // The view's class name and the caption of its frame (strings 173, 174).
    virtual unsigned CaptionId() const = 0;
    // The panel's lines after the cursor lines: trigger or interval.
    virtual std::vector<std::string> KindPanelLines() const = 0;
    // A new measurement or file: the kind takes the document's settings as those of the next start.
    virtual void TakeKindSettings() = 0;
    // After the data changed (`fresh`: it became another measurement): the kind's figures.
    virtual void UpdateFigures(bool fresh) { (void)fresh; }
    // The chart's colour of each channel it shows.
    std::vector<QColor> Colours() const;
    // Hint 0x8010: the kind stops its timer when the measurement no longer runs.
    virtual void OnRunningHint() = 0;
    // First showing: the kind takes up what the document holds (a measurement the document says runs).
    virtual void AdoptDocument() {}
    // Hints the kind handles itself (0x8020 for the single view); true when handled.
    virtual bool OnKindHint(int64_t hint) {
        (void)hint;
        return false;
    }
    // Slots and chosen identifiers after the settings dialog closed with OK.
    void TakeSlots(const std::array<std::string, MeasurementSetup::kMaxChannels>& texts);
    // The choices of the settings dialogs, and the slots in the dialogs' own form.
    std::vector<std::string> Choices() const;
    // Zoom and scrolling back to showing everything, as Full screen does.
    void ResetView();
    // A message box owned by this window.
    void Message(unsigned stringId, MbIcon icon) const;
    CControllerModbus& Controller() const { return m_controller; }
    quirel::ui::CQtUiPort& Ui() const { return m_ui; }
    bool IsConnected() const;
    void ScheduleRedraw();
    // Runs `work` behind a progress dialog, with the redraws held meanwhile (the chart's data and the
    // document are in use).
    void RunHeld(const QString& caption, const std::function<void()>& work, bool cancellable = false);

private:
    void Redraw();
    QStringList PanelText() const;
    QStringList HoverText(size_t index) const;
    void ShowSelectedScaling();
    std::optional<double> PlottedValue(int channel, size_t index) const;

    CDocMeasurementBase& m_doc;
    CControllerModbus& m_controller;
    quirel::ui::CQtUiPort& m_ui;
    quirel::ui::ISettingsStore& m_settings;
    CChartData m_data;
    CMeasurementChart* m_chart = nullptr;
    CFiguresPanel* m_figures = nullptr;
    CDiagramControl* m_control = nullptr;
    FileChooser m_chooseFile;

    std::array<std::string, MeasurementSetup::kMaxChannels> m_slots;
    std::vector<uint32_t> m_chosen;
    uint64_t m_generation = 0;
    uint64_t m_figuresGeneration = 0;
    bool m_taken = false; // the slots were taken from the document at least once
    int m_selected = 0;

    QTimer m_redrawTimer;
    QElapsedTimer m_sinceRedraw;
    bool m_redrawPending = false;
    bool m_held = false;
    int m_redraws = 0;
};
