#pragma once

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

// A mains signal with known content: a constant, harmonics of f (amplitude, phase of A cos(h w t + phase))
// and, when asked, Gaussian noise of a fixed seed; sampled at fs from t = 0.
struct Tone {
    int order;
    double amplitude, phaseDeg;
};

inline std::vector<double> Sampled(size_t n, double fs, double f, double dc, const std::vector<Tone>& tones,
                                   double noise = 0.0) {
    std::mt19937 rng(7);
    std::normal_distribution<double> gauss(0.0, noise > 0.0 ? noise : 1.0);
    std::vector<double> x(n, dc);
    for (size_t k = 0; k < n; ++k) {
        const double t = static_cast<double>(k) / fs;
        for (const Tone& tone : tones)
            x[k] += tone.amplitude * std::cos(2 * std::numbers::pi * tone.order * f * t +
                                              tone.phaseDeg * std::numbers::pi / 180);
        if (noise > 0.0)
            x[k] += gauss(rng);
    }
    return x;
}

// A private folder below /tmp, removed with everything in it when the test ends, also after a failure.
struct TempFolder {
    std::string path = [] {
        char dir[] = "/tmp/quirel-analysis-XXXXXX";
        return std::string(::mkdtemp(dir) ? dir : "/nonexistent");
    }();
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};
