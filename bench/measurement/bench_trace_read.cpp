// A 10-channel x 512-value capture read back from quirel-sim over loopback TCP. The trace job should cost
// no more than its requests do: its wall time over (its request count x the median round trip of one
// 124-register read, measured in the same run). Each round arms a fresh capture, so every round reads
// traces the simulator has just recorded.
#include "SimProcess.h"
#include "base/RecordingUiPort.h"
#include "comm/ControllerModbus.h"
#include "comm/JobQueryTrigger.h"
#include "comm/JobReadTraces.h"
#include "comm/JobWriteTrigger.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementSetup.h"
#include "parameters/ParameterManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 7;
constexpr int kRoundTripSamples = 200;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The median of single 124-register reads from a trace block, in seconds.
double MedianRoundTrip(CControllerModbus& controller) {
    std::vector<double> times;
    PARAMVALUE cells[62];
    for (int i = 0; i < kRoundTripSamples; ++i) {
        const auto start = Clock::now();
        controller.ReadValues(10002, 4, cells, 62);
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return Median(times);
}

} // namespace

int main() {
    SimProcess sim({"--tcp", "0"});
    if (!sim.ready()) {
        std::fprintf(stderr, "quirel-sim did not start: %s\n", sim.failure().c_str());
        return 1;
    }
    CParameterManager catalogue;
    catalogue.Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
    RecordingUiPort ui;
    CControllerModbus controller(&catalogue, &ui);
    controller.SetTcpSettings(sim.tcpHost());
    if (!controller.Connect()) {
        std::fprintf(stderr, "no connection to quirel-sim\n");
        return 1;
    }
    CDocMeasurementSingle doc(&catalogue, &ui);
    // Ten instantaneous values, triggered by the mains current rising through 0.
    const std::vector<uint32_t> channels = {180, 181, 182, 183, 184, 185, 186, 187, 188, 189};
    MeasurementSetup::SingleSettings settings;
    settings.triggerText = "180";
    settings.delay = 256;
    const CTrigger trigger = MeasurementSetup::BuildTrigger(catalogue, settings);

    std::vector<double> ratios;
    for (int round = 0; round < kRounds; ++round) {
        doc.OnNewDocument();
        doc.InitMeasurement(trigger, channels, CMeasStart::Now());
        doc.SetRunning(true);
        CJobWriteTrigger(&doc).Execute(controller);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (doc.GetTriggerState() != CDocMeasurementSingle::kTraceReady && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            CJobQueryTrigger(&doc).Execute(controller);
        }
        if (doc.GetTriggerState() != CDocMeasurementSingle::kTraceReady || !ui.Boxes().empty()) {
            std::fprintf(stderr, "the capture did not complete\n");
            return 1;
        }
        const double roundTrip = MedianRoundTrip(controller);
        const auto start = Clock::now();
        CJobReadTraces(&doc).Execute(controller);
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        int requests = 1; // the final reset
        for (int c = 0; c < doc.GetChannelCount(); ++c)
            requests += 1 + static_cast<int>((doc.GetValueCount(c) + 61) / 62);
        if (doc.GetMaxValueCount() != 512 || !ui.Boxes().empty()) {
            std::fprintf(stderr, "the traces were not read whole\n");
            return 1;
        }
        const double ratio = elapsed / (requests * roundTrip);
        ratios.push_back(ratio);
        std::printf("round %d: %d requests in %.2f ms, median 124-register read %.3f ms, ratio %.3f\n",
                    round + 1, requests, elapsed * 1e3, roundTrip * 1e3, ratio);
    }
    controller.Disconnect();
    std::printf("trace_read_over_roundtrips=%.3f\n", Median(ratios));
    return 0;
}
