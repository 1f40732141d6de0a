#pragma once

// What the viewer tests share: the simulated filter on a loopback port, the message boxes the program
// shows (recorded and answered OK), and the program started from a settings store.
#include "AppTestSupport.h"
#include "ui/parameters/ViewParameters.h"

namespace quirel::test {

struct Box {
    std::string text;
    std::string caption;
    MbIcon icon;
};

inline QString Cell(CViewParameters* view, int row, int column) {
    return view->List()->topLevelItem(row)->text(column);
}

inline int RowOf(CViewParameters* view, int32_t id) {
    for (int r = 0; r < view->List()->topLevelItemCount(); ++r)
        if (Cell(view, r, 0).toInt() == id)
            return r;
    return -1;
}

// A base beside QObject for the Qt Test classes: the test slots call these as their own.
class ViewerFixture {
protected:
    quirel::sim::SimulatorThread m_sim;
    std::vector<Box> m_boxes;

    // Records every message box from now on; a question is answered `answer`, the rest OK.
    void RecordBoxes(int answer = IDOK) {
        quirel::ui::SetMessageBoxHandler([this, answer](QWidget*, const std::string& text,
                                                        const std::string& caption, MbIcon icon,
                                                        MbButtons b) {
            m_boxes.push_back({text, caption, icon});
            return b == MbButtons::Ok ? int(IDOK) : answer;
        });
    }

    // Records every message box from now on and starts the simulator on loopback TCP (stopped with the
    // test object).
    bool StartSimulator() {
        RecordBoxes();
        QString error;
        return m_sim.start(TestSimulatorOptions(), error) || (qWarning("%s", qPrintable(error)), false);
    }

    static std::unique_ptr<CKestrelApp> StartApp(std::unique_ptr<quirel::ui::ISettingsStore> store,
                                                 bool connect = false) {
        // The overview opens at start; these tests work in the device parameters window beside it.
        return StartTestApp(std::move(store), connect, std::string(),
                            [](CKestrelApp& a) { a.OnDeviceParameters(); });
    }

    static void Finish(std::unique_ptr<CKestrelApp>& app) { FinishTestApp(app); }
};

} // namespace quirel::test
