// Tests of the optimal rule against the loop figures themselves: its result
// meets the Ms target by ComputeLoopFigures, and no gains of a plain
// brute-force grid that meet the target reject the load better.
#include "controller/OptimalRule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "controller/ControllerCalculation.h"
#include "controller/LoopFigures.h"
#include "controller/TRegulator.h"

namespace halvetra {
namespace {

LoopDescription Process(double K, double T, double L, double Ts) {
    LoopDescription s;
    s.Ts = Ts;
    s.K1 = K;
    s.T1 = T;
    s.L1 = L;
    return s;
}

// The same process, integrating: K e^(-L s) / (s (T s + 1)).
LoopDescription Integrating(LoopDescription s) {
    s.Process1 = ProcessType::Integrating;
    return s;
}

LoopDescription WithGains(LoopDescription s, int type, double Kp, double Ki, double Kd = 0.0) {
    s.Type = type;
    s.Kp = Kp;
    s.Ki = Ki;
    s.Kd = Kd;
    return s;
}

ModelParameters Model(double K, double T, double L) {
    ModelParameters m;
    m.Gain = K;
    m.TimeConstant = T;
    m.DeadTime = L;
    return m;
}

// Geometric steps from lo to hi, signed like the process gain.
std::vector<double> Steps(double lo, double hi, int n, double sign) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i) {
        v.push_back(sign * lo * std::pow(hi / lo, static_cast<double>(i) / (n - 1)));
    }
    return v;
}

// The least load IAE over a grid of gains whose loop meets the target, each
// judged by LoopMaxSensitivity and ComputeLoopFigures alone.
double GridBest(const LoopDescription& process, int type, double target, const std::vector<double>& kps,
                const std::vector<double>& kis) {
    double best = INFINITY;
    for (const double kp : kps) {
        for (const double ki : kis) {
            const LoopDescription loop = WithGains(process, type, kp, ki);
            const auto ms = LoopMaxSensitivity(loop);
            if (!ms || *ms > target) {
                continue;
            }
            const LoopFigures f = ComputeLoopFigures(loop);
            if (f.IaeDisturbance) {
                best = std::min(best, *f.IaeDisturbance);
            }
        }
    }
    return best;
}

