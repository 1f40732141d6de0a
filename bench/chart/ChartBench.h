#pragma once

#include "comm/ControllerModbus.h"
#include "measurement/DocMeasurementContinuous.h"
#include "parameters/ParameterManager.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/SettingsStore.h"
#include "ui/measurement/ViewMeasurementContinuous.h"

#include <QApplication>

#include <chrono>
#include <memory>
#include <vector>

// A continuous-measurement window of its own, offscreen, 1200 x 800, without a device.
struct ChartBench {
    static constexpr int kChannels = 10;

    ChartBench();
    // Ten channels of `values` each, as a recording of the measured values would hold them.
    void Fill(size_t values);
    // Lets the window take over what changed and paints it now; returns the milliseconds it took.
    double Show();
    // One sample on every channel, shown: milliseconds.
    double AppendAndShow();

    CParameterManager catalogue;
    quirel::ui::CMemorySettingsStore settings;
    std::unique_ptr<quirel::ui::CQtUiPort> ui;
    std::unique_ptr<CControllerModbus> controller;
    std::unique_ptr<CDocMeasurementContinuous> doc;
    std::unique_ptr<CViewMeasurementContinuous> view;
    std::vector<uint32_t> ids;
    size_t next = 0;
};

double Median(std::vector<double> v);
// Milliseconds since `start`.
double MsSince(std::chrono::steady_clock::time_point start);

// QApplication on the offscreen platform unless another was asked for.
std::unique_ptr<QApplication> MakeApplication(int& argc, char** argv);
