#include "ui/measurement/MeasurementScreenshots.h"

#include "analysis/DocumentDerived.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/Spectrum.h"
#include "report/ReportAnalysis.h"
#include "ui/app/KestrelApp.h"
#include "ui/common/EventPump.h"
#include "ui/common/UiText.h"
#include "ui/measurement/DiagramControl.h"
#include "ui/measurement/DlgDerivedChannels.h"
#include "ui/measurement/DlgEffectiveness.h"
#include "ui/measurement/DlgFft.h"
#include "ui/measurement/LimitChooser.h"
#include "ui/measurement/MeasurementChart.h"
#include "ui/measurement/TraceViewFrame.h"
#include "ui/measurement/ViewMeasurementContinuous.h"
#include "ui/measurement/ViewMeasurementSingle.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDoubleSpinBox>
#include <QScreen>

#include <cstdio>

namespace {

using quirel::ui::PumpEvents;

void Save(const QPixmap& picture, const QString& path) {
    picture.save(path);
    std::printf("%s\n", qPrintable(path));
}

std::string Entry(const std::vector<std::string>& choices, int id) {
    for (const std::string& c : choices)
        if (MeasurementSetup::ChannelId(c) == id)
            return c;
    return MeasurementSetup::kNoChannel;
}

// A capture of the three phases (mains voltages and currents, the filter current of L1) with the load
// current of L1 derived: the figures, the dialog that derives it, its spectrum against IEEE 519 and the
// filter's effectiveness.
void PhotographAnalysis(CKestrelApp& app, CViewMeasurementSingle& single, const QString& directory,
                        const QString& lang) {
    const std::vector<std::string> choices = MeasurementSetup::ChannelChoices(app.Catalogue());
    auto* frame = static_cast<CTraceViewFrame*>(single.window());
    MeasurementSetup::SingleSettings s = single.Settings();
    s.triggerText = Entry(choices, 183);
    s.delay = 0;
    s.channelText.fill(MeasurementSetup::kNoChannel);
    const int ids[] = {183, 184, 185, 180, 181, 182, 186};
    for (size_t i = 0; i < std::size(ids); ++i)
        s.channelText[i] = Entry(choices, ids[i]);
    single.ApplySettings(s);
    single.OnStart();
    CDocMeasurementSingle& doc = app.DocMeasurementSingle();
    QDeadlineTimer deadline(20000);
    while ((doc.IsRunning() || doc.GetChannelCount() < 7 || doc.GetValueCount(6) == 0) &&
           !deadline.hasExpired())
        PumpEvents(100);
    doc.SetAxis(0, 1);
    doc.SetAxis(1, 1);
    doc.SetAxis(2, 1);
    const std::optional<quirel::analysis::DerivedChannel> load = quirel::analysis::DerivedChannel::Parse(
        "9001=diff(180,186);A;" + quirel::ui::Tx("Load current L%1").arg(1).toStdString());
    single.SetDerivedChannels({*load});
    PumpEvents(500);
    Save(frame->grab(), QDir(directory).filePath("figures-" + lang + ".png"));

    CDlgDerivedChannels derived(
        doc, [](std::vector<quirel::analysis::DerivedChannel>) {}, frame);
    derived.Operation()->setCurrentIndex(2);
    derived.SourceA()->setCurrentIndex(derived.SourceA()->findData(183));
    derived.SourceB()->setCurrentIndex(derived.SourceB()->findData(180));
    derived.Name()->setText(lang == "en" ? "Instantaneous power L1" : "Momentanleistung L1");
    derived.show();
    PumpEvents(300);
    Save(derived.grab(), QDir(directory).filePath("derived-" + lang + ".png"));
    derived.close();

    // The load current against IEEE 519 at a site of Isc/IL 20-50 and IL 160 A.
    CDlgFft fft(frame);
    const CDlgFft::Input input = single.FftInput(7, 50);
    const Spectrum::Result spectrum = Spectrum::Compute(input.y.data(), input.y.size(), 50, input.divider);
    if (spectrum.status == Spectrum::Result::kOk) {
        fft.Fill(input, spectrum);
        fft.SetLogarithmic(true);
        fft.Limits()->Select("ieee519");
        fft.Limits()->Ratio()->setCurrentText("20-50");
        fft.Limits()->DemandCurrent()->setValue(160);
        fft.SetCursorBin(4 * 5);
        fft.show();
        PumpEvents(400);
        Save(fft.grab(), QDir(directory).filePath("fft-limits-" + lang + ".png"));
        fft.close();
    }

    std::vector<quirel::report::MissingPart> missing;
    quirel::report::ReportMeasurement m =
        quirel::report::AnalyseMeasurement(doc, quirel::analysis::DocumentDerived(doc), {}, missing);
    if (!m.effectiveness.empty()) {
        CDlgEffectiveness effectiveness(std::move(m), frame);
        effectiveness.show();
        PumpEvents(400);
        Save(effectiveness.grab(), QDir(directory).filePath("effectiveness-" + lang + ".png"));
        effectiveness.close();
    }
    single.SetDerivedChannels({});
}

} // namespace