// The PI and I optimum of small loops (dead times of 3 to 5 samples, a
// reverse-acting process, a cascade; integrating processes: a pure
// integrator with dead time, a reverse-acting one with a lag, a cascade's
// outer process) against a brute-force grid of 30 x 30 PI gains and 120 I
// gains (none of which holds an integrating process); P is the largest gain
// that meets the target; the PID meets it with its noise gain bounded and is
// no worse than the PI.
TEST(OptimalRule, MeetsTheTargetAndBeatsABruteForceGrid) {
    LoopDescription cascade = Process(1.0, 1.0, 0.3, 0.1);
    cascade.Cascade = true;
    cascade.KpInner = TRegulator::TuneCascade(Simc, 1.0, 1.0, 0.3, 1.0, 5.0, 0.5, MaxLoopGain).KpInner;
    cascade.K2 = 1.0;
    cascade.T2 = 5.0;
    cascade.L2 = 0.5;
    LoopDescription integratingOuter = cascade;
    integratingOuter.K2 = 0.2;
    integratingOuter.T2 = 2.0;
    integratingOuter.Process2 = ProcessType::Integrating;
    ModelParameters outerModel = Model(0.2, 2.0, 0.5);
    outerModel.Type = ProcessType::Integrating;
    integratingOuter.KpInner = TRegulator::TuneCascade(Simc, Model(1.0, 1.0, 0.3), outerModel, MaxLoopGain).KpInner;
    struct Row {
        LoopDescription process;
        double target;
    };
    const std::vector<Row> rows = {
        {Process(1.0, 2.0, 0.5, 0.1), 1.4},
        {Process(-2.0, 1.0, 1.0, 0.2), 2.0},
        {cascade, 1.6},
        {Integrating(Process(1.0, 0.0, 0.3, 0.1)), 1.4},
        {Integrating(Process(-0.5, 1.0, 0.4, 0.1)), 1.6},
        {integratingOuter, 1.6},
    };
    for (std::size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE(r);
        const LoopDescription& process = rows[r].process;
        const double target = rows[r].target;
        const double sign = process.K1 < 0.0 ? -1.0 : 1.0;
        const double K = std::fabs(process.K1);

        const OptimalGains pi = OptimiseController(process, TypePI, target);
        const LoopFigures piFigures = ComputeLoopFigures(WithGains(process, TypePI, pi.Kp, pi.Ki));
        ASSERT_TRUE(piFigures.Stable && piFigures.Ms && piFigures.IaeDisturbance);
        EXPECT_LE(*piFigures.Ms, target * 1.005);
        EXPECT_NEAR(pi.Ms, *piFigures.Ms, 1e-12);
        const double piGrid =
            GridBest(process, TypePI, target, Steps(0.02 / K, 10.0 / K, 30, sign), Steps(0.01 / K, 5.0 / K, 30, sign));
        EXPECT_LE(*piFigures.IaeDisturbance, piGrid * 1.001);
        // Nor do the gains a few percent around it.
        std::vector<double> nearKp;
        std::vector<double> nearKi;
        for (const double f : {0.97, 0.99, 1.0, 1.01, 1.03}) {
            nearKp.push_back(f * pi.Kp);
            nearKi.push_back(f * pi.Ki);
        }
        const double nearGrid = GridBest(process, TypePI, target, nearKp, nearKi);
        EXPECT_LE(*piFigures.IaeDisturbance, nearGrid * 1.001);

        const double iGrid = GridBest(process, TypeI, target, {0.0}, Steps(0.001 / K, 5.0 / K, 120, sign));
        if ((process.Cascade ? process.Process2 : process.Process1) == ProcessType::Integrating) {
            EXPECT_EQ(iGrid, INFINITY);
            EXPECT_THROW(OptimiseController(process, TypeI, target), OptimalTuningError);
        } else {
            const OptimalGains i = OptimiseController(process, TypeI, target);
            const LoopFigures iFigures = ComputeLoopFigures(WithGains(process, TypeI, 0.0, i.Ki));
            ASSERT_TRUE(iFigures.Ms && iFigures.IaeDisturbance);
            EXPECT_LE(*iFigures.Ms, target * 1.005);
            EXPECT_LE(*iFigures.IaeDisturbance, iGrid * 1.001);
        }

        const OptimalGains p = OptimiseController(process, TypeP, target);
        const auto pMs = LoopMaxSensitivity(WithGains(process, TypeP, p.Kp, 0.0));
        ASSERT_TRUE(pMs);
        EXPECT_LE(*pMs, target * 1.005);
        const auto larger = LoopMaxSensitivity(WithGains(process, TypeP, 1.01 * p.Kp, 0.0));
        EXPECT_TRUE(!larger || *larger > target);

        if (!process.Cascade) {
            const double bound = PidNoiseGainRatio * std::fabs(pi.Kp + 0.5 * pi.Ki * process.Ts);
            const OptimalGains pid = OptimiseController(process, TypePID, target, bound);
            const LoopDescription loop = WithGains(process, TypePID, pid.Kp, pid.Ki, pid.Kd);
            const LoopFigures f = ComputeLoopFigures(loop);
            ASSERT_TRUE(f.Ms && f.IaeDisturbance);
            EXPECT_LE(*f.Ms, target * 1.005);
            EXPECT_LE(*f.IaeDisturbance, *piFigures.IaeDisturbance);
            // The controller's gain at the Nyquist frequency: L / P there.
            const std::complex<double> c = LoopFrequencyResponse(loop, std::numbers::pi) /
                                           LoopFrequencyResponse(WithGains(process, TypeP, 1.0, 0.0), std::numbers::pi);
            EXPECT_LE(std::abs(c), bound * 1.0001);
        }
    }
}

