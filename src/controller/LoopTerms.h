#pragma once
// The discrete terms of a closed loop at sampling time Ts as the simulations
// run it, shared by the loop figures and the optimal rule so that both write
// the loop the same way: the dead time in whole samples, the lag's pole and
// the controller's filtered derivative; and the golden-section search with
// which both refine a peak between grid points.
#include <cmath>

#include "data/GlobalProcedures.h"

namespace halvetra {

// Dead times beyond the simulations' fixed capacity behave alike on the
// chart; they are held there so the polynomials and delay lines stay bounded.
inline constexpr long long MaxLoopDelaySamples = 5000;

// The same rounding as the simulations: Round(L / Ts), ties to even, at
// least 0, at most MaxLoopDelaySamples.
inline long long LoopDeadTimeSamples(double L, double Ts) {
    const double samples = std::nearbyint(SafeDivide(L, Ts, 5000.0));
    if (!(samples > 0.0)) {
        return 0;
    }
    return samples >= static_cast<double>(MaxLoopDelaySamples) ? MaxLoopDelaySamples : static_cast<long long>(samples);
}

// The pole a = exp(-Ts / T) of a first-order lag, x = (1 - a) u + a x; 0 (no
// lag) when T is not above a hundredth of the sampling time.
inline double LoopLagPole(double Ts, double T) { return 0.01 * Ts < T ? std::exp(-SafeDivide(Ts, T, 100.0)) : 0.0; }

// The derivative term of the controller law, kd (1 - z^-1) / (1 - a2 z^-1):
// filtered with Td / 5, Td = Kd / Kp, and unfiltered when that is not above a
// fiftieth of the sampling time (also when Kp = 0).
struct LoopDerivative {
    double a2 = 0.0;
    double kd = 0.0;
};

inline LoopDerivative LoopDerivativeTerm(double Kp, double Kd, double Ts) {
    const double Td = SafeDivide(Kd, Kp, 0.0);
    LoopDerivative d;
    d.a2 = 0.01 * Ts < 0.2 * Td ? std::exp(-SafeDivide(5.0 * Ts, Td, 100.0)) : 0.0;
    d.kd = (1.0 - d.a2) * SafeDivide(1.0, Ts, 1e6) * Kd;
    return d;
}

// Golden-section search for the least value of f on [a, b]: `iterations`
// steps, fewer once the bracket is no wider than `width`. The last two
// points with their values.
struct GoldenPoints {
    double C = 0.0;
    double Fc = 0.0;
    double D = 0.0;
    double Fd = 0.0;
};

template <class F>
GoldenPoints GoldenSection(F f, double a, double b, int iterations, double width = 0.0) {
    const double r = (std::sqrt(5.0) - 1.0) / 2.0;
    double c = b - r * (b - a);
    double d = a + r * (b - a);
    double fc = f(c);
    double fd = f(d);
    for (int i = 0; i < iterations && b - a > width; ++i) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - r * (b - a);
            fc = f(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + r * (b - a);
            fd = f(d);
        }
    }
    return {c, fc, d, fd};
}

}  // namespace halvetra
