// The two measurement windows with a measurement shown, as a service engineer works with them:
// navigation, the diagram control, files, exports and print, the spectrum's length rule, and the windows
// as the menu opens them in German.
#include "MeasurementWindowsFixture.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementCsv.h"
#include "ui/measurement/ChartTrace.h"
#include "ui/measurement/DiagramControl.h"
#include "ui/measurement/ViewMeasurementSingle.h"

#include <QPrinter>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

using quirel::test::Float;
using quirel::test::PanelLines;

class MeasurementWindowsTest : public QObject, private quirel::test::MeasurementWindowsFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartSimulator()); }
    void init() { m_boxes.clear(); }

    // Every length rule through the window's FFT: a channel shorter than N is refused with a message.
    void spectrumRefusesTooFewValues() {
        auto app = StartApp(false);
        CDocMeasurementSingle& doc = app->DocMeasurementSingle();
        CTrigger trigger;
        trigger.Set(0, 0, 4, 180, 8, 0);
        doc.OnNewDocument();
        doc.InitMeasurement(trigger, {180}, CMeasStart());
        for (int j = 0; j < 479; ++j)
            doc.AddValue(0, Float(j));
        app->OnSingleMeasurement();
        CViewMeasurementSingle* view = app->FindSingleMeasurementView();
        view->FlushRedraw();
        view->OnFft(50);
        QCOMPARE(m_boxes,
                 std::vector<std::string>{"The spectrum needs 480 values of the channel; it holds 479."});
        QVERIFY(!view->FftDialog());
        Finish(app);
    }

    // Scroll and zoom steps by the toolbar, by wheel and by dragging; Full screen returns exactly to
    // showing everything and the offsets start from 0 again.
    void navigationReturnsExactly() {
        auto app = StartApp(false);
        CViewMeasurementContinuous* view = ShowContinuous(*app, 1000);
        CMeasurementChart* chart = view->Chart();
        const QCPRange x = chart->xAxis->range(), y = chart->yAxis->range(), y2 = chart->yAxis2->range();
        QVERIFY(x == QCPRange(0, 1998));
        CTraceViewFrame* frame = FrameOf(view);
        frame->Command(CTraceViewFrame::kRight)->trigger();
        QCOMPARE(chart->xAxis->range().lower, 199.8);
        QCOMPARE(chart->xAxis->range().upper, 2197.8);
        for (int id : {CTraceViewFrame::kRight, CTraceViewFrame::kUp, CTraceViewFrame::kZoomIn,
                       CTraceViewFrame::kZoomIn, CTraceViewFrame::kZoomOut, CTraceViewFrame::kLeft,
                       CTraceViewFrame::kDown, CTraceViewFrame::kDown})
            frame->Command(id)->trigger();
        QCOMPARE(chart->xAxis->range().size(), 1998 / 1.1 / 1.1 / 0.9);
        QTest::mouseMove(chart, QPoint(300, 200));
        QWheelEvent wheel(QPointF(300, 200), chart->mapToGlobal(QPointF(300, 200)), QPoint(), QPoint(0, 240),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart, &wheel);
        QTest::mousePress(chart, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
        QTest::mouseMove(chart, QPoint(500, 350));
        QTest::mouseRelease(chart, Qt::LeftButton, Qt::NoModifier, QPoint(500, 350));
        QVERIFY(!chart->IsHome());
        frame->Command(CTraceViewFrame::kFullScreen)->trigger();
        QVERIFY(chart->xAxis->range() == x && chart->yAxis->range() == y && chart->yAxis2->range() == y2);
        QVERIFY(chart->ScrollX() == 0 && chart->ScrollY() == 0 && chart->IsHome());
        Finish(app);
    }

    // A click on a line floats the diagram control for that channel; gain refuses to go below 0,
    // offset and axis act on the document and the legend follows.
    void diagramControl() {
        auto app = StartApp(false);
        CViewMeasurementContinuous* view = ShowContinuous(*app, 200);
        CMeasurementChart* chart = view->Chart();
        CDiagramControl* control = FrameOf(view)->DiagramControl();
        QVERIFY(!control->isVisible());
        QVERIFY(!control->Fft50()->isEnabled() && !control->Fft60()->isEnabled());
        // A point of the second line (mains voltage), in pixels.
        const auto pointOfLine1 = [chart] {
            const QCPGraphData& point = *(chart->graph(1)->data()->begin() + 80); // away from the cursors
            return QPoint(qRound(chart->xAxis->coordToPixel(point.key)),
                          qRound(chart->yAxis->coordToPixel(point.value)));
        };
        const QPoint at = pointOfLine1();
        QCOMPARE(chart->SeriesAt(at), 1);
        QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(view->SelectedChannel(), 1);
        QTRY_VERIFY(control->isVisible());
        QCOMPARE(control->windowTitle(), QString("110 Mains voltage L1"));
        QCOMPARE(control->Gain()->value(), 100);

        CDocMeasurementContinuous& doc = app->DocMeasurementContinuous();
        control->Gain()->setValue(0);
        control->Gain()->stepDown();
        QCOMPARE(control->Gain()->value(), 0);
        QCOMPARE(doc.GetFactor(1), 0.0);
        control->Gain()->setValue(150);
        control->Offset()->setValue(-20);
        QCOMPARE(doc.GetFactor(1), 1.5);
        QCOMPARE(doc.GetOffset(1), -20.0);
        control->Right()->click();
        QCOMPARE(doc.GetAxis(1), 1u);
        view->FlushRedraw();
        QCOMPARE(chart->graph(1)->valueAxis(), chart->yAxis2);
        QCOMPARE(chart->graph(1)->name(), QString("110 Mains voltage L1 [V] x1,50 +-20,00 (YRight)"));
        QCOMPARE(doc.GetFactor(0), 1.0); // the other channel stays as it was

        // 57 % shows as 57 and steps on from there; a scaling no spin can show (from a file) shows at its
        // ends.
        doc.SetFactor(1, 0.57);
        view->SelectChannel(1);
        QCOMPARE(control->Gain()->value(), 57);
        control->Gain()->stepUp();
        QCOMPARE(doc.GetFactor(1), 0.58);
        doc.SetScaling(0, 0, std::nan(""), -1e300);
        view->SelectChannel(0);
        QCOMPARE(control->Gain()->value(), 0);
        QCOMPARE(control->Offset()->value(), -32768);

        // A line is clicked while the first channel has no values and the cursors stand nowhere.
        doc.InitMeasurement(2, {100, 110}, CMeasStart());
        for (int j = 0; j < 200; ++j)
            doc.AddValue(1, Float(230.0 + j % 7));
        view->FlushRedraw();
        chart->replot();
        QVERIFY(!chart->CursorsActive());
        QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, pointOfLine1());
        QCOMPARE(view->SelectedChannel(), 1);
        Finish(app);
    }

    // Dense lines come out as QCustomPlot's own strokes would draw them, to a few pixels of the links
    // between columns. Moving a cursor and the hover readout repaint their layer without drawing the
    // lines again; new values draw them. The legend follows the lines through a measurement without any.
    void linesAsDrawnAndOnlyWhenTheyChange() {
        auto app = StartApp(false);
        CDocMeasurementContinuous& doc = app->DocMeasurementContinuous();
        doc.InitMeasurement(2, {100, 110}, CMeasStart());
        std::mt19937 random(3);
        double v = 0;
        for (int j = 0; j < 30000; ++j) {
            v += std::normal_distribution<double>(0, 3)(random) + (j % 5000 == 0 ? 60 : 0);
            doc.AddValue(0, Float(j / 3000 == 4 ? NAN : v)); // a stretch without numbers
            doc.AddValue(1, Float(230 + j % 7));
        }
        app->OnContinuousMeasurement();
        CViewMeasurementContinuous* view = app->FindContinuousMeasurementView();
        view->FlushRedraw();
        CMeasurementChart* chart = view->Chart();
        auto picture = [chart] {
            chart->replot(QCustomPlot::rpImmediateRefresh);
            return chart->grab().toImage();
        };
        const QImage drawn = picture();
        for (int i = 0; i < chart->graphCount(); ++i)
            static_cast<CChartTrace*>(chart->graph(i))->SetDense(false);
        const QImage stroked = picture();
        int ink = 0, differing = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                ink += stroked.pixel(x, y) != qRgb(255, 255, 255);
                differing += drawn.pixel(x, y) != stroked.pixel(x, y);
            }
        QVERIFY2(ink > 10000 && differing <= ink / 1000, qPrintable(QString::number(differing)));

        const struct {
            const char* what;
            std::function<void()> act;
            bool drawsLines;
        } steps[] = {
            {"cursor", [&] { QTest::keyClick(chart, Qt::Key_Right); }, false},
            {"hover",
             [&] {
                 const QPointF at = chart->axisRect()->rect().center();
                 QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                                  Qt::NoModifier);
                 QApplication::sendEvent(chart, &move);
             },
             false},
            {"values",
             [&] {
                 doc.AddValue(0, Float(v));
                 doc.AddValue(1, Float(231));
                 doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
                 view->FlushRedraw();
             },
             true},
        };
        for (const auto& step : steps) {
            QCoreApplication::processEvents(); // what the last step asked for
            const int before = chart->TraceDraws();
            step.act();
            QCoreApplication::processEvents();
            QVERIFY2((chart->TraceDraws() > before) == step.drawsLines, step.what);
        }
        // Emptied and filled again, the legend's entries stand for the new lines.
        for (const std::vector<uint32_t>& ids : {std::vector<uint32_t>{}, {110, 100, 4711}}) {
            doc.InitMeasurement(2, ids, CMeasStart());
            view->FlushRedraw();
        }
        QList<QCPAbstractPlottable*> entries;
        for (int i = 0; i < chart->legend->itemCount(); ++i)
            if (auto* entry = qobject_cast<QCPPlottableLegendItem*>(chart->legend->item(i)))
                entries << entry->plottable();
        QCOMPARE(entries, (QList<QCPAbstractPlottable*>{chart->graph(0), chart->graph(1), chart->graph(2)}));
        QVERIFY(chart->graph(0)->name().startsWith("110 "));
        Finish(app);
    }

    // Save by extension: the measurement file opens again alike, pictures and the spreadsheet are
    // readable, the CSV holds the visible rows as quirel-cli show prints them, print goes to a PDF;
    // other extensions (the older format, the other kind's) write nothing.
    void filesExportsAndPrint() {
        auto app = StartApp(false);
        CViewMeasurementContinuous* view = ShowContinuous(*app, 2000);
        CDocMeasurementContinuous& doc = app->DocMeasurementContinuous();
        const QDir dir(m_folder.path());
        QVERIFY(view->ExportTo(dir.filePath("a.NBTC")));
        const std::string bytes = doc.Serialize();
        QCOMPARE(view->window()->windowTitle(),
                 QString::fromStdString("Continuous measurement - [" + dir.filePath("a.NBTC").toStdString() +
                                        "]"));
        for (const char* name : {"a.bmp", "a.jpg"}) {
            QVERIFY(view->ExportTo(dir.filePath(name)));
            QImage picture(dir.filePath(name));
            QCOMPARE(picture.size(), view->Chart()->size());
        }
        QVERIFY(view->ExportTo(dir.filePath("a.xlsx")));
        // popen spawns without fork handlers, which a thread checker's process would not survive.
        const std::string command =
            "unzip -p '" + dir.filePath("a.xlsx").toStdString() + "' xl/worksheets/sheet1.xml";
        std::FILE* unzip = ::popen(command.c_str(), "r");
        QVERIFY(unzip);
        QByteArray sheet;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, unzip)) > 0;)
            sheet.append(buffer, static_cast<qsizetype>(n));
        QCOMPARE(::pclose(unzip), 0);
        QVERIFY(sheet.contains("Time [s]"));
        QVERIFY(sheet.contains("110 Mains voltage L1 [V]"));
        QVERIFY(sheet.contains("<c r=\"A2001\"><v>3998</v></c>"));

        // Zoomed in, the CSV holds what is visible.
        view->OnNavigate(CMeasurementChart::kZoomIn);
        const auto [first, end] = view->Chart()->VisibleIndices();
        QVERIFY(first > 0 && end < 2000);
        QVERIFY(view->ExportTo(dir.filePath("a.csv")));
        std::string expected;
        WriteMeasurementCsv(doc, first, end, [&](std::string_view piece) {
            expected += piece;
            return true;
        });
        QCOMPARE(quirel::test::FileBytes(dir.filePath("a.csv")).toStdString(), expected);

        // A type the window does not write: nothing is written, and the user is told.
        for (const char* name : {"a.btc", "a.txt", "a.nbts"}) {
            QVERIFY(!view->ExportTo(dir.filePath(name)));
            QVERIFY(!QFile::exists(dir.filePath(name)));
            QCOMPARE(m_boxes, std::vector<std::string>{"Files of this type cannot be written here: " +
                                                       std::string(name)});
            m_boxes.clear();
        }
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("a.pdf"));
        view->PrintTo(printer);
        QVERIFY(quirel::test::FileBytes(dir.filePath("a.pdf")).startsWith("%PDF-"));
        QVERIFY(m_boxes.empty());

        // Open through the window's file dialog.
        doc.InitMeasurement(1, {100}, CMeasStart());
        view->SetFileChooser([&](QWidget*, bool save, const QStringList& filters, const QString& suffix) {
            if (save)
                return QString();
            if (filters != QStringList{"Quirel Viewer Velorin Continuous Measurements (*.nbtc *.btc)"} ||
                suffix != "nbtc")
                return QString();
            return dir.filePath("a.NBTC");
        });
        view->OnOpen();
        QCOMPARE(doc.Serialize(), bytes);
        view->FlushRedraw();
        QCOMPARE(view->Data().Column(0).Size(), size_t(2000));
        Finish(app);
    }

    // The windows as the menu opens them: stored placement, one window per document, "Close" instead of
    // "Exit", the empty chart's text, the panel in German.
    void windowsAndLanguage() {
        auto store = quirel::test::SimulatorStore(m_sim.tcpPort(), 7);
        store->WriteInt("CViewMeasurementSingle", "x", -40);
        store->WriteInt("CViewMeasurementSingle", "y", 30);
        store->WriteInt("CViewMeasurementSingle", "cx", 900);
        store->WriteInt("CViewMeasurementSingle", "cy", 600);
        auto app = quirel::test::StartTestApp(std::move(store), false, m_folder.path().toStdString());
        // As a last measurement saved while armed: not connected, nothing will come for it.
        CDocMeasurementSingle& single = app->DocMeasurementSingle();
        single.OnNewDocument();
        single.SetTriggerState(1);
        single.SetRunning(true);
        app->Action(Command::kSingleMeasurement)->trigger();
        CViewMeasurementSingle* view = app->FindSingleMeasurementView();
        QWidget* frame = view->window();
        QCOMPARE(frame->windowTitle(), QString("Einzelmessung"));
        QCOMPARE(frame->geometry().size(), QSize(900, 600));
        QCOMPARE(frame->pos(), QPoint(0, 30));
        QVERIFY(!single.IsRunning() && single.GetTriggerState() == 0);
        QTRY_VERIFY(static_cast<CTraceViewFrame*>(frame)->Command(CTraceViewFrame::kStart)->isEnabled());
        frame->showMinimized();
        app->Action(Command::kSingleMeasurement)->trigger();
        QCOMPARE(app->FindSingleMeasurementView(), view);
        QVERIFY(!frame->isMinimized());
        QCOMPARE(app->Frames().size(), size_t(2));
        QMenu* file = static_cast<QMainWindow*>(frame)->menuBar()->actions().first()->menu();
        QVERIFY(!file->actions().contains(app->Action(Command::kExit)));
        QCOMPARE(file->actions().last()->text(), QString("&Schließen"));

        QVERIFY(!view->Chart()->CursorsActive());
        QCOMPARE(view->Chart()->graphCount(), 0);
        QVERIFY(PanelLines(view).contains("Kein Trigger"));
        app->OnContinuousMeasurement();
        ShowContinuous(*app, 5);
        CViewMeasurementContinuous* continuous = app->FindContinuousMeasurementView();
        QVERIFY(PanelLines(continuous).contains("Messintervall: 2 s"));
        QVERIFY(PanelLines(continuous).contains("Messbeginn: 2024-03-01 08:00:00"));
        QCOMPARE(continuous->Chart()->xAxis->label(), QString("Zeit [s]"));
        Finish(app);
    }
};

QUIREL_UI_TEST(MeasurementWindowsTest)
#include "MeasurementWindowsTest.moc"