// Method 9 through TuneController: factor 1, the target of the slider, the
// cascade's inner gain of SIMC and its PI as PID; a process no controller
// can hold within the target, a zero sampling time or gain end with a message.
TEST(OptimalRule, TuneControllerAndItsFailures) {
    const ModelParameters inner = Model(1.0, 1.0, 0.3);
    const ModelParameters outer = Model(1.0, 5.0, 0.5);
    const ControllerTuning single = TuneController(OptimalMs, 0, false, inner, outer, 0.1);
    EXPECT_EQ(single.Factor, 1.0);
    ASSERT_TRUE(single.MsTarget);
    EXPECT_DOUBLE_EQ(*single.MsTarget, 1.2);
    const auto pi = ComputeControllerFigures(single, 0.1, inner, outer)[TypePI];
    ASSERT_TRUE(pi && pi->Ms);
    EXPECT_LE(*pi->Ms, 1.2 * 1.005);

    const ControllerTuning cascade = TuneController(OptimalMs, 20, true, inner, outer, 0.1);
    EXPECT_DOUBLE_EQ(*cascade.MsTarget, 2.0);
    EXPECT_EQ(cascade.KpInner, TRegulator::TuneCascade(Simc, 1.0, 1.0, 0.3, 1.0, 5.0, 0.5, MaxLoopGain).KpInner);
    EXPECT_EQ(cascade.Result.KpPID, cascade.Result.KpPI);
    EXPECT_EQ(cascade.Result.KdPID, 0.0);
    for (const auto& figures : ComputeControllerFigures(cascade, 0.1, inner, outer)) {
        ASSERT_TRUE(figures && figures->Ms);
        EXPECT_LE(*figures->Ms, 2.0 * 1.005);
    }
    EXPECT_FALSE(TuneController(Simc, 10, false, inner, outer, 0.1).MsTarget);

    // An integrating process, alone (no I controller) and inside a cascade
    // (whose outer loop it does not make integrating).
    ModelParameters level = Model(0.05, 1.0, 3.0);
    level.Type = ProcessType::Integrating;
    for (const bool inCascade : {false, true}) {
        SCOPED_TRACE(inCascade);
        const ControllerTuning t = TuneController(OptimalMs, 10, inCascade, level, outer, 0.5);
        const ControllerFigures figures = ComputeControllerFigures(t, 0.5, level, outer);
        EXPECT_EQ(figures[TypeI].has_value(), inCascade);
        for (int type : {TypeP, TypePI, TypePID}) {
            const auto& f = figures[static_cast<std::size_t>(type)];
            ASSERT_TRUE(f && f->Ms);
            EXPECT_LE(*f->Ms, 1.6 * 1.005);
        }
        EXPECT_GT(t.RecommendedSamplingTime, 0.0);
    }

    const auto message = [](auto&& tune) {
        try {
            tune();
        } catch (const HalvetraError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    // A lag so long that the process passes nothing on within the sampling
    // time, of either type.
    ModelParameters still = Model(1.0, 1e308, 1.0);
    for (const ProcessType type : {ProcessType::SelfRegulating, ProcessType::Integrating}) {
        still.Type = type;
        EXPECT_EQ(message([&] { TuneController(OptimalMs, 10, false, still, outer, 0.1); }),
                  "No stabilising PI controller keeps the maximum sensitivity at or below 1.60");
    }
    // An inner loop that is unstable on its own.
    LoopDescription unstable = Process(1.0, 1.0, 0.3, 0.1);
    unstable.Cascade = true;
    unstable.KpInner = 50.0;
    unstable.K2 = 1.0;
    unstable.T2 = 5.0;
    EXPECT_EQ(message([&] { OptimiseController(unstable, TypePID, 1.2); }),
              "No stabilising PID controller keeps the maximum sensitivity at or below 1.20");
    EXPECT_EQ(message([&] { TuneController(OptimalMs, 10, false, inner, outer, 0.0); }),
              "Floating point division by zero");
    EXPECT_EQ(message([&] { TuneController(OptimalMs, 10, true, Model(0.0, 1.0, 0.3), outer, 0.1); }),
              "Floating point division by zero");
}

}  // namespace
}  // namespace halvetra
