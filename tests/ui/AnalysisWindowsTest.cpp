// The power-quality side of the measurement windows, on signals with known answers: the figures and pairs
// of a single measurement, the visible range of a continuous one, limits in the spectrum, a derived channel
// drawn, exported and kept beside the file (never in it), the filter's effectiveness, and the service
// report from the File menu.
#include "MeasurementWindowsFixture.h"
#include "analysis/DocumentDerived.h"
#include "base/DecimalNumber.h"
#include "measurement/DocMeasurementSingle.h"
#include "ui/app/DlgServiceReport.h"
#include "ui/common/ModalDialogs.h"
#include "ui/measurement/DlgDerivedChannels.h"
#include "ui/measurement/DlgEffectiveness.h"
#include "ui/measurement/FiguresPanel.h"
#include "ui/measurement/LimitChooser.h"
#include "ui/measurement/ViewMeasurementSingle.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <numbers>

using quirel::test::FileBytes;
using quirel::test::Float;

namespace {

// 230 V at 50,02 Hz; a load of 100 A lagging by 30 degrees with a 5th harmonic of 30 A, of which the
// filter takes 20 A (mains = load + filter current). Sampled at 6,4 kHz (divider 5), four periods.
void FillKnown(CDocMeasurementSingle& doc) {
    CTrigger trigger;
    trigger.Set(0, 0, 5, 183, 8, 0);
    doc.OnNewDocument();
    doc.InitMeasurement(trigger, {183, 180, 186}, CMeasStart(2024, 3, 1, 8, 0, 0));
    const double r2 = std::numbers::sqrt2;
    for (int j = 0; j < 512; ++j) {
        const double w = 2 * std::numbers::pi * 50.02 * j / 6400.0;
        const double filter = -20 * r2 * std::sin(5 * w);
        doc.AddValue(0, Float(230 * r2 * std::sin(w)));
        doc.AddValue(
            1, Float(100 * r2 * std::sin(w - std::numbers::pi / 6) + 30 * r2 * std::sin(5 * w) + filter));
        doc.AddValue(2, Float(filter));
    }
}

QString Text(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString("(none)");
}

} // namespace

