// Tests of the loop figures: the derived L(z) against the simulated loop, the
// published figures of a reference tuning, and the figures left out.
#include "controller/LoopFigures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "controller/TRegulator.h"

namespace halvetra {
namespace {

LoopDescription Loop(int type, double Kp, double Ki, double Kd, double Ts, double K, double T, double L) {
    LoopDescription s;
    s.Type = type;
    s.Kp = Kp;
    s.Ki = Ki;
    s.Kd = Kd;
    s.Ts = Ts;
    s.K1 = K;
    s.T1 = T;
    s.L1 = L;
    return s;
}

LoopDescription Cascade(int type, double Kp, double Ki, double Kd, double KpInner, double Ts) {
    LoopDescription s = Loop(type, Kp, Ki, Kd, Ts, 2.0, 3.0, 1.0);
    s.Cascade = true;
    s.KpInner = KpInner;
    s.K2 = 1.5;
    s.T2 = 10.0;
    s.L2 = 4.0;
    return s;
}

// The measurement the controller sees after a unit set-point step, from the
// simulation itself: y[k] = Y[k - 1].
std::vector<double> SimulatedMeasurement(const LoopDescription& s, int n) {
    std::vector<double> Y(static_cast<std::size_t>(LoopArraySize(n, s.Cascade ? s.L2 : s.L1, s.Ts)), 0.0);
    if (s.Cascade) {
        std::vector<double> Y1(static_cast<std::size_t>(LoopArraySize(n, s.L1, s.Ts)), 0.0);
        TRegulator::SimulateCascade(s.Type, n, Y, Y1, s.Kp, s.Ki, s.Kd, s.KpInner, 1.0, 0.0, s.Ts, s.K1, s.T1, s.L1,
                                    s.K2, s.T2, s.L2, s.Process1, s.Process2);
    } else {
        TRegulator::SimulateLoop(s.Type, n, Y, s.Kp, s.Ki, s.Kd, 1.0, 0.0, s.Ts, s.K1, s.T1, s.L1, s.Process1);
    }
    std::vector<double> y(static_cast<std::size_t>(n), 0.0);
    for (int k = 1; k < n; ++k) {
        y[static_cast<std::size_t>(k)] = Y[static_cast<std::size_t>(k - 1)];
    }
    return y;
}

// An integrating (inner or outer) process with slope gain K, lag T, dead time L.
LoopDescription Integrating(LoopDescription s, bool inner, double K, double T, double L) {
    (inner ? s.Process1 : s.Process2) = ProcessType::Integrating;
    (inner ? s.K1 : s.K2) = K;
    (inner ? s.T1 : s.T2) = T;
    (inner ? s.L1 : s.L2) = L;
    return s;
}

// A second, independent computation: the closed loop L / (1 + L) from the
// Fourier sum of the simulated loop's impulse response (the differenced step
// response) must match the derived L(z) at every frequency, for every
// controller law, the filtered derivative, the lags, dead times and the
// cascade's closed inner loop.
TEST(LoopFigures, DerivedLoopMatchesTheSimulatedLoop) {
    const std::vector<LoopDescription> rows = {
        Loop(TypeI, 0.0, 0.08, 0.0, 1.0, 2.0, 5.0, 3.0),
        Loop(TypePI, 0.6, 0.15, 0.0, 0.5, 1.2, 4.0, 2.0),
        Loop(TypePID, 1.2, 0.3, 1.5, 0.5, 1.0, 6.0, 1.5),
        Loop(TypePID, 1.0, 0.2, 0.02, 1.0, 1.0, 6.0, 1.0),  // derivative filter off
        Loop(TypeP, 0.8, 0.0, 0.0, 1.0, 1.0, 4.0, 2.0),
        Loop(TypePI, 0.2, 0.05, 0.0, 1.0, 1.0, 0.001, 3.0),  // no process lag
        Cascade(TypePI, 0.4, 0.04, 0.0, 0.8, 1.0),
        Cascade(TypePID, 0.5, 0.05, 1.0, 0.6, 0.5),
        Integrating(Loop(TypePI, 10.0 / 3.0, 10.0 / 72.0, 0.0, 1.0, 0, 0, 0), true, 0.05, 0.0, 3.0),
        Integrating(Loop(TypePID, 3.125, 0.15625, 10.0, 0.5, 0, 0, 0), true, 0.1, 4.0, 2.0),
        Integrating(Loop(TypeP, 2.5, 0.0, 0.0, 1.0, 0, 0, 0), true, 0.1, 4.0, 2.0),
        Integrating(Cascade(TypePI, 3.2, 0.069, 0.0, 0.6, 1.0), false, 0.05, 0.0, 4.0),
        Integrating(Cascade(TypePI, 0.4, 0.04, 0.0, 2.5, 0.5), true, 0.2, 1.0, 1.0),
    };
    for (std::size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE(r);
        const LoopDescription& s = rows[r];
        ASSERT_TRUE(LoopIsStable(s));
        const int n = 6000;
        const std::vector<double> y = SimulatedMeasurement(s, n);
        ASSERT_LT(std::fabs(y[n - 1] - y[n - 2]), 1e-12);
        for (double theta : {0.01, 0.1, 0.5, 1.0, 2.0, 3.0, std::numbers::pi}) {
            std::complex<double> h = 0.0;
            for (int k = 0; k < n; ++k) {
                const double impulse =
                    y[static_cast<std::size_t>(k)] - (k > 0 ? y[static_cast<std::size_t>(k - 1)] : 0.0);
                h += impulse * std::polar(1.0, -theta * k);
            }
            const std::complex<double> l = LoopFrequencyResponse(s, theta);
            EXPECT_LT(std::abs(h - l / (1.0 + l)), 1e-8) << "theta " << theta;
        }
    }
}

// SIMC PI (Kc = 0.5, Ti = 1) on e^-s / (s + 1) and on e^-s / s: the
// published continuous figures, approached at a small sampling time.
TEST(LoopFigures, PublishedFiguresOfTheReferencePiTuning) {
    const TuningResult simc = TRegulator::TuneLoop(Simc, 1.0, 1.0, 1.0, MaxLoopGain);
    const LoopFigures f = ComputeLoopFigures(Loop(TypePI, simc.KpPI, simc.KiPI, 0.0, 0.005, 1.0, 1.0, 1.0));
    ASSERT_TRUE(f.Stable);
    ASSERT_TRUE(f.Ms && f.GainMargin && f.PhaseMarginDeg && f.IaeSetpoint && f.IaeDisturbance);
    EXPECT_NEAR(*f.Ms, 1.59, 0.02);
    EXPECT_NEAR(*f.GainMargin, 3.14, 0.04);
    EXPECT_NEAR(*f.PhaseMarginDeg, 61.4, 1.0);
    EXPECT_NEAR(*f.IaeSetpoint, 2.17, 0.03);
    EXPECT_GE(*f.Mt, 1.0);

    // SIMC PI on the integrating e^-s / s (Kc = 0.5, Ti = 8): Ms 1.70, gain
    // margin 2.96, phase margin 46.9 degrees.
    ModelParameters level{1.0, 0.0, 1.0};
    level.Type = ProcessType::Integrating;
    const TuningResult integrating = TRegulator::TuneLoop(Simc, level, MaxLoopGain);
    LoopDescription loop = Loop(TypePI, integrating.KpPI, integrating.KiPI, 0.0, 0.005, 1.0, 0.0, 1.0);
    loop.Process1 = ProcessType::Integrating;
    const LoopFigures g = ComputeLoopFigures(loop);
    ASSERT_TRUE(g.Stable);
    ASSERT_TRUE(g.Ms && g.GainMargin && g.PhaseMarginDeg && g.IaeDisturbance);
    EXPECT_NEAR(*g.Ms, 1.70, 0.02);
    EXPECT_NEAR(*g.GainMargin, 2.96, 0.04);
    EXPECT_NEAR(*g.PhaseMarginDeg, 46.9, 1.0);
    EXPECT_NEAR(*g.IaeDisturbance, 16.0, 0.01);  // 1 / (K Ki): the error keeps its sign
}

// Integral action forces the sum of the measured error times Ts to 1 / (K Ki)
// after a set-point step (the chart's y leads the measurement by one sample,
// so its sum is Ts less), and to 1 / (K1 Ki) after a load step of 1 / K1
// (1 / (K1 Kc Ki) through the cascade's inner P gain Kc). Without overshoot
// that is the IAE.
TEST(LoopFigures, IaeOfNonOscillatingLoopsIsTheIntegralOfTheError) {
    const std::vector<LoopDescription> rows = {
        Loop(TypeI, 0.0, 0.01, 0.0, 1.0, 2.0, 5.0, 3.0),
        Loop(TypePI, 0.1, 0.001, 0.0, 0.5, 1.5, 4.0, 40.0),
        Cascade(TypePI, 0.1, 0.005, 0.0, 0.3, 1.0),
    };
    for (const LoopDescription& s : rows) {
        const LoopFigures f = ComputeLoopFigures(s);
        ASSERT_TRUE(f.IaeSetpoint && f.IaeDisturbance);
        const double innerGain = s.Cascade ? s.KpInner : 1.0;
        const double plantGain = s.Cascade ? s.K1 * s.KpInner / (1.0 + s.K1 * s.KpInner) * s.K2 : s.K1;
        const double setpoint = 1.0 / (plantGain * s.Ki) - s.Ts;
        const double disturbance = 1.0 / (s.K1 * innerGain * s.Ki);
        EXPECT_NEAR(*f.IaeSetpoint, setpoint, 1e-4 * setpoint);
        EXPECT_NEAR(*f.IaeDisturbance, disturbance, 1e-4 * disturbance);
    }
}

// An unstable loop shows only that it is unstable; a P loop with a loop gain
// below 1 has no gain crossing and so no phase margin; all-zero gains give no
// figures at all.
TEST(LoopFigures, FiguresLeftOut) {
    const LoopFigures unstable = ComputeLoopFigures(Loop(TypePI, 3.0, 2.0, 0.0, 0.1, 1.0, 1.0, 1.0));
    EXPECT_FALSE(unstable.Stable);
    EXPECT_FALSE(unstable.Ms || unstable.Mt || unstable.GainMargin || unstable.PhaseMarginDeg || unstable.IaeSetpoint ||
                 unstable.IaeDisturbance);

    const LoopFigures p = ComputeLoopFigures(Loop(TypeP, 0.5, 0.0, 0.0, 1.0, 1.0, 4.0, 2.0));
    EXPECT_TRUE(p.Stable);
    EXPECT_TRUE(p.Ms && p.GainMargin);
    EXPECT_FALSE(p.PhaseMarginDeg || p.IaeSetpoint || p.IaeDisturbance);

    ControllerTuning tuning;
    tuning.Factor = 1.0;
    tuning.Result.KpPI = 0.5;
    tuning.Result.KiPI = 0.1;
    ModelParameters model;
    model.Gain = 1.0;
    model.TimeConstant = 5.0;
    model.DeadTime = 2.0;
    const ControllerFigures all = ComputeControllerFigures(tuning, 1.0, model, model);
    EXPECT_FALSE(all[TypeI] || all[TypePID] || all[TypeP]);
    EXPECT_TRUE(all[TypePI] && all[TypePI]->Stable);
}

}  // namespace
}  // namespace halvetra
