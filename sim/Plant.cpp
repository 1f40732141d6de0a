#include "Plant.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quirel::sim {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::uint32_t mix(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Uniform in -1..1 for an integer lattice point.
double lattice(std::uint32_t seed, std::uint32_t channel, std::int64_t k) {
    std::uint32_t h = mix(seed ^ mix(channel * 0x9E3779B9U) ^ mix(static_cast<std::uint32_t>(k)) ^
                          mix(static_cast<std::uint32_t>(k >> 32) + 0x51ED27U));
    return static_cast<double>(h) / 2147483647.5 - 1.0;
}

} // namespace

Plant::Plant(std::uint32_t seed) : m_seed(seed) {}

double Plant::noise(std::uint32_t channel, double x) const {
    const double f = std::floor(x);
    const auto k = static_cast<std::int64_t>(f);
    const double u = x - f;
    const double s = u * u * (3.0 - 2.0 * u);
    return lattice(m_seed, channel, k) * (1.0 - s) + lattice(m_seed, channel, k + 1) * s;
}

double Plant::frequency(double t) const {
    // Two slow swings; the phase angle below is their exact integral.
    return 50.0 + 0.02 * std::cos(kTwoPi * t / 60.0) + 0.008 * std::cos(kTwoPi * t / 7.0);
}

double Plant::phaseAngle(double t) const {
    return kTwoPi * (50.0 * t + 0.02 * 60.0 / kTwoPi * std::sin(kTwoPi * t / 60.0) +
                     0.008 * 7.0 / kTwoPi * std::sin(kTwoPi * t / 7.0));
}

double Plant::harmonicShare(int order) const {
    switch (order) {
    case 5:
        return 0.24;
    case 7:
        return 0.13;
    case 11:
        return 0.075;
    case 13:
        return 0.05;
    default:
        return 0.0;
    }
}

double Plant::loadCurrent(int phase, double t) const {
    // The load changes level every 12 s and ramps over 0.4 s into the new level.
    constexpr double kSegment = 12.0;
    constexpr double kRamp = 0.4;
    const double k = std::floor(t / kSegment);
    const double into = t - k * kSegment;
    auto level = [this](double segment) {
        return 110.0 + 60.0 * lattice(m_seed, 17, static_cast<std::int64_t>(segment));
    };
    double base = level(k);
    if (into < kRamp) {
        const double u = into / kRamp;
        base = level(k - 1) + (base - level(k - 1)) * u;
    }
    const double imbalance = 1.0 + 0.03 * lattice(m_seed, 23, phase);
    return base * imbalance * (1.0 + 0.01 * noise(31 + static_cast<std::uint32_t>(phase), t * 2.0));
}

double Plant::cosPhi(double t) const {
    return 0.91 + 0.03 * noise(41, t / 15.0);
}

double Plant::instantaneous(Wave wave, int phase, double t) const {
    const double theta = phaseAngle(t) - phase * kTwoPi / 3.0;
    const double sqrt2 = std::numbers::sqrt2;
    switch (wave) {
    case Wave::MainsVoltage:
    case Wave::LineVoltage: {
        const double scale = wave == Wave::LineVoltage ? std::sqrt(3.0) : 1.0;
        const double shift = wave == Wave::LineVoltage ? std::numbers::pi / 6.0 : 0.0;
        const double a = sqrt2 * kNominalVoltage * scale * (1.0 + 0.01 * noise(51, t / 8.0));
        const double th = theta + shift;
        return a * (std::sin(th) + 0.018 * std::sin(5.0 * th + 0.3) + 0.011 * std::sin(7.0 * th + 0.5));
    }
    case Wave::LoadCurrent:
    case Wave::MainsCurrent:
    case Wave::FilterCurrent: {
        const double i1 = sqrt2 * loadCurrent(phase, t);
        const double displacement = std::acos(std::clamp(cosPhi(t), -1.0, 1.0));
        double harmonics = 0.0;
        for (int order : kHarmonicOrders)
            harmonics += harmonicShare(order) * std::sin(order * (theta - displacement) + 0.2 * order);
        harmonics *= i1;
        const double fundamental = i1 * std::sin(theta - displacement);
        const double ripple = 0.004 * i1 * noise(61 + static_cast<std::uint32_t>(phase), t * 3000.0);
        if (wave == Wave::LoadCurrent)
            return fundamental + harmonics + ripple;
        if (wave == Wave::FilterCurrent)
            return -compensation() * harmonics + 0.5 * ripple;
        return fundamental + (1.0 - compensation()) * harmonics + ripple;
    }
    case Wave::DcLink:
        return (m_running ? 700.0 : 565.0) + 4.0 * noise(71, t / 5.0) + 2.5 * std::sin(6.0 * phaseAngle(t));
    }
    return 0.0;
}

