// Refinement of identified models: exact recovery of gain, time constant and
// a continuous dead time, honest intervals on noisy records, the derivatives
// against finite differences, and the records where the identified model stays.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/ModelRefinement.h"
#include "model/TModel.h"

using namespace halvetra;

namespace {

struct Process {
    double K, T, L;
};

// The sampled output of the continuous process T y' + y = K u(t - L) whose
// input is held between samples (u[k] over [k Ts, (k + 1) Ts)), from closed
// forms of the step responses, one per change of the input.
std::vector<double> HeldResponse(const std::vector<double>& u, int n, double ts, Process p) {
    std::vector<double> y(n, 0.0);
    for (int s = 0; s < n; ++s) {
        const double change = u[s] - (s > 0 ? u[s - 1] : 0.0);
        if (change == 0.0) continue;
        for (int k = 0; k < n; ++k) {
            const double t = k * ts - s * ts - p.L;
            if (t > 0) y[k] += p.K * change * -std::expm1(-t / p.T);
        }
    }
    return y;
}

// A window of n samples: the input steps to 1 at sample `step` and, where
// `back` > 0, back to 0.4 at sample `back`; the inner output is `inner`'s held
// response, the outer output `outer`'s response to it, both with noise.
IdentificationWindow Window(int n, double ts, int step, int back, Process inner, Process outer, double noise = 0.0,
                            unsigned seed = 1) {
    IdentificationWindow w;
    w.WindowLength = n;
    std::vector<double> u(n);
    for (int k = 0; k < n; ++k) u[k] = k < step ? 0.0 : (back > 0 && k >= back ? 0.4 : 1.0);
    const std::vector<double> y = HeldResponse(u, n, ts, inner);
    std::vector<double> y2(n);
    FractionalFirstOrderResponse(y, n, ts, outer.K, outer.T, outer.L, y2);
    std::mt19937 random(seed);
    std::normal_distribution<double> e(0.0, noise > 0 ? noise : 1.0);
    for (int k = 0; k < n; ++k) {
        w.WindowTime[k] = k * ts;
        w.WindowU[k] = u[k];
        w.WindowY[k] = y[k] + (noise > 0 ? e(random) : 0.0);
        w.WindowY2[k] = y2[k];
    }
    return w;
}

RefinedModels IdentifyAndRefine(IdentificationWindow& w, double ts) {
    TModel model;
    const int n = w.WindowLength;
    model.Identify(w, n, ts, 0.05 * (n - 1) * ts);
    return RefineModels(w, ts, model.Inner, model.Outer);
}

void ExpectFinite(const RefinedModel& m) {
    const double all[] = {m.Gain,
                          m.TimeConstant,
                          m.DeadTime,
                          m.GainStd,
                          m.TimeConstantStd,
                          m.DeadTimeStd,
                          m.GainCI95[0],
                          m.GainCI95[1],
                          m.TimeConstantCI95[0],
                          m.TimeConstantCI95[1],
                          m.DeadTimeCI95[0],
                          m.DeadTimeCI95[1],
                          m.FitPercent};
    for (double v : all) EXPECT_TRUE(std::isfinite(v));
}

}  // namespace