class AnalysisWindowsTest : public QObject, private quirel::test::MeasurementWindowsFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartSimulator()); }
    void init() { m_boxes.clear(); }
    void cleanup() {
        quirel::ui::SetModalHandler({});
        quirel::ui::SetFileDialogHandler({});
    }

    // The panel's figures and the proposed pair; the effectiveness of the filter on the 5th.
    void figuresAndEffectivenessOfKnownSignals() {
        auto app = StartApp(false);
        FillKnown(app->DocMeasurementSingle());
        app->OnSingleMeasurement();
        CViewMeasurementSingle* view = app->FindSingleMeasurementView();
        view->FlushRedraw();
        const struct {
            const QTableWidget* table;
            int row, column;
            const char* text;
        } cells[] = {
            {view->Figures()->Table(), 0, 2, "230,0"},     {view->Figures()->Table(), 0, 5, "50,020"},
            {view->Figures()->Table(), 0, 7, "4"},         {view->Figures()->Table(), 1, 2, "100,5"},
            {view->Figures()->Table(), 1, 6, "10,00"},     {view->Figures()->Table(), 2, 5, "--"},
            {view->Figures()->Table(), 2, 6, "--"},        {view->Figures()->PairTable(), 0, 0, "183 / 180"},
            {view->Figures()->PairTable(), 0, 1, "30,0"},  {view->Figures()->PairTable(), 0, 2, "0,866"},
            {view->Figures()->PairTable(), 0, 3, "0,862"}, {view->Figures()->PairTable(), 0, 4, "19,92"},
            {view->Figures()->PairTable(), 0, 5, "11,50"}, {view->Figures()->PairTable(), 0, 6, "23,11"},
        };
        for (const auto& c : cells)
            QCOMPARE(Text(c.table, c.row, c.column), QString(c.text));

        bool shown = false;
        quirel::ui::SetModalHandler([&](QDialog& dialog) {
            auto& e = dynamic_cast<CDlgEffectiveness&>(dialog);
            shown = e.Before()->text() == "30,0 %" && e.After()->text() == "10,0 %" &&
                    e.Removed()->text() == "67 %" && Text(e.Table(), 0, 0) == "5" &&
                    Text(e.Table(), 0, 3) == "66,7";
            return int(QDialog::Rejected);
        });
        view->OnEffectiveness();
        QVERIFY(shown);
        Finish(app);
    }

    // Minimum, mean and maximum of what is visible, as the view moves.
    void continuousVisibleRange() {
        auto app = StartApp(false);
        CViewMeasurementContinuous* view = ShowContinuous(*app, 1000);
        for (int step :
             {CMeasurementChart::kFull, CMeasurementChart::kZoomIn, CMeasurementChart::kScrollLeft}) {
            view->OnNavigate(step);
            QCoreApplication::processEvents();
            const auto [first, end] = view->Chart()->VisibleIndices();
            double lo = 1e9, hi = -1e9, sum = 0;
            for (size_t j = first; j < end; ++j) {
                const double v = app->DocMeasurementContinuous().GetValue(1, j);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
                sum += v;
            }
            QCOMPARE(view->Figures()->Cell(1, 2), QString::fromStdString(quirel::formatDecimalComma(lo, 1)));
            QCOMPARE(view->Figures()->Cell(1, 3),
                     QString::fromStdString(quirel::formatDecimalComma(sum / double(end - first), 2)));
            QCOMPARE(view->Figures()->Cell(1, 4), QString::fromStdString(quirel::formatDecimalComma(hi, 1)));
        }
        Finish(app);
    }

    // IEEE 519 at IL 100 A: the 5th (10 A) fails its 7 %, the overall verdict fails, the limit is drawn
    // over the orders; without limits the table has no verdicts and nothing is drawn.
    void spectrumLimits() {
        auto app = StartApp(false);
        FillKnown(app->DocMeasurementSingle());
        app->OnSingleMeasurement();
        CViewMeasurementSingle* view = app->FindSingleMeasurementView();
        view->FlushRedraw();
        CDlgFft fft; // no parent: the window goes before the dialog does
        const CDlgFft::Input input = view->FftInput(1, 50);
        fft.Fill(input, Spectrum::Compute(input.y.data(), input.y.size(), 50, input.divider));
        fft.Limits()->Select("ieee519");
        fft.Limits()->Ratio()->setCurrentText("20-50");
        fft.Limits()->DemandCurrent()->setValue(100);
        QVERIFY(fft.VerdictLabel()->text().contains("FAIL"));
        QCOMPARE(Text(fft.HarmonicTable(), 4, 4), QString("7,0"));
        QCOMPARE(Text(fft.HarmonicTable(), 4, 5), QString("fail"));
        QCOMPARE(Text(fft.HarmonicTable(), 6, 5), QString("pass"));
        const double f1 = fft.Harmonics().orders.front().frequencyHz;
        bool drawn = false; // the 5th's step ends half an order above it, at 7 % of IL as a peak
        for (const QCPGraphData& p : *fft.LimitLine()->data())
            drawn =
                drawn || (p.key == 5.5 * f1 && std::abs(p.value - 0.07 * 100 * std::numbers::sqrt2) < 1e-9);
        QVERIFY(drawn);
        fft.Limits()->Select("");
        QCOMPARE(fft.HarmonicTable()->columnCount(), 4);
        QVERIFY(fft.LimitLine()->data()->isEmpty());
        Finish(app);
    }

    // A load current derived in the dialog is drawn and exported like a captured channel; Save puts it
    // beside the file, whose bytes stay those of the captured channels, and Open brings it back.
    void derivedChannelBesideTheFile() {
        auto app = StartApp(false);
        CDocMeasurementSingle& doc = app->DocMeasurementSingle();
        FillKnown(doc);
        app->OnSingleMeasurement();
        CViewMeasurementSingle* view = app->FindSingleMeasurementView();
        const QDir dir(m_folder.path());
        const QString file = dir.filePath("d.nbts");
        QVERIFY(view->ExportTo(file));
        const QByteArray captured = FileBytes(file);
        QString refusal;
        bool added = false;
        quirel::ui::SetModalHandler([&](QDialog& dialog) {
            auto& d = dynamic_cast<CDlgDerivedChannels&>(dialog);
            d.Operation()->setCurrentIndex(1);
            d.SourceA()->setCurrentIndex(d.SourceA()->findData(180));
            d.SourceB()->setCurrentIndex(d.SourceB()->findData(186));
            d.Id()->setValue(183);
            added = d.AddFromForm();
            refusal = d.Refusal()->text();
            d.Id()->setValue(9001);
            added = !added && d.AddFromForm();
            return int(QDialog::Rejected);
        });
        view->OnDerivedChannels();
        QVERIFY(added);
        QCOMPARE(refusal, QString("Derived channel 183: the identifier is already used by another channel."));
        QCOMPARE(view->Chart()->graphCount(), 4);
        QVERIFY(view->Chart()->graph(3)->name().startsWith("9001 Load current L1 [A]"));
        QCOMPARE(Text(view->Figures()->Table(), 3, 6), QString("30,00"));
        QVERIFY(view->ExportTo(dir.filePath("d.csv")));
        QVERIFY(FileBytes(dir.filePath("d.csv")).contains(",9001 Load current L1\r\n"));
        QVERIFY(view->ExportTo(file));
        QCOMPARE(FileBytes(file), captured);
        QVERIFY(FileBytes(file + ".derived").endsWith("\n9001=diff(180,186);A;Load current L1\n"));

        FillKnown(doc);
        quirel::analysis::SetDocumentDerived(doc, {});
        view->SetFileChooser([&](QWidget*, bool, const QStringList&, const QString&) { return file; });
        view->OnOpen();
        QCOMPARE(doc.GetShownChannelCount(), 4);
        QCOMPARE(doc.GetChannelTitle(3), std::string("9001 Load current L1"));
        QVERIFY(m_boxes.empty());
        Finish(app);
    }

    // "File > Service report ...": without a connection it needs a file; it writes the HTML, then a PDF of
    // the same page.
    void serviceReportFromTheFileMenu() {
        auto app = StartApp(false);
        FillKnown(app->DocMeasurementSingle());
        const QDir dir(m_folder.path());
        const std::string measurement = dir.filePath("r.nbts").toStdString();
        QCOMPARE(app->DocMeasurementSingle().WriteFile(measurement, true), MeasurementFileResult::kOk);
        quirel::ui::SetFileDialogHandler([&](quirel::ui::FileDialogMode, const QString& filter) {
            return dir.filePath(filter.contains("pdf") ? "r.pdf" : "r.html").toStdString();
        });
        QString refusal;
        quirel::ui::SetModalHandler([&](QDialog& dialog) {
            if (auto* options = dynamic_cast<CDlgServiceReport*>(&dialog)) {
                options->accept();
                refusal = options->Refusal()->text();
                options->AddFile(QString::fromStdString(measurement));
                options->VoltageLimits()->Select("en50160");
                options->accept();
                return options->result();
            }
            dialog.findChild<QPushButton*>("pdfReport")->click();
            return int(QDialog::Accepted);
        });
        app->Action(Command::kServiceReport)->trigger();
        QCOMPARE(refusal, QString("Nothing to report: without a connection the report needs at least one "
                                  "measurement file."));
        const QByteArray html = FileBytes(dir.filePath("r.html"));
        QVERIFY(html.contains("<svg") && html.contains("r.nbts") && html.contains("EN 50160:2010"));
        QVERIFY(FileBytes(dir.filePath("r.pdf")).startsWith("%PDF-"));
        QVERIFY(m_boxes.empty());
        Finish(app);
    }
};

QUIREL_UI_TEST(AnalysisWindowsTest)
#include "AnalysisWindowsTest.moc"
