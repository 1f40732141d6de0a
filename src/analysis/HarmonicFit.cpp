#include "analysis/HarmonicFit.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace quirel::analysis {
namespace {

struct Sum {
    double cos = 0.0, sin = 0.0;
};

// sum over n = 0 .. N-1 of exp(j alpha n), in closed form (a Dirichlet kernel), so that building the
// normal equations costs nothing per sample.
Sum GeometricSum(double alpha, size_t n) {
    const double r = std::remainder(alpha, 2.0 * std::numbers::pi);
    const double half = std::sin(r / 2.0);
    const auto count = static_cast<double>(n);
    if (std::abs(half) < 1e-12)
        return {count, 0.0};
    const double magnitude = std::sin(count * r / 2.0) / half;
    const double centre = r * (count - 1.0) / 2.0;
    return {magnitude * std::cos(centre), magnitude * std::sin(centre)};
}

// Solves G c = r in place (c returned in r) for a symmetric positive definite G of size k x k, row-major;
// false when G is not (the columns are not independent enough in these samples).
bool SolveCholesky(std::vector<double>& g, std::vector<double>& r, size_t k) {
    double largest = 0.0;
    for (size_t i = 0; i < k; ++i)
        largest = std::max(largest, g[i * k + i]);
    for (size_t j = 0; j < k; ++j) {
        double d = g[j * k + j];
        for (size_t p = 0; p < j; ++p)
            d -= g[j * k + p] * g[j * k + p];
        if (!(d > 1e-10 * largest))
            return false;
        d = std::sqrt(d);
        g[j * k + j] = d;
        for (size_t i = j + 1; i < k; ++i) {
            double v = g[i * k + j];
            for (size_t p = 0; p < j; ++p)
                v -= g[i * k + p] * g[j * k + p];
            g[i * k + j] = v / d;
        }
    }
    for (size_t i = 0; i < k; ++i) {
        double v = r[i];
        for (size_t p = 0; p < i; ++p)
            v -= g[i * k + p] * r[p];
        r[i] = v / g[i * k + i];
    }
    for (size_t i = k; i-- > 0;) {
        double v = r[i];
        for (size_t p = i + 1; p < k; ++p)
            v -= g[p * k + i] * r[p];
        r[i] = v / g[i * k + i];
    }
    return true;
}

} // namespace

double HarmonicFit::Amplitude(int order) const {
    const auto i = static_cast<size_t>(order - 1);
    return std::hypot(cosine[i], sine[i]);
}

double HarmonicFit::PhaseDeg(int order) const {
    const auto i = static_cast<size_t>(order - 1);
    return std::atan2(-sine[i], cosine[i]) * 180.0 / std::numbers::pi;
}

HarmonicFit FitHarmonics(const double* x, size_t n, double omega, int orders) {
    HarmonicFit fit;
    if (orders < 1 || n == 0)
        return fit;
    const auto h = static_cast<size_t>(orders);
    const size_t k = 2 * h + 1; // columns: 1, cos w n, sin w n, cos 2 w n, ...

    // Products of two columns reduce to sums of cos(m w n) and sin(m w n) for m = |a - b| and a + b.
    std::vector<Sum> sums(2 * h + 1);
    for (size_t m = 0; m < sums.size(); ++m)
        sums[m] = GeometricSum(omega * static_cast<double>(m), n);
    auto c = [&](long m) { return sums[static_cast<size_t>(std::labs(m))].cos; };
    auto s = [&](long m) {
        return m < 0 ? -sums[static_cast<size_t>(-m)].sin : sums[static_cast<size_t>(m)].sin;
    };
    std::vector<double> g(k * k);
    auto column = [](size_t order, bool isSine) { return order == 0 ? 0 : 2 * order - 1 + (isSine ? 1 : 0); };
    for (size_t a = 0; a <= h; ++a) {
        for (size_t b = 0; b <= h; ++b) {
            const long diff = static_cast<long>(a) - static_cast<long>(b), sum = static_cast<long>(a + b);
            g[column(a, false) * k + column(b, false)] = (c(diff) + c(sum)) / 2.0;
            if (a > 0 && b > 0)
                g[column(a, true) * k + column(b, true)] = (c(diff) - c(sum)) / 2.0;
            if (b > 0) { // cos(a) sin(b) = (sin(a + b) + sin(b - a)) / 2
                const double v = (s(sum) + s(-diff)) / 2.0;
                g[column(a, false) * k + column(b, true)] = v;
                g[column(b, true) * k + column(a, false)] = v;
            }
        }
    }

    std::vector<double> r(k, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const double v = x[i];
        const double c1 = std::cos(omega * static_cast<double>(i)),
                     s1 = std::sin(omega * static_cast<double>(i));
        r[0] += v;
        double ch = c1, sh = s1;
        for (size_t order = 1; order <= h; ++order) {
            r[2 * order - 1] += v * ch;
            r[2 * order] += v * sh;
            const double next = ch * c1 - sh * s1;
            sh = sh * c1 + ch * s1;
            ch = next;
        }
    }
    const std::vector<double> projections = r;
    if (!SolveCholesky(g, r, k))
        return fit;
    fit.ok = true;
    fit.dc = r[0];
    fit.cosine.resize(h);
    fit.sine.resize(h);
    for (size_t order = 1; order <= h; ++order) {
        fit.cosine[order - 1] = r[2 * order - 1];
        fit.sine[order - 1] = r[2 * order];
    }
    for (size_t i = 0; i < k; ++i)
        fit.energy += projections[i] * r[i];
    return fit;
}

} // namespace quirel::analysis
