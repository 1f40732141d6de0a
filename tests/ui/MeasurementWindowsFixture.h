#pragma once

// What the measurement window tests share: the simulated filter on a loopback port, the message boxes
// the program shows (recorded and answered OK), a folder for the files kept next to the program, and the
// program started with a measurement window open.
#include "AppTestSupport.h"
#include "measurement/DocMeasurementContinuous.h"
#include "ui/measurement/MeasurementChart.h"
#include "ui/measurement/TraceViewFrame.h"
#include "ui/measurement/ViewMeasurementContinuous.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace quirel::test {

inline PARAMVALUE Float(double v) {
    PARAMVALUE cell(8, 0);
    cell.SetFloat(static_cast<float>(v));
    return cell;
}

inline QStringList PanelLines(CViewMeasurementBase* view) {
    // The panel as the overlay draws it, without the tab that sets values apart.
    QStringList lines;
    for (QString line : view->Chart()->PanelLines())
        lines << line.remove('\t');
    return lines;
}

// A base beside QObject for the Qt Test classes: the test slots call these as their own.
class MeasurementWindowsFixture {
protected:
    quirel::sim::SimulatorThread m_sim;
    std::vector<std::string> m_boxes;
    QTemporaryDir m_folder;

    // Records the text of every message box from now on and starts the simulator on loopback TCP; the reason
    // for a failure goes to the test's output. The simulator stops with the test object.
    bool StartSimulator() {
        RecordMessageBoxTexts(m_boxes);
        QString error;
        return m_folder.isValid() &&
               (m_sim.start(TestSimulatorOptions(), error) || (qWarning("%s", qPrintable(error)), false));
    }

    // `modem` 1: the connection is a modem link, read only when asked.
    std::unique_ptr<CKestrelApp> StartApp(bool connect, int language = 9, int modem = 0) {
        auto store = SimulatorStore(m_sim.tcpPort(), language);
        store->WriteInt("ModbusCommunicationController", "Modem", modem);
        return StartTestApp(std::move(store), connect, m_folder.path().toStdString());
    }
    static void Finish(std::unique_ptr<CKestrelApp>& app) { FinishTestApp(app); }
    static CTraceViewFrame* FrameOf(CViewMeasurementBase* view) {
        return static_cast<CTraceViewFrame*>(view->window());
    }
    // A continuous document of `n` values per channel, shown by its window.
    static CViewMeasurementContinuous* ShowContinuous(CKestrelApp& app, size_t n) {
        CDocMeasurementContinuous& doc = app.DocMeasurementContinuous();
        doc.InitMeasurement(2, {100, 110}, CMeasStart(2024, 3, 1, 8, 0, 0));
        for (size_t j = 0; j < n; ++j) {
            doc.AddValue(0, Float(50.0 + std::sin(j * 0.01)));
            doc.AddValue(1, Float(230.0 + j % 7));
        }
        app.OnContinuousMeasurement();
        CViewMeasurementContinuous* view = app.FindContinuousMeasurementView();
        doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
        view->FlushRedraw();
        view->Chart()->replot();
        return view;
    }
};

} // namespace quirel::test