double Plant::thd(Wave wave, int phase, double t) const {
    double h2 = 0.0;
    for (int order : kHarmonicOrders)
        h2 += harmonicShare(order) * harmonicShare(order);
    const double base = std::sqrt(h2);
    const double wobble = 1.0 + 0.03 * noise(81 + static_cast<std::uint32_t>(phase), t / 4.0);
    switch (wave) {
    case Wave::LoadCurrent:
        return 100.0 * base * wobble;
    case Wave::MainsCurrent:
        return 100.0 * base * (1.0 - compensation()) * wobble;
    case Wave::MainsVoltage:
    case Wave::LineVoltage:
        return 100.0 * std::hypot(0.018, 0.011) * wobble;
    default:
        return 0.0;
    }
}

double Plant::rms(Wave wave, int phase, double t) const {
    double h2 = 0.0;
    for (int order : kHarmonicOrders)
        h2 += harmonicShare(order) * harmonicShare(order);
    const double i1 = loadCurrent(phase, t);
    switch (wave) {
    case Wave::MainsVoltage:
        return kNominalVoltage * (1.0 + 0.01 * noise(51, t / 8.0)) + 0.4 * noise(52 + phase, t);
    case Wave::LineVoltage:
        return std::sqrt(3.0) * kNominalVoltage * (1.0 + 0.01 * noise(51, t / 8.0)) +
               0.6 * noise(55 + phase, t);
    case Wave::LoadCurrent:
        return i1 * std::sqrt(1.0 + h2);
    case Wave::MainsCurrent:
        return i1 * std::sqrt(1.0 + h2 * (1.0 - compensation()) * (1.0 - compensation()));
    case Wave::FilterCurrent:
        return i1 * std::sqrt(h2) * compensation();
    case Wave::DcLink:
        return (m_running ? 700.0 : 565.0) + 4.0 * noise(71, t / 5.0);
    }
    return 0.0;
}

double Plant::harmonicCurrent(Wave wave, int phase, int order, double t) const {
    const double i1 = loadCurrent(phase, t);
    double share = harmonicShare(order);
    if (share == 0.0) // orders the load hardly draws: a trace of noise
        share = order == 3 ? 0.012
                           : 0.004 * (1.0 + 0.5 * noise(101 + static_cast<std::uint32_t>(order), t / 9.0));
    switch (wave) {
    case Wave::LoadCurrent:
        return i1 * share;
    case Wave::MainsCurrent:
        return i1 * share * (harmonicShare(order) == 0.0 ? 1.0 : 1.0 - compensation());
    case Wave::FilterCurrent:
        return i1 * harmonicShare(order) * compensation();
    default:
        return 0.0;
    }
}

double Plant::activePower(double t) const {
    double sum = 0.0;
    for (int p = 0; p < 3; ++p)
        sum += rms(Wave::MainsVoltage, p, t) * loadCurrent(p, t) * cosPhi(t);
    return sum / 1000.0;
}

double Plant::reactivePower(double t) const {
    const double c = std::clamp(cosPhi(t), -1.0, 1.0);
    double sum = 0.0;
    for (int p = 0; p < 3; ++p)
        sum += rms(Wave::MainsVoltage, p, t) * loadCurrent(p, t) * std::sqrt(1.0 - c * c);
    return sum / 1000.0 * reactiveShare();
}

double Plant::filterLoad(double t) const {
    return std::clamp(rms(Wave::FilterCurrent, 0, t) / kFilterRating, 0.0, 1.0);
}

double Plant::heatsinkTemperature(double t) const {
    return 38.0 + 18.0 * filterLoad(t) + 0.6 * noise(91, t / 20.0);
}

} // namespace quirel::sim
