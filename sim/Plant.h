#pragma once

#include <cstdint>

namespace quirel::sim {

// The simulated installation: a three-phase mains feeding a non-linear load, with the filter injecting the
// load's harmonic currents in opposite phase. Every quantity is a pure function of the simulated time
// (seconds since start) and the seed, so two reads at the same instant agree and runs with one seed repeat
// exactly.
class Plant {
public:
    // Waveform-capable quantities; a phase index 0..2 selects L1..L3.
    enum class Wave { MainsVoltage, LineVoltage, MainsCurrent, LoadCurrent, FilterCurrent, DcLink };

    explicit Plant(std::uint32_t seed);

    // Instantaneous value of a waveform at time t (V or A).
    double instantaneous(Wave wave, int phase, double t) const;
    // RMS value over one mains period around t.
    double rms(Wave wave, int phase, double t) const;
    // Total harmonic distortion in percent of the fundamental.
    double thd(Wave wave, int phase, double t) const;

    double frequency(double t) const;
    // Fundamental load current (A rms) of a phase; steps at seeded instants, with a short ramp.
    double loadCurrent(int phase, double t) const;
    double cosPhi(double t) const;
    double activePower(double t) const;   // kW, all phases
    double reactivePower(double t) const; // kvar, all phases
    double heatsinkTemperature(double t) const;
    // Filter output as a share of its rating, 0..1.
    double filterLoad(double t) const;

    // Current of one harmonic order (A rms) in a current waveform.
    double harmonicCurrent(Wave wave, int phase, int order, double t) const;

    // The filter's operating point: running at all, and the share of the load's harmonics it cancels.
    void setRunning(bool running) { m_running = running; }
    bool running() const { return m_running; }
    void setHarmonicCompensation(bool on) { m_harmonicsOn = on; }
    // Share of the load's reactive power left in the mains, 0..1.
    void setReactiveShare(double share) { m_reactiveShare = share; }
    double reactiveShare() const { return m_running ? m_reactiveShare : 1.0; }

    // Smooth, seeded noise in -1..1 that changes over about one unit of x; channel keeps streams apart.
    double noise(std::uint32_t channel, double x) const;

    static constexpr double kNominalVoltage = 230.0;
    static constexpr double kFilterRating = 100.0; // A rms per phase
    static constexpr int kHarmonicOrders[4] = {5, 7, 11, 13};

private:
    double phaseAngle(double t) const; // mains angle in radians, integrated frequency
    double harmonicShare(int order) const;
    double compensation() const { return m_running && m_harmonicsOn ? 0.88 : 0.0; }

    std::uint32_t m_seed;
    bool m_running = true;
    bool m_harmonicsOn = true;
    double m_reactiveShare = 0.1;
};

} // namespace quirel::sim