// The held-input recursion reproduces the continuous process at the samples,
// and the refinement, started from the identification, recovers it: inner
// dead time one sampling period late as the identification's own, outer
// process (fed the same equation) exact.
TEST(ModelRefinement, RecoversExactSampledProcesses) {
    struct Case {
        const char* name;
        double ts;
        int n, step, back;
        Process inner, outer;
    } cases[] = {
        {"T/Ts 10, whole-sample L", 1.0, 200, 10, 0, {2.0, 10.0, 3.0}, {0.5, 15.0, 5.0}},
        {"T 4, Ts 0.5, L 1.3", 0.5, 200, 10, 0, {1.5, 4.0, 1.3}, {0.8, 6.0, 2.25}},
        {"negative gains", 1.0, 150, 5, 0, {-1.5, 8.0, 2.7}, {-0.7, 5.0, 0.6}},
        {"dead time under a sample", 2.0, 120, 4, 60, {0.8, 30.0, 0.4}, {1.2, 20.0, 7.9}},
        {"no dead time, fast lag", 1.0, 80, 20, 50, {3.0, 1.5, 0.0}, {1.0, 2.0, 0.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IdentificationWindow w = Window(c.n, c.ts, c.step, c.back, c.inner, c.outer);
        std::vector<double> recursion(c.n);
        FractionalFirstOrderResponse(w.WindowU, c.n, c.ts, c.inner.K, c.inner.T, c.inner.L, recursion);
        for (int k = 0; k < c.n; ++k) ASSERT_NEAR(recursion[k], w.WindowY[k], 1e-12 * std::abs(c.inner.K)) << k;

        const RefinedModels r = IdentifyAndRefine(w, c.ts);
        const struct {
            const RefinedModel& m;
            Process truth;
        } sets[] = {{r.Inner, {c.inner.K, c.inner.T, c.inner.L + c.ts}},
                    {r.Outer, {c.outer.K, c.outer.T, c.outer.L + c.ts}}};
        for (const auto& s : sets) {
            EXPECT_TRUE(s.m.Refined) << s.m.Reason;
            EXPECT_TRUE(s.m.Converged);
            EXPECT_NEAR(s.m.Gain, s.truth.K, 1e-6 * std::abs(s.truth.K));
            EXPECT_NEAR(s.m.TimeConstant, s.truth.T, 1e-6 * s.truth.T);
            EXPECT_NEAR(s.m.DeadTime, s.truth.L, 1e-6 * s.truth.L);
            EXPECT_GT(s.m.FitPercent, 99.999);
            EXPECT_LE(s.m.Iterations, 100);
            ExpectFinite(s.m);
        }
    }
}

// Starts far from the optimum, where a full step would take the time
// constant to its bound (the response no longer depends on it there).
TEST(ModelRefinement, RecoversFromPoorStarts) {
    const int n = 34;
    const double ts = 0.5;
    std::vector<double> u(n), r(n);
    for (int k = 6; k < n; ++k) u[k] = 1.0;
    r = HeldResponse(u, n, ts, {2.0, 2.0, 1.3});
    const ModelParameters starts[] = {{0.422, 3.48, 1.61}, {0.575, 4.71, 2.64}, {1.5, 4.31, 0.697}, {4.0, 0.1, 0.0}};
    for (const ModelParameters& start : starts) {
        SCOPED_TRACE(testing::Message() << start.Gain << " " << start.TimeConstant << " " << start.DeadTime);
        const RefinedModel m = RefineModel(u, r, n, ts, start);
        ASSERT_TRUE(m.Refined) << m.Reason;
        EXPECT_NEAR(m.Gain, 2.0, 1e-6);
        EXPECT_NEAR(m.TimeConstant, 2.0, 1e-6);
        EXPECT_NEAR(m.DeadTime, 1.3, 1e-6);
    }
}

// On a noisy record the 95 % intervals contain the truth in about 95 % of
// the records (binomial band of 200 records), and the refined figures are
// unbiased within a fraction of their spread.
TEST(ModelRefinement, IntervalsCoverTheTruthOnNoisyRecords) {
    const double ts = 1.0;
    const Process inner{2.0, 6.0, 3.4};
    const Process truth{inner.K, inner.T, inner.L + ts};
    const int seeds = 200;
    int covered[3] = {0, 0, 0};
    double bias[3] = {0, 0, 0}, spread[3] = {0, 0, 0};
    for (int seed = 1; seed <= seeds; ++seed) {
        IdentificationWindow w = Window(120, ts, 10, 70, inner, {1.0, 5.0, 1.0}, 0.02, seed);
        const RefinedModel m = IdentifyAndRefine(w, ts).Inner;
        ASSERT_TRUE(m.Refined) << seed << ": " << m.Reason;
        const double values[3] = {m.Gain, m.TimeConstant, m.DeadTime};
        const double stds[3] = {m.GainStd, m.TimeConstantStd, m.DeadTimeStd};
        const std::array<double, 2> intervals[3] = {m.GainCI95, m.TimeConstantCI95, m.DeadTimeCI95};
        const double truths[3] = {truth.K, truth.T, truth.L};
        for (int i = 0; i < 3; ++i) {
            covered[i] += intervals[i][0] <= truths[i] && truths[i] <= intervals[i][1];
            bias[i] += (values[i] - truths[i]) / seeds;
            spread[i] += stds[i] / seeds;
        }
    }
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(covered[i], 180);
        EXPECT_LE(covered[i], 198);
        EXPECT_LT(std::abs(bias[i]), 0.3 * spread[i]);
    }
}

// The analytic derivatives of the response against central differences (a
// dead time on a whole sample: the difference from above, as the derivative
// is taken there).
TEST(ModelRefinement, DerivativesMatchFiniteDifferences) {
    const int n = 60;
    const double ts = 0.5;
    std::vector<double> u(n);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> level(-1.0, 1.0);
    for (int k = 5; k < n; ++k) u[k] = k % 7 == 0 ? level(random) : u[k - 1];
    const Process cases[] = {{2.0, 3.0, 1.2}, {-0.6, 0.4, 0.1}, {1.3, 12.0, 2.0}, {1.0, 2.0, 0.0}};
    for (const Process& p : cases) {
        SCOPED_TRACE(testing::Message() << p.K << " " << p.T << " " << p.L);
        std::vector<double> y(n), dK(n), dT(n), dL(n), up(n), down(n);
        FractionalFirstOrderSensitivities(u, n, ts, p.K, p.T, p.L, y, dK, dT, dL);
        const bool whole = std::fmod(p.L, ts) == 0.0;
        auto check = [&](const std::vector<double>& analytic, auto response, double h, bool forward) {
            response(up, h);
            response(down, forward ? 0.0 : -h);
            double largest = 0.0;
            for (double v : analytic) largest = std::max(largest, std::abs(v));
            ASSERT_GT(largest, 0.0);
            for (int k = 0; k < n; ++k)
                EXPECT_NEAR(analytic[k], (up[k] - down[k]) / (forward ? h : 2 * h), 1e-5 * largest) << k;
        };
        check(
            dK,
            [&](std::vector<double>& out, double h) { FractionalFirstOrderResponse(u, n, ts, p.K + h, p.T, p.L, out); },
            1e-6, false);
        check(
            dT,
            [&](std::vector<double>& out, double h) { FractionalFirstOrderResponse(u, n, ts, p.K, p.T + h, p.L, out); },
            1e-6 * p.T, false);
        check(
            dL,
            [&](std::vector<double>& out, double h) { FractionalFirstOrderResponse(u, n, ts, p.K, p.T, p.L + h, out); },
            whole ? 1e-9 : 1e-7, whole);
    }
}

// Records the refinement cannot improve on: the identified figures stay, bit
// for bit, with the reason, and every number is finite.
TEST(ModelRefinement, KeepsTheIdentifiedModelWithAReason) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ModelParameters identified{1.25, 3.5, 2.0};
    struct Case {
        const char* name;
        int n;
        double u, r;   // levels from sample 4 on
        double extra;  // a value put into the reference at sample 6
        ModelParameters start;
        const char* reason;
    } cases[] = {
        {"constant record", 50, 0.0, 0.0, 0.0, identified, "The input does not change in the window"},
        {"a record without a step", 50, 0.0, 0.0, 0.3, identified, "The input does not change in the window"},
        {"an output that does not follow", 50, 1.0, 0.0, 0.0, identified,
         "The reference does not change in the window"},
        {"three samples", 3, 1.0, 2.0, 0.0, identified, "The window has too few samples to refine the model"},
        {"one sample", 1, 1.0, 2.0, 0.0, identified, "The window has too few samples to refine the model"},
        {"a value that is not finite", 50, 1.0, 2.0, nan, identified, "The window holds a value that is not finite"},
        {"an identified model that is not finite",
         50,
         1.0,
         2.0,
         0.0,
         {nan, 3.5, 2.0},
         "The identified model is not finite"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> u(60), r(60);
        for (int k = 3; k < 60; ++k) {
            u[k] = c.u;
            r[k] = c.r;
        }
        r[5] += c.extra;
        const RefinedModel m = RefineModel(u, r, c.n, 0.5, c.start);
        EXPECT_FALSE(m.Refined);
        EXPECT_EQ(m.Reason, c.reason);
        if (std::isfinite(c.start.Gain)) {
            EXPECT_EQ(m.Gain, c.start.Gain);
            EXPECT_EQ(m.TimeConstant, c.start.TimeConstant);
            EXPECT_EQ(m.DeadTime, c.start.DeadTime);
        }
        ExpectFinite(m);
    }

    // Windows of a few samples around the step: finite, refined or kept.
    for (int n = 4; n <= 8; ++n) {
        SCOPED_TRACE(n);
        IdentificationWindow w = Window(n, 1.0, 2, 0, {2.0, 3.0, 0.5}, {1.0, 2.0, 0.0});
        const RefinedModels r = IdentifyAndRefine(w, 1.0);
        ExpectFinite(r.Inner);
        ExpectFinite(r.Outer);
        EXPECT_EQ(r.Inner.Refined, r.Inner.Reason.empty());
    }
}
