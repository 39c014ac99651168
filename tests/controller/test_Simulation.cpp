// Tests of the closed-loop simulations and the Controller page's calculation.
#include "controller/ControllerCalculation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/NumberText.h"

namespace halvetra {
namespace {

ModelParameters Model(double K, double T, double L) {
    ModelParameters m;
    m.Gain = K;
    m.TimeConstant = T;
    m.DeadTime = L;
    return m;
}

// The single-loop simulation written out step by step, on a generous array.
std::vector<double> ReferenceLoop(int type, int n, double Kp, double Ki, double Kd, double R, double D, double Ts,
                                  double K, double T, double L) {
    const auto S = [](double a, double b, double fallback) { return b == 0.0 ? fallback : a / b; };
    std::vector<double> Y(20000, 0.0);
    const double Td = S(Kd, Kp, 0.0);
    const int delay = std::max(0, static_cast<int>(std::nearbyint(S(L, Ts, 5000.0))));
    const double g = S(1.0, Ts, 1e6);
    const double a1 = 0.01 * Ts < T ? std::exp(-S(Ts, T, 100.0)) : 0.0;
    const double a2 = 0.01 * Ts < 0.2 * Td ? std::exp(-S(5.0 * Ts, Td, 100.0)) : 0.0;
    const double kd = (1.0 - a2) * g * Kd;
    double e = 0.0, I = 0.0, Dt = 0.0, x = 0.0, y = 0.0;
    for (int i = 0; i < n; ++i) {
        const double eOld = e;
        e = R - y;
        const double P = Kp * e;
        I = I + Ki * e * Ts;
        Dt = (e - eOld) * kd + a2 * Dt;
        const double u = type == 0 ? I : type == 1 ? I + P : type == 2 ? I + P + Dt : P;
        x = (u + D) * (1.0 - a1) + a1 * x;
        Y[delay + i + 1] = K * x;
        y = Y[i];
    }
    Y.resize(n);
    return Y;
}

std::vector<double> Loop(int type, int n, double Kp, double Ki, double Kd, double R, double D, double Ts, double K,
                         double T, double L) {
    std::vector<double> Y(LoopArraySize(n, L, Ts), -7.0);
    TRegulator::SimulateLoop(type, n, Y, Kp, Ki, Kd, R, D, Ts, K, T, L);
    Y.resize(n);
    return Y;
}

TEST(SimulateLoop, MatchesTheStepByStepReference) {
    struct Case {
        double Kp, Ki, Kd, R, D, Ts, K, T, L;
    };
    const Case cases[] = {
        {1.2, 0.15, 0.8, 1.0, 0.0, 0.5, 2.0, 10.0, 1.0},      // filtered derivative
        {0.0, 0.3, 2.0, 1.0, 0.0, 1.0, 1.0, 3.0, 2.0},        // Kp = 0: no filter
        {-0.7, -0.05, -0.4, 0.0, -0.5, 0.2, -2.0, 4.0, 0.7},  // negative process gain, disturbance
        {3.0, 1.0, 0.001, 1.0, 0.0, 1.0, 1.0, 0.005, 3.6},    // no process lag, tiny Td
        {0.9, 0.2, 0.3, 1.0, 0.0, 0.5, 2.0, 4.0, 1.3},        // a refined dead time of 2.6 samples: 3
    };
    for (const Case& c : cases) {
        for (int type = TypeI; type <= TypeP; ++type) {
            EXPECT_EQ(Loop(type, 300, c.Kp, c.Ki, c.Kd, c.R, c.D, c.Ts, c.K, c.T, c.L),
                      ReferenceLoop(type, 300, c.Kp, c.Ki, c.Kd, c.R, c.D, c.Ts, c.K, c.T, c.L))
                << "type " << type << " Kp " << c.Kp;
        }
    }
}

TEST(SimulateLoop, OutputOfStepILandsAtDelayPlusIPlusOne) {
    // No lag, P controller with unit loop gain, delay 3: the first output
    // appears at index 4 and the error returns to 0 one round trip later.
    const std::vector<double> Y = Loop(TypeP, 12, 1.0, 0.0, 0.0, 1.0, 0.0, 1.0, 1.0, 0.0, 3.0);
    EXPECT_EQ(Y, (std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0}));
}

TEST(SimulateLoop, DerivativeKickAndFilter) {
    // Reference step with a long delay: the first controller outputs reach Y
    // before any feedback. T = 0 passes them through unchanged.
    const double Ki = 0.1, Kd = 2.0, Ts = 1.0;
    const std::vector<double> pi = Loop(TypePI, 8, 1.0, Ki, 0.0, 1.0, 0.0, Ts, 1.0, 0.0, 5.0);
    const std::vector<double> pid = Loop(TypePID, 8, 1.0, Ki, Kd, 1.0, 0.0, Ts, 1.0, 0.0, 5.0);
    // Td = 2, filter a2 = exp(-5 Ts / Td): the kick (1 - a2) Kd / Ts decays by a2.
    const double a2 = std::exp(-2.5);
    EXPECT_DOUBLE_EQ(pid[6] - pi[6], (1.0 - a2) * Kd);
    EXPECT_DOUBLE_EQ(pid[7] - pi[7], a2 * (1.0 - a2) * Kd);

    // Kp = 0 switches the filter off: the whole kick Kd / Ts in one step.
    const std::vector<double> id = Loop(TypePID, 8, 0.0, Ki, Kd, 1.0, 0.0, Ts, 1.0, 0.0, 5.0);
    EXPECT_DOUBLE_EQ(id[6], Ki * Ts + Kd / Ts);
    EXPECT_DOUBLE_EQ(id[7], 2.0 * Ki * Ts);
}

TEST(SimulateLoop, NegativeDeadTimeCountsAsZero) {
    EXPECT_EQ(LoopArraySize(50, -3.0, 1.0), 51);
    EXPECT_EQ(Loop(TypePID, 50, 1.0, 0.2, 0.5, 1.0, 0.0, 1.0, 1.5, 4.0, -3.0),
              Loop(TypePID, 50, 1.0, 0.2, 0.5, 1.0, 0.0, 1.0, 1.5, 4.0, 0.0));
    std::vector<double> y2a(51), y1a(51), y2b(51), y1b(51);
    TRegulator::SimulateCascade(TypePI, 50, y2a, y1a, 0.5, 0.1, 0, 2.0, 1, 0, 1, 1, 2, -2, 1, 5, -5);
    TRegulator::SimulateCascade(TypePI, 50, y2b, y1b, 0.5, 0.1, 0, 2.0, 1, 0, 1, 1, 2, 0, 1, 5, 0);
    EXPECT_EQ(y2a, y2b);
    EXPECT_EQ(y1a, y1b);
}

TEST(SimulateLoop, ArrayRoomIsCheckedAndBoundedForAnyDeadTime) {
    EXPECT_EQ(LoopArraySize(71, 2.0, 1.0), 74);
    EXPECT_EQ(LoopArraySize(0, 2.0, 1.0), 0);
    // A delay of n samples or more leaves every sample shown at 0.
    EXPECT_EQ(LoopArraySize(10, 1e300, 1.0), 21);
    EXPECT_EQ(LoopArraySize(10, 1.0, 0.0), 21);
    EXPECT_EQ(Loop(TypePI, 10, 1.0, 1.0, 0.0, 1.0, 0.0, 1.0, 1.0, 1.0, 1e300), std::vector<double>(10, 0.0));

    std::vector<double> shortY(73, -7.0);
    EXPECT_THROW(TRegulator::SimulateLoop(TypeP, 71, shortY, 1, 0, 0, 1, 0, 1, 1, 1, 2.0), ListIndexError);
    EXPECT_EQ(shortY, std::vector<double>(73, -7.0));
}

TEST(SimulateCascade, LongOuterDeadTimeStaysInBounds) {
    // Outer dead times beyond the horizon and beyond any fixed capacity; the
    // arrays are exactly as large as asked for, so the sanitizer catches any
    // write outside them.
    const int n = ClosedLoopHorizon(100.0, 500.0, 1.0).SampleCount;
    ASSERT_EQ(n, 3501);
    for (const double L2 : {1000.0, 4000.0, 1e9, 1e300}) {
        std::vector<double> Y2(LoopArraySize(n, L2, 1.0)), Y1(LoopArraySize(n, 100.0, 1.0));
        TRegulator::SimulateCascade(TypePID, n, Y2, Y1, 0.5, 0.01, 1.0, 2.0, 1.0, 0.0, 1.0, 1.0, 500.0, 100.0, 1.0,
                                    20.0, L2);
        const bool reaches = L2 < n;
        EXPECT_EQ(*std::max_element(Y2.begin(), Y2.begin() + n) > 0.0, reaches) << L2;
        EXPECT_TRUE(std::all_of(Y1.begin(), Y1.begin() + n, [](double v) { return std::isfinite(v); }));
    }
    std::vector<double> Y2(10), Y1(100);
    EXPECT_THROW(TRegulator::SimulateCascade(TypeP, 10, Y2, Y1, 1, 0, 0, 1, 1, 0, 1, 1, 1, 0, 1, 1, 3.0),
                 ListIndexError);
}

TEST(ClosedLoopHorizon, CountsAndCuts) {
    const SimulationHorizon h = ClosedLoopHorizon(2.0, 10.0, 1.0);
    EXPECT_EQ(h.DeadTimeSamples, 2);
    EXPECT_EQ(h.SampleCount, 71);
    // A long model at a fine sampling time: cut to 4999 - d.
    EXPECT_EQ(ClosedLoopHorizon(20.0, 300.0, 0.1).DeadTimeSamples, 200);
    EXPECT_EQ(ClosedLoopHorizon(20.0, 300.0, 0.1).SampleCount, 4799);
    // A sampling time so large that fewer than 10 samples remain.
    EXPECT_EQ(ClosedLoopHorizon(2.0, 10.0, 100.0).SampleCount, 10);
    // A dead time between samples is rounded: 1.3 s at 0.5 s is 3 samples.
    EXPECT_EQ(ClosedLoopHorizon(1.3, 4.0, 0.5).DeadTimeSamples, 3);
    EXPECT_EQ(ClosedLoopHorizon(1.3, 4.0, 0.5).SampleCount, 67);
    // Ties to even: 2.5 -> 2 samples of dead time.
    EXPECT_EQ(ClosedLoopHorizon(2.5, 0.0, 1.0).DeadTimeSamples, 2);
    // A negative dead time counts as 0 samples; the count keeps its formula.
    EXPECT_EQ(ClosedLoopHorizon(-2.0, 10.0, 1.0).DeadTimeSamples, 0);
    EXPECT_EQ(ClosedLoopHorizon(-2.0, 10.0, 1.0).SampleCount, 31);
    // A dead time beyond the capacity leaves the minimum horizon.
    EXPECT_EQ(ClosedLoopHorizon(1e300, 1.0, 1e-300).SampleCount, 10);
    EXPECT_EQ(ClosedLoopHorizon(6000.0, 1.0, 1.0).SampleCount, 10);
}

TEST(ControllerChartRange, CutsAtTwoAndMinusOne) {
    const std::vector<double> calm{0.0, 0.5, 1.0, 0.9};
    const std::vector<double> wild{0.0, 3.0, -4.0, 1.0};
    const AxisRange cut = ControllerChartRange({calm, wild}, 4);
    EXPECT_DOUBLE_EQ(cut.Lower, -1.3);
    EXPECT_DOUBLE_EQ(cut.Upper, 2.3);
    const AxisRange plain = ControllerChartRange({calm, calm}, 4);
    EXPECT_DOUBLE_EQ(plain.Lower, -0.1);
    EXPECT_DOUBLE_EQ(plain.Upper, 1.1);
    const std::vector<double> zero(4, 0.0);
    const AxisRange flat = ControllerChartRange({zero}, 4);
    EXPECT_DOUBLE_EQ(flat.Lower, -0.1);
    EXPECT_DOUBLE_EQ(flat.Upper, 0.1);
}

TEST(ResolveLoopSamplingTime, KeepsTheLastValidOne) {
    EXPECT_EQ(ResolveLoopSamplingTime("", 0.25, '.'), 0.25);
    EXPECT_EQ(ResolveLoopSamplingTime("0,5", 0.25, ','), 0.5);
    EXPECT_EQ(ResolveLoopSamplingTime("0", 0.25, '.'), 0.25);
    EXPECT_EQ(ResolveLoopSamplingTime("-2", 0.25, '.'), 0.25);
    try {
        ResolveLoopSamplingTime("1.5", 0.25, ',');
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'1.5' is not a valid floating point value");
    }
}

TEST(TuneController, LabelsOfASingleLoopAndACascade) {
    // Chien-Hrones-Reswick tracking on K = 2, T = 10, L = 1 at the middle position.
    const ModelParameters inner = Model(2.0, 10.0, 1.0);
    const ControllerTuning single = TuneController(2, 10, false, inner, Model(1.0, 5.0, 1.0), 1.0);
    EXPECT_EQ(single.Result, TRegulator::TuneLoop(2, 2.0, 10.0, 1.0, 10.0));
    EXPECT_EQ(single.KpInner, 0.0);
    const ControllerLabels a = FormatControllerLabels(single, ',');
    EXPECT_EQ(a.Label_Ki, "0,14583");
    EXPECT_EQ(a.Label_Kp_P, "1,75000");
    EXPECT_EQ(a.Label_PI_Kp, "1,750");
    EXPECT_EQ(a.Label_PI_Ti, "0,145833");
    EXPECT_EQ(a.Label_PID_Kp, "3,000");
    EXPECT_EQ(a.Label_PID_Ti, "0,300000");
    EXPECT_EQ(a.Label_PID_Td, "1,500");
    EXPECT_EQ(a.Label_Kp_Cascade, "0");
    EXPECT_EQ(a.Label_Priporocljiv, "0,286");  // a tenth of T1 / (Kp f K1) = 2.857 s

    // Nothing selected tunes by method 0; the gains are shown times f.
    const ControllerTuning fast = TuneController(-1, 20, false, inner, inner, 1.0);
    EXPECT_EQ(fast.Method, 0);
    EXPECT_EQ(FormatControllerLabels(fast, '.').Label_PI_Kp,
              FormatFixed(TRegulator::TuneLoop(0, 2.0, 10.0, 1.0, 10.0).KpPI * RobustnessFactor(20), 15, 3, '.'));

    const ModelParameters outer = Model(1.5, 20.0, 2.0);
    const ControllerTuning cascade = TuneController(2, 10, true, inner, outer, 1.0);
    const CascadeTuning c = TRegulator::TuneCascade(2, 2.0, 10.0, 1.0, 1.5, 20.0, 2.0, 10.0);
    EXPECT_EQ(cascade.Result, c.Outer);
    EXPECT_EQ(cascade.KpInner, c.KpInner);
    EXPECT_EQ(FormatControllerLabels(cascade, '.').Label_Kp_Cascade, "2.0588");  // 1.75 / 0.85
    EXPECT_EQ(cascade.RecommendedSamplingTime,
              RecommendedSamplingTime(c.Outer.KpPI, c.Outer.KiPI, cascade.Factor, 1.5, 20.0));
}

TEST(SimulateController, CurvesOfASingleLoop) {
    const ModelParameters inner = Model(1.0, 10.0, 2.0);
    const ControllerTuning tuning = TuneController(0, 10, false, inner, inner, 1.0);
    const ControllerSimulation sim = SimulateController(tuning, 0, 1.0, inner, inner);
    ASSERT_EQ(sim.Horizon.SampleCount, 71);
    ASSERT_EQ(sim.Time.size(), 71u);
    EXPECT_EQ(sim.Time[70], 70.0);
    // Open loop: dead time 2 samples, then the lag towards 1.
    EXPECT_EQ(sim.OpenLoop[2], 0.0);
    EXPECT_GT(sim.OpenLoop[3], 0.0);
    EXPECT_NEAR(sim.OpenLoop[70], 1.0, 2e-3);

    // Each curve is the simulation with its own gains times f.
    const TuningResult& G = tuning.Result;
    const double f = tuning.Factor;
    const double gains[4][3] = {
        {0, G.KiI * f, 0}, {G.KpPI * f, G.KiPI * f, 0}, {G.KpPID * f, G.KiPID * f, G.KdPID * f}, {G.KpP * f, 0, 0}};
    for (int type = TypeI; type <= TypeP; ++type) {
        const auto& k = gains[type];
        EXPECT_EQ(sim.ClosedLoop[type], ReferenceLoop(type, 71, k[0], k[1], k[2], 1, 0, 1, 1, 10, 2)) << type;
    }
}

TEST(SimulateController, TrackingAndDisturbanceRejection) {
    const ModelParameters inner = Model(2.0, 10.0, 1.0);
    const ModelParameters outer = Model(1.5, 8.0, 2.0);
    for (const bool cascade : {false, true}) {
        const ControllerTuning tuning = TuneController(0, 10, cascade, inner, outer, 1.0);
        const double f = tuning.Factor;
        const ControllerSimulation track = SimulateController(tuning, 0, 0.1, inner, outer);
        const ControllerSimulation reject = SimulateController(tuning, 1, 0.1, inner, outer);
        const int n = track.Horizon.SampleCount;
        for (int type = TypeI; type <= TypeP; ++type) {
            const std::vector<double>& y = track.ClosedLoop[type];
            const std::vector<double>& z = reject.ClosedLoop[type];
            EXPECT_EQ(y[0], 0.0);
            EXPECT_EQ(z[0], 0.0);
            const double peak = *std::max_element(z.begin(), z.end());
            EXPECT_GT(peak, 0.1) << cascade << type;
            if (type != TypeP) {
                // The I controller is the slowest: within the horizon it
                // takes back most of the disturbance, not all of it.
                EXPECT_NEAR(y[n - 1], 1.0, 0.02) << cascade << type;
                EXPECT_LT(std::fabs(z[n - 1]), 0.25 * peak) << cascade << type;
            }
        }
        if (!cascade) {
            const double loop = 2.0 * tuning.Result.KpP * f;
            EXPECT_NEAR(track.ClosedLoop[TypeP][n - 1], loop / (1.0 + loop), 1e-6);
            EXPECT_NEAR(reject.ClosedLoop[TypeP][n - 1], 1.0 / (1.0 + loop), 1e-6);
        }
    }
    // With a horizon long enough, the integral action removes every error.
    const TuningResult G = TRegulator::TuneLoop(0, 2.0, 10.0, 1.0, 10.0);
    EXPECT_NEAR(Loop(TypeI, 4000, 0, G.KiI, 0, 1, 0, 0.1, 2, 10, 1).back(), 1.0, 1e-7);
    EXPECT_NEAR(Loop(TypePI, 4000, G.KpPI, G.KiPI, 0, 0, 0.5, 0.1, 2, 10, 1).back(), 0.0, 1e-7);
}

TEST(SimulateController, CascadeCurveIsTheOuterMeasurement) {
    // Disturbance at the inner process input: it reaches Y1 after d1 + 1 = 11
    // samples and Y2 after a further d2 + 1 = 301.
    const ModelParameters inner = Model(2.0, 10.0, 1.0);
    const ModelParameters outer = Model(1.5, 8.0, 30.0);
    const ControllerTuning tuning = TuneController(2, 10, true, inner, outer, 1.0);
    const ControllerSimulation sim = SimulateController(tuning, 1, 0.1, inner, outer);
    const int n = sim.Horizon.SampleCount;
    ASSERT_EQ(n, 601);
    const TuningResult& G = tuning.Result;
    const double f = tuning.Factor;
    std::vector<double> Y2(LoopArraySize(n, 30.0, 0.1)), Y1(LoopArraySize(n, 1.0, 0.1));
    TRegulator::SimulateCascade(TypePI, n, Y2, Y1, G.KpPI * f, G.KiPI * f, 0, tuning.KpInner, 0, 0.5, 0.1, 2, 10, 1,
                                1.5, 8, 30);
    EXPECT_EQ(Y1[10], 0.0);
    EXPECT_GT(Y1[11], 0.0);
    EXPECT_EQ(Y2[311], 0.0);
    EXPECT_GT(Y2[312], 0.0);
    Y2.resize(n);
    EXPECT_EQ(sim.ClosedLoop[TypePI], Y2);

    // An outer dead time longer than the horizon: nothing reaches the curves.
    const ControllerSimulation late = SimulateController(tuning, 1, 0.1, inner, Model(1.5, 8.0, 80.0));
    for (const std::vector<double>& y : late.ClosedLoop) {
        EXPECT_EQ(y, std::vector<double>(601, 0.0));
    }
}

TEST(SimulateController, ZeroGainOrSamplingTimeFails) {
    const ControllerTuning tuning = TuneController(2, 10, false, Model(1, 10, 2), Model(1, 10, 2), 1.0);
    const auto expectDivisionByZero = [&](double K1, double Ts) {
        try {
            SimulateController(tuning, 0, Ts, Model(K1, 10, 2), Model(1, 10, 2));
            ADD_FAILURE() << K1 << " " << Ts;
        } catch (const FloatingPointError& e) {
            EXPECT_STREQ(e.what(), "Floating point division by zero");
        }
    };
    expectDivisionByZero(0.0, 1.0);
    expectDivisionByZero(1.0, 0.0);
    expectDivisionByZero(0.0, 0.0);
    EXPECT_THROW(ClosedLoopHorizon(0.0, 10.0, 0.0), FloatingPointError);
}

}  // namespace
}  // namespace halvetra
