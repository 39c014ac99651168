// Tests of the tuning rules: the MOMI building blocks, the single-loop and
// cascade rules for every method, and the helpers of the Controller page.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "controller/TRegulator.h"
#include "data/Errors.h"

namespace halvetra {
namespace {

using Real = long double;

// Areas of K e^(-L s)/(T s + 1) written out as sums, A_n = K sum_i T^(n-i) c_i
// with c_i = L^i w_i (w_3 carries the constant 0.33333333 instead of 1/3).
std::vector<Real> HandAreas(Real K, Real T, Real L) {
    const Real w[6] = {1, 1, 0.5L, 0.5L * 0.33333333L, 0.5L * 0.33333333L * 0.25L, 0.5L * 0.33333333L * 0.25L * 0.2L};
    std::vector<Real> A(6, 0);
    for (int n = 0; n < 6; ++n) {
        for (int i = 0; i <= n; ++i) {
            A[n] += K * std::pow(T, n - i) * std::pow(L, i) * w[i];
        }
    }
    return A;
}

void ExpectClose(double actual, Real expected) {
    EXPECT_NEAR(actual, static_cast<double>(expected), 1e-12 * std::fabs(static_cast<double>(expected)));
}

std::vector<double> Values(const TuningResult& r) { return {r.KiI, r.KpP, r.KpPI, r.KiPI, r.KpPID, r.KiPID, r.KdPID}; }

// Assorted models (K > 0): small and large dead time, the 0.1 boundary, no
// dead time, no time constant.
const double Models[][3] = {{2, 10, 1}, {1, 10, 0.5}, {0.3, 2, 5}, {5, 1, 1}, {1.7, 3, 0}, {4, 0, 2}, {0.02, 120, 30}};

// ---------------------------------------------------------------------------
// Areas and MOMI building blocks

TEST(ComputeAreas, PinnedExampleWithTruncatedThird) {
    const Areas A = TRegulator::ComputeAreas(1, 0, 1);
    const double expected[6] = {1, 1, 0.5, 0.166666665, 0.04166666625, 0.00833333325};
    for (int j = 0; j < 6; ++j) {
        EXPECT_DOUBLE_EQ(A[j], expected[j]) << j;
    }
}

// Every result of method 0 is 0.85 times the plain MOMI value.
TEST(Momi, TrackingGeneralCaseByHand) {
    const auto A = HandAreas(2, 10, 1);
    const Areas a = TRegulator::ComputeAreas(2, 10, 1);
    for (int j = 0; j < 6; ++j) {
        ExpectClose(a[j], A[j]);
    }
    const Real piKp = A[3] / (2 * (A[1] * A[2] - A[0] * A[3]));
    const Real pidKp = (A[3] * A[3] - A[1] * A[5]) /
                       (2 * (A[1] * A[2] * A[3] + A[0] * A[1] * A[5] - A[1] * A[1] * A[4] - A[0] * A[3] * A[3]));
    const Real pidKd = (2 * pidKp * (A[1] * A[2] - A[0] * A[3]) - A[3]) / (2 * A[1] * A[1]);
    ASSERT_GT(pidKd, 0);

    const TuningResult r = TRegulator::TuneLoop(MomiTracking, 2, 10, 1, MaxLoopGain);
    EXPECT_DOUBLE_EQ(r.KiI, 0.425 / 22);
    ExpectClose(r.KpP, 0.85L * (2 * A[0] * A[2] - A[1] * A[1]) / (2 * A[0] * (A[1] * A[1] - A[0] * A[2])));
    ExpectClose(r.KpPI, 0.85L * piKp);
    ExpectClose(r.KiPI, 0.85L * (piKp * A[0] + 0.5L) / A[1]);
    ExpectClose(r.KpPID, 0.85L * pidKp);
    ExpectClose(r.KiPID, 0.85L * (2 * pidKp * A[0] + 1) / (2 * A[1]));
    ExpectClose(r.KdPID, 0.85L * pidKd);

    // Disturbance rejection: PI integral gain (1 + Kp A0)^2 / (2 A1); PID Kp
    // the smaller root of a Kp^2 + b Kp + c = 0 with the tracking Kd.
    const TuningResult c = TRegulator::TuneLoop(MomiControl, 2, 10, 1, MaxLoopGain);
    ExpectClose(c.KpPI, piKp);
    ExpectClose(c.KiPI, (1 + piKp * A[0]) * (1 + piKp * A[0]) / (2 * A[1]));
    const Real d = pidKd;
    const Real qa = 2 * A[0] * A[0] * A[3] + 2 * A[1] * A[1] * A[1] - 4 * A[0] * A[1] * A[2];
    const Real qb = 4 * A[0] * A[3] - 4 * A[0] * A[1] * A[1] * d - 4 * A[1] * A[2] + 4 * A[0] * A[0] * A[2] * d;
    const Real qc = 4 * A[0] * A[2] * d + 2 * A[3] + 2 * A[1] * A[1] * d + 6 * A[0] * A[0] * A[1] * d * d +
                    2 * std::pow(A[0], 4) * d * d * d;
    const Real kp = (-qb - std::sqrt(qb * qb - 4 * qa * qc)) / (2 * qa);
    ASSERT_GT(kp * A[0], 0);
    ASSERT_LT(kp * A[0], 10);
    ExpectClose(c.KpPID, kp);
    ExpectClose(c.KdPID, d);
    ExpectClose(c.KiPID, (1 + A[0] * kp) * (1 + A[0] * kp) / (2 * (A[0] * A[0] * d + A[1])));
}

TEST(Momi, LoopGainAboveLimitIsCutToLimit) {
    // L/T = 0.01: the plain formulas ask for loop gains above 10.
    const Areas A = TRegulator::ComputeAreas(2, 10, 0.1);
    double Kp = 0, Ki = 0, Kd = 0;
    TRegulator::MomiPITracking(A, MaxLoopGain, Kp, Ki);
    EXPECT_EQ(Kp * A[0], 10);
    EXPECT_EQ(0.85 * Kp * A[0], 8.5);
    EXPECT_EQ(TRegulator::MomiP(A[0], A[1], A[2], MaxLoopGain) * A[0], 10);
    TRegulator::MomiPIControl(A, MaxLoopGain, Kp, Ki);
    EXPECT_EQ(Kp * A[0], 10);
    TRegulator::MomiPIDControl(A, MaxLoopGain, Kp, Ki, Kd);
    EXPECT_LE(Kp * A[0], 10);

    // A lower limit reaches TuneLoop's general case the same way.
    EXPECT_DOUBLE_EQ(TRegulator::TuneLoop(MomiTracking, 2, 10, 1, 3).KpPI * 2, 0.85 * 3);
    EXPECT_DOUBLE_EQ(TRegulator::TuneLoop(MomiControl, 2, 10, 1, 3).KpPI * 2, 3);
}

TEST(Momi, WrongSignDerivativeFallsBackToPi) {
    for (double K : {2.0, -2.0}) {
        const Areas A = TRegulator::ComputeAreas(K, 10, 0.5);
        double Kp = 0, Ki = 0, Kd = 1, piKp = 0, piKi = 0;
        TRegulator::MomiPIDTracking(A, MaxLoopGain, Kp, Ki, Kd);
        TRegulator::MomiPITracking(A, MaxLoopGain, piKp, piKi);
        EXPECT_EQ(Kd, 0);
        EXPECT_EQ(Kp, piKp);
        EXPECT_EQ(Ki, piKi);
    }
}

TEST(Momi, GuardsOnUnusualAreas) {
    double Kp = 1, Ki = 1, Kd = 1;
    // A negative loop gain (Kp = -0.5) is replaced by the limit.
    TRegulator::MomiPITracking({1, 1, 0, -1, 0, 0}, MaxLoopGain, Kp, Ki);
    EXPECT_EQ(Kp, 10);
    EXPECT_EQ(Ki, 10.5);
    // d = 0 with A0 = 0 gives Kp = X.
    TRegulator::MomiPITracking({0, 0, 1, 1, 0, 0}, MaxLoopGain, Kp, Ki);
    EXPECT_EQ(Kp, 10);
    EXPECT_EQ(Ki, 0);
    // a = 0: Kp = -c / b with b = 0 gives 0; Ki = 0.5 / A1.
    TRegulator::MomiPIDControl({1, 1, 1, 1, 0, 0}, MaxLoopGain, Kp, Ki, Kd);
    EXPECT_EQ(Kp, 0);
    EXPECT_EQ(Ki, 0.5);
    EXPECT_EQ(Kd, 0);
    // a = 4, b = 4, c = 2: b^2 - 4 a c < 0.
    try {
        TRegulator::MomiPIDControl({1, 1, 0, 1, 0, 0}, MaxLoopGain, Kp, Ki, Kd);
        FAIL() << "no error";
    } catch (const FloatingPointError& e) {
        EXPECT_STREQ(e.what(), "Invalid floating point operation");
    }
}

// ---------------------------------------------------------------------------
// Single loop

TEST(TuneLoop, MomiSmallDeadTimeUsesFixedLoopGain) {
    for (double L : {0.5, 0.0}) {
        const double A1 = 2 * (10 + L);
        const TuningResult t = TRegulator::TuneLoop(MomiTracking, 2, 10, L, MaxLoopGain);
        EXPECT_EQ(Values(t), (std::vector<double>{0.5 / A1, 2.525, 2.525, 5.55 / A1, 2.525, 5.55 / A1, 0}));
        const TuningResult c = TRegulator::TuneLoop(MomiControl, 2, 10, L, MaxLoopGain);
        EXPECT_DOUBLE_EQ(c.KiPI, 6.05 * 6.05 / (2 * A1));
        EXPECT_EQ(c.KpPI, 2.525);
        EXPECT_EQ(c.KpPID, 2.525);
        EXPECT_EQ(c.KiPID, c.KiPI);
        EXPECT_EQ(c.KdPID, 0);
    }
    // L/T exactly 0.1 is the general case (with a derivative gain).
    EXPECT_GT(TRegulator::TuneLoop(MomiTracking, 2, 10, 1, MaxLoopGain).KdPID, 0);
}

TEST(TuneLoop, StepResponseRulesExamples) {
    const auto chr = TRegulator::TuneLoop(ChrTracking, 2, 10, 1, MaxLoopGain);
    const double chrExpected[] = {1.75 / 12, 1.75, 1.75, 1.75 / 12, 3, 0.3, 1.5};
    const auto chc = TRegulator::TuneLoop(ChrControl, 2, 10, 1, MaxLoopGain);
    const double chcExpected[] = {0.75, 3, 3, 0.75, 4.75, 4.75 / 2.4, 0.42 * 4.75};
    const auto zn = TRegulator::TuneLoop(ZieglerNichols, 2, 10, 1, MaxLoopGain);
    const double znExpected[] = {1.5, 5, 4.5, 1.5, 6, 3, 3};
    for (int i = 0; i < 7; ++i) {
        EXPECT_DOUBLE_EQ(Values(chr)[i], chrExpected[i]) << i;
        EXPECT_DOUBLE_EQ(Values(chc)[i], chcExpected[i]) << i;
        EXPECT_DOUBLE_EQ(Values(zn)[i], znExpected[i]) << i;
    }
    EXPECT_NEAR(chr.KiPI, 0.1458333, 1e-7);

    const auto bal = TRegulator::TuneLoop(BalanceMethod, 2, 10, 1, MaxLoopGain);  // q = 10/11, N = 221/242
    EXPECT_NEAR(bal.KpPI * 2, 0.91322, 1e-5);
    EXPECT_NEAR(bal.KpPI, 0.45661, 1e-5);
    EXPECT_NEAR(bal.KiPI, 0.04545, 1e-5);
    EXPECT_DOUBLE_EQ(bal.KpPI, 221.0 / 484);
    EXPECT_DOUBLE_EQ(bal.KiPI, 1.0 / 22);
    EXPECT_EQ(Values(bal), (std::vector<double>{bal.KiPI, bal.KpPI, bal.KpPI, bal.KiPI, 0, 0, 0}));
}

TEST(TuneLoop, DegenerateModelsAndMethods) {
    for (int method : {MomiTracking, MomiControl}) {
        for (double L : {1.0, 0.5}) {
            EXPECT_EQ(Values(TRegulator::TuneLoop(method, 0, 10, L, MaxLoopGain)), std::vector<double>(7, 0.0));
        }
    }
    EXPECT_DOUBLE_EQ(TRegulator::TuneLoop(ChrTracking, 0, 10, 1, MaxLoopGain).KpPI, 3500);
    for (int method : {int{NoMethod}, -1, TuningMethodCount, 100}) {
        EXPECT_EQ(TRegulator::TuneLoop(method, 2, 10, 1, MaxLoopGain), TuningResult{});
        const CascadeTuning c = TRegulator::TuneCascade(method, 2, 10, 1, 1, 20, 2, MaxLoopGain);
        EXPECT_EQ(c.KpInner, 0);
        EXPECT_EQ(c.Outer, TuningResult{});
    }
}

// The reference rules on e^-s / (s + 1) and on 2 e^-s / (10 s + 1), by hand
// from their published forms; neither defines an I controller, AMIGO no P.
TEST(TuneLoop, ReferenceRulesByHand) {
    const double Td = 1.0 / 3.0;
    const double simc[][7] = {
        // KiI, KpP, KpPI, KiPI, KpPID, KiPID, KdPID
        {0, 0.5, 0.5, 0.5, 0.5 * (1 + Td), 0.5, 0.5 * Td},
        {0, 2.5, 2.5, 2.5 / 8, 2.5 * (1 + Td / 8), 2.5 / 8, 2.5 * Td},
    };
    const double amigoPid1 = 0.65;  // (0.2 + 0.45) / 1, Ti = 1.2 / 1.1, Td = 0.5 / 1.3
    const double amigo[][7] = {
        {0, 0, 0.25, 0.25 / 1.0, amigoPid1, amigoPid1 / (1.2 / 1.1), amigoPid1 * 0.5 / 1.3},
        {0, 0, (0.15 + (0.35 - 10.0 / 121) * 10) / 2, 0, (0.2 + 4.5) / 2, 0, 0},
    };
    const double models[][3] = {{1, 1, 1}, {2, 10, 1}};
    for (int m = 0; m < 2; ++m) {
        const auto s = Values(TRegulator::TuneLoop(Simc, models[m][0], models[m][1], models[m][2], MaxLoopGain));
        const auto a = Values(TRegulator::TuneLoop(Amigo, models[m][0], models[m][1], models[m][2], MaxLoopGain));
        for (int i = 0; i < 7; ++i) {
            EXPECT_NEAR(s[i], simc[m][i], 1e-12) << m << " " << i;
            if (m == 0 || i == 2 || i == 4) {
                EXPECT_NEAR(a[i], amigo[m][i], 1e-12) << m << " " << i;
            }
        }
    }
    // No tuning without a gain or a dead time, in the single loop and the cascade.
    for (int method : {int{Simc}, int{Amigo}}) {
        EXPECT_THROW(TRegulator::TuneLoop(method, 0, 10, 1, MaxLoopGain), FloatingPointError);
        EXPECT_THROW(TRegulator::TuneLoop(method, 2, 10, 0, MaxLoopGain), FloatingPointError);
        EXPECT_THROW(TRegulator::TuneCascade(method, 2, 10, 0, 1, 20, 2, MaxLoopGain), FloatingPointError);
        const CascadeTuning c = TRegulator::TuneCascade(method, 2, 10, 1, 1, 20, 2, MaxLoopGain);
        EXPECT_GT(c.KpInner, 0);
        EXPECT_GT(c.Outer.KpPI, 0);
        EXPECT_EQ(c.Outer.KpPID, c.Outer.KpPI);
    }
}

ModelParameters IntegratingModel(double K, double T, double L) {
    ModelParameters m{K, T, L};
    m.Type = ProcessType::Integrating;
    return m;
}

// The rules for integrating processes by hand from their published forms:
// SIMC (Kc = 1 / (K 2L), Ti = 8 L, PID in series with Td = T), AMIGO (lag
// counted as dead time); a negative slope gain negates the gains; every
// other rule is refused by name, and a cascade around a level tunes its
// outer PI on the closed inner loop's gain and mean time.
TEST(TuneLoop, IntegratingRulesByHandAndTheOthersRefused) {
    const double Kc = 10.0 / 3.0;                              // K 0.05, L 3: 1 / (0.05 * 6)
    const double amigoPi = 0.35 / 0.6, amigoPid = 0.45 / 0.6;  // K 0.1, L + T = 6
    const struct {
        int method;
        ModelParameters model;
        double expected[7];  // KiI, KpP, KpPI, KiPI, KpPID, KiPID, KdPID
    } rows[] = {
        {Simc, IntegratingModel(0.05, 0, 3), {0, Kc, Kc, Kc / 24, Kc, Kc / 24, 0}},
        {Simc, IntegratingModel(0.1, 4, 2), {0, 2.5, 2.5, 2.5 / 16, 2.5 * (1 + 4.0 / 16), 2.5 / 16, 2.5 * 4}},
        {Simc, IntegratingModel(-0.1, 4, 2), {0, -2.5, -2.5, -2.5 / 16, -2.5 * (1 + 4.0 / 16), -2.5 / 16, -10}},
        {Amigo,
         IntegratingModel(0.1, 4, 2),
         {0, 0, amigoPi, amigoPi / (13.4 * 6), amigoPid, amigoPid / 48, amigoPid * 3}},
    };
    for (const auto& r : rows) {
        const auto v = Values(TRegulator::TuneLoop(r.method, r.model, MaxLoopGain));
        for (int i = 0; i < 7; ++i) {
            EXPECT_NEAR(v[i], r.expected[i], 1e-12 * std::fabs(r.expected[i])) << r.method << " " << i;
        }
    }
    EXPECT_THROW(TRegulator::TuneLoop(Simc, IntegratingModel(0.1, 4, 0), MaxLoopGain), FloatingPointError);
    EXPECT_EQ(TRegulator::TuneLoop(NoMethod, IntegratingModel(0.1, 4, 2), MaxLoopGain), TuningResult{});
    for (int method = MomiTracking; method <= ZieglerNichols; ++method) {
        EXPECT_FALSE(TuningMethodApplies(method, ProcessType::Integrating));
        EXPECT_TRUE(TuningMethodApplies(method, ProcessType::SelfRegulating));
        try {
            TRegulator::TuneCascade(method, ModelParameters{2, 10, 1}, IntegratingModel(0.05, 0, 4), MaxLoopGain);
            ADD_FAILURE() << method;
        } catch (const HalvetraError& e) {
            EXPECT_EQ(e.what(), TuningMethodRefusal(method));
        }
    }
    EXPECT_EQ(TuningMethodRefusal(MomiTracking),
              "The rule MOMI method - tracking does not apply to integrating processes; choose SIMC, AMIGO or the "
              "optimal rule");
    // Self-regulating models tune as they always have.
    EXPECT_EQ(TRegulator::TuneLoop(MomiControl, ModelParameters{2, 10, 1}, MaxLoopGain),
              TRegulator::TuneLoop(MomiControl, 2, 10, 1, MaxLoopGain));

    // A level behind a flow loop: inner P as SIMC's cascade; the closed inner
    // loop k K / (1 + k K) with mean time (T + L) / (1 + k K).
    const CascadeTuning c =
        TRegulator::TuneCascade(Simc, ModelParameters{2, 10, 1}, IntegratingModel(0.05, 0, 4), MaxLoopGain);
    const double k = TRegulator::TuneCascade(Simc, 2, 10, 1, 1, 20, 2, MaxLoopGain).KpInner;
    EXPECT_DOUBLE_EQ(c.KpInner, k);
    const double Ke = 0.05 * 2 * k / (1 + 2 * k), Le = 4 + 11 / (1 + 2 * k);
    EXPECT_NEAR(c.Outer.KpPI, 1 / (Ke * 2 * Le), 1e-12);
    EXPECT_NEAR(c.Outer.KiPI, 1 / (Ke * 2 * Le) / (8 * Le), 1e-12);
    EXPECT_EQ(c.Outer.KpPID, c.Outer.KpPI);
    EXPECT_EQ(c.Outer.KdPID, 0.0);
    // An integrating inner process: the closed inner loop has gain 1 and mean
    // time 1 / (k K1), so a level outer sees the dead time L2 + 1 / (k K1).
    const CascadeTuning levels =
        TRegulator::TuneCascade(Simc, IntegratingModel(0.2, 1, 1), IntegratingModel(0.05, 0, 4), MaxLoopGain);
    EXPECT_DOUBLE_EQ(levels.KpInner, 2.5 / 0.85);
    const double Le2 = 4 + 1 / (levels.KpInner * 0.2);
    EXPECT_NEAR(levels.Outer.KpPI, 1 / (0.05 * 2 * Le2), 1e-12);
}

TEST(TuneLoop, NoDeadTimeKeepsTheSignOfTheProcess) {
    // K L = 0 stands in 10000 for T / (K L); a reverse-acting process gets
    // -10000, so its loop keeps negative feedback.
    for (double K : {2.0, -2.0}) {
        const double s = K > 0 ? 1 : -1;
        EXPECT_DOUBLE_EQ(TRegulator::TuneLoop(ChrTracking, K, 10, 0, MaxLoopGain).KpPI, s * 3500);
        const TuningResult zn = TRegulator::TuneLoop(ZieglerNichols, K, 10, 0, MaxLoopGain);
        EXPECT_EQ(zn.KpP, s * 10000);
        EXPECT_EQ(zn.KiPI, s * 10000);
    }
}

TEST(SignSymmetry, NegatedGainsNegateEveryResult) {
    for (const auto& m : Models) {
        for (int method = MomiTracking; method <= NoMethod; ++method) {
            const TuningResult p = TRegulator::TuneLoop(method, m[0], m[1], m[2], MaxLoopGain);
            const TuningResult n = TRegulator::TuneLoop(method, -m[0], m[1], m[2], MaxLoopGain);
            for (int i = 0; i < 7; ++i) {
                EXPECT_EQ(Values(n)[i], -Values(p)[i]) << method << " " << i << " K=" << m[0];
            }
            EXPECT_EQ(RecommendedSamplingTime(n.KpPI, n.KiPI, 0.7, -m[0], m[1]),
                      RecommendedSamplingTime(p.KpPI, p.KiPI, 0.7, m[0], m[1]));

            for (const auto& o : Models) {
                const CascadeTuning c = TRegulator::TuneCascade(method, m[0], m[1], m[2], o[0], o[1], o[2], 10);
                const CascadeTuning c1 = TRegulator::TuneCascade(method, -m[0], m[1], m[2], o[0], o[1], o[2], 10);
                const CascadeTuning c2 = TRegulator::TuneCascade(method, m[0], m[1], m[2], -o[0], o[1], o[2], 10);
                EXPECT_EQ(c1.KpInner, -c.KpInner);
                EXPECT_EQ(c1.Outer, c.Outer);
                EXPECT_EQ(c2.KpInner, c.KpInner);
                if (c.KpInner == 0) {
                    continue;  // the outer loop sees no process (all series areas 0)
                }
                for (int i = 0; i < 7; ++i) {
                    EXPECT_EQ(Values(c2.Outer)[i], -Values(c.Outer)[i]) << method << " " << i;
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Cascade

// Areas of the closed inner loop with P gain k in series with the outer process.
std::vector<Real> HandSeries(Real k, const std::vector<Real>& A, const std::vector<Real>& B) {
    const Real o = 1 / (1 + k * A[0]);
    std::vector<Real> C(6), D(6, 0);
    for (int j = 0; j < 6; ++j) {
        C[j] = k * A[j] * std::pow(o, j + 1);
        for (int i = 0; i <= j; ++i) {
            D[j] += C[i] * B[j - i];
        }
    }
    return D;
}

// Dead time and time constant of the equivalent model: the smaller root of
// 0.5 D0 x^2 - D1 x + (D1^2/D0 - D2) = 0 (both real and positive here).
void HandEquivalent(const std::vector<Real>& D, Real& Le, Real& Te) {
    const Real disc = D[1] * D[1] - 2 * D[0] * (D[1] * D[1] / D[0] - D[2]);
    ASSERT_GT(disc, 0);
    Le = (D[1] - std::sqrt(disc)) / D[0];
    ASSERT_GT(Le, 0);
    Te = D[1] / D[0] - Le;
}

TEST(TuneCascade, ChrTrackingAndMomiTrackingByHand) {
    const auto A = HandAreas(1, 4, 1);
    const auto B = HandAreas(2, 6, 2);
    Real Le = 0, Te = 0;

    const Real k = 0.35L * 4 / 0.85L;
    auto D = HandSeries(k, A, B);
    HandEquivalent(D, Le, Te);
    const Real Kp = 0.35L * Te / (Le * D[0]);
    const CascadeTuning c = TRegulator::TuneCascade(ChrTracking, 1, 4, 1, 2, 6, 2, MaxLoopGain);
    ExpectClose(c.KpInner, k);
    ExpectClose(c.Outer.KpPI, Kp);
    ExpectClose(c.Outer.KiPI, Kp / (1.2L * Te));

    const Real km = (2 * A[0] * A[2] - A[1] * A[1]) / (2 * A[0] * (A[1] * A[1] - A[0] * A[2]));
    D = HandSeries(km, A, B);
    HandEquivalent(D, Le, Te);
    ASSERT_GE(Le / Te, 0.1);
    const Real mKp = D[3] / (2 * (D[1] * D[2] - D[0] * D[3]));
    const CascadeTuning m = TRegulator::TuneCascade(MomiTracking, 1, 4, 1, 2, 6, 2, MaxLoopGain);
    ExpectClose(m.KpInner, km);
    ExpectClose(m.Outer.KpPI, 0.85L * mKp);
    ExpectClose(m.Outer.KiPI, 0.85L * (mKp * D[0] + 0.5L) / D[1]);
    ExpectClose(m.Outer.KiI, 0.85L * 0.5L / D[1]);
    ExpectClose(m.Outer.KpP, 0.85L * (2 * D[0] * D[2] - D[1] * D[1]) / (2 * D[0] * (D[1] * D[1] - D[0] * D[2])));
}

TEST(TuneCascade, StepRulesGiveOnlyTheOuterPi) {
    for (int method : {ChrTracking, ChrControl, BalanceMethod, ZieglerNichols, MomiTracking, MomiControl}) {
        const CascadeTuning c = TRegulator::TuneCascade(method, 1, 4, 1, 2, 6, 2, MaxLoopGain);
        EXPECT_GT(c.Outer.KpPI, 0);
        EXPECT_EQ(c.Outer.KpPID, c.Outer.KpPI);
        EXPECT_EQ(c.Outer.KiPID, c.Outer.KiPI);
        EXPECT_EQ(c.Outer.KdPID, 0);
        if (method == ChrTracking || method == ChrControl || method == BalanceMethod) {
            EXPECT_EQ(c.Outer.KiI, 0);
            EXPECT_EQ(c.Outer.KpP, 0);
        }
        if (method == ZieglerNichols) {
            EXPECT_EQ(c.Outer.KiI, 0);
            EXPECT_DOUBLE_EQ(c.Outer.KpPI, 0.9 * c.Outer.KpP);  // KpP = R
        }
    }
}

// ---------------------------------------------------------------------------
// Controller page helpers

TEST(RobustnessFactor, SliderValues) {
    const double expected[] = {0.1, 0.4182, 1.0000, 1.7534, 2.6456};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(RobustnessFactor(5 * i), expected[i], 5e-5) << 5 * i;
    }
    EXPECT_EQ(RobustnessFactor(-3), RobustnessFactor(0));
    EXPECT_EQ(RobustnessFactor(25), RobustnessFactor(20));
}

TEST(RecommendedSamplingTime, TenthOfTheSmallerTimeRoundedToMilliseconds) {
    // CHR tracking, K = 2, T = 10: T / (Kp K) = 2.857, 1 / (Ki K) = 3.43.
    EXPECT_DOUBLE_EQ(RecommendedSamplingTime(1.75, 1.75 / 12, 1, 2, 10), 0.286);
    EXPECT_DOUBLE_EQ(RecommendedSamplingTime(1.75, 1.75 / 12, 2, 2, 10), 0.143);
    EXPECT_DOUBLE_EQ(RecommendedSamplingTime(8, 0.001, 1, 1, 1), 0.012);  // 12.5 to even
    EXPECT_DOUBLE_EQ(RecommendedSamplingTime(8, 0.001, 1, 1, 3), 0.038);  // 37.5 to even
    EXPECT_DOUBLE_EQ(RecommendedSamplingTime(0, 0, 1, 2, 10), 100);
    EXPECT_DOUBLE_EQ(RecommendedSamplingTime(-1, 0.001, 1, 1, 1), 0.1);  // |Kp f K|
}

}  // namespace
}  // namespace halvetra