void PhotographMeasurements(CKestrelApp& app, const QString& directory, const QString& lang) {
    const std::vector<std::string> choices = MeasurementSetup::ChannelChoices(app.Catalogue());

    // A capture of one mains period and a half around a rising zero crossing of the current in L1.
    app.OnSingleMeasurement();
    if (CViewMeasurementSingle* single = app.FindSingleMeasurementView()) {
        auto* frame = static_cast<CTraceViewFrame*>(single->window());
        frame->resize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight);
        frame->move(0, 0);
        MeasurementSetup::SingleSettings s;
        s.triggerText = Entry(choices, 180);
        s.level = 0.0;
        s.divider = 5;
        s.delay = 100;
        s.channelText.fill(MeasurementSetup::kNoChannel);
        const int ids[] = {180, 181, 182, 183, 186};
        for (size_t i = 0; i < std::size(ids); ++i)
            s.channelText[i] = Entry(choices, ids[i]);
        single->ApplySettings(s);
        single->OnStart();
        CDocMeasurementSingle& doc = app.DocMeasurementSingle();
        QDeadlineTimer deadline(20000);
        while ((doc.IsRunning() || doc.GetChannelCount() == 0 || doc.GetValueCount(0) == 0) &&
               !deadline.hasExpired())
            PumpEvents(100);
        // The voltage on the right axis, as a service engineer compares it with the currents.
        if (doc.GetChannelCount() > 3)
            doc.SetAxis(3, 1);
        doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
        single->FlushRedraw();
        // C1 at the trigger instant, C2 one mains period (20 ms = 128 samples) later.
        single->Chart()->SetCursor(0, 100);
        single->Chart()->SetCursor(1, 228);
        single->SelectChannel(0);
        PumpEvents(300);
        Save(frame->grab(), QDir(directory).filePath("single-" + lang + ".png"));

        // The diagram control beside the chart, as a click on a line floats it.
        frame->DiagramControl()->ShowAt(frame->mapToGlobal(QPoint(560, 470)),
                                        single->Chart()->Channels()[0].title);
        PumpEvents(300);
        QScreen* screen = QApplication::primaryScreen();
        Save(screen->grabWindow(0, frame->x(), frame->y(), frame->width(), frame->height()),
             QDir(directory).filePath("single-control-" + lang + ".png"));
        frame->DiagramControl()->hide();

        // The spectrum of the current in L1.
        if (doc.GetChannelCount() > 0 && doc.GetValueCount(0) > 0) {
            CDlgFft fft(frame);
            const CDlgFft::Input input = single->FftInput(0, 50);
            const Spectrum::Result spectrum =
                Spectrum::Compute(input.y.data(), input.y.size(), 50, input.divider);
            if (spectrum.status == Spectrum::Result::kOk) {
                fft.Fill(input, spectrum);
                fft.SetLogarithmic(true); // the harmonics beside the fundamental
                fft.SetCursorBin(4 * 5);  // the fifth harmonic
                fft.show();
                PumpEvents(400);
                Save(fft.grab(), QDir(directory).filePath("fft-" + lang + ".png"));
                fft.close();
            }
        }
        PhotographAnalysis(app, *single, directory, lang);
        frame->close();
    }

    // A continuous measurement of mains frequency, voltage and currents, once a second.
    app.OnContinuousMeasurement();
    if (CViewMeasurementContinuous* continuous = app.FindContinuousMeasurementView()) {
        QWidget* frame = continuous->window();
        frame->resize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight);
        MeasurementSetup::ContinuousSettings s;
        s.interval = 1;
        s.channelText.fill(MeasurementSetup::kNoChannel);
        const int ids[] = {120, 130, 110};
        for (size_t i = 0; i < std::size(ids); ++i)
            s.channelText[i] = Entry(choices, ids[i]);
        continuous->ApplySettings(s);
        continuous->OnStart();
        app.DocMeasurementContinuous().SetAxis(2, 1);
        PumpEvents(12500);
        continuous->Chart()->SetCursor(0, 2);
        continuous->Chart()->SetCursor(1, 9);
        PumpEvents(300);
        Save(frame->grab(), QDir(directory).filePath("continuous-" + lang + ".png"));
        continuous->OnCancel();
        frame->close();
    }
}
