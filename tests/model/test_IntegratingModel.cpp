// Integrating processes: identification of synthetic records (pure and with
// lag, single step and pulse, clean and noisy, negative gain), the automatic
// choice on self-regulating records, the response's derivatives, and the
// records that have no integrating fit.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "data/Errors.h"
#include "model/IntegratingModel.h"
#include "model/ModelRefinement.h"
#include "model/TModel.h"

using namespace halvetra;

namespace {

struct Process {
    double K, T, L;
    bool integrating;
};

// The sampled output of the continuous process driven by a held input
// (u[k] over [k Ts, (k + 1) Ts)), from closed forms of the step responses,
// one per change of the input.
std::vector<double> HeldResponse(const std::vector<double>& u, int n, double ts, Process p) {
    std::vector<double> y(n, 0.0);
    for (int s = 0; s < n; ++s) {
        const double change = u[s] - (s > 0 ? u[s - 1] : 0.0);
        if (change == 0.0) continue;
        for (int k = 0; k < n; ++k) {
            const double t = k * ts - s * ts - p.L;
            if (!(t > 0)) continue;
            if (!p.integrating)
                y[k] += p.K * change * -std::expm1(-t / p.T);
            else
                y[k] += p.K * change * (p.T > 0 ? t + p.T * std::expm1(-t / p.T) : t);
        }
    }
    return y;
}

// A window whose input steps to 1 at `step` and, where back > 0, returns to
// `level` at `back`; the inner output is `inner`'s held response with noise,
// the outer output `outer`'s response to it by the model's own recursion.
IdentificationWindow Window(int n, double ts, int step, int back, double level, Process inner, Process outer,
                            double noise, unsigned seed = 3) {
    IdentificationWindow w;
    w.WindowLength = n;
    std::vector<double> u(n);
    for (int k = 0; k < n; ++k) u[k] = k < step ? 0.0 : (back > 0 && k >= back ? level : 1.0);
    const std::vector<double> y = HeldResponse(u, n, ts, inner);
    std::vector<double> y2(n);
    if (outer.integrating)
        IntegratingResponse(y, n, ts, outer.K, outer.T, outer.L, y2);
    else
        FractionalFirstOrderResponse(y, n, ts, outer.K, outer.T, outer.L, y2);
    std::mt19937 random(seed);
    std::normal_distribution<double> e(0.0, 1.0);
    for (int k = 0; k < n; ++k) {
        w.WindowTime[k] = k * ts;
        w.WindowU[k] = u[k];
        w.WindowY[k] = y[k] + noise * e(random);
        w.WindowY2[k] = y2[k];
    }
    return w;
}

}  // namespace

// Identified with "auto": each integrating process is recognised and its
// figures recovered (clean: K within 0.5 %, L within 0.05 Ts of the true dead
// time plus one sampling period, the reference's lag), each self-regulating
// one stays as identified. The model's recursion reproduces the continuous
// integrating process at the samples.
TEST(IntegratingModel, IdentifiesSyntheticRecordsWithAuto) {
    const Process flow{1.5, 4.0, 1.0, false};
    struct Case {
        const char* name;
        double ts;
        int n, step, back;
        double level, noise;
        Process inner, outer;
    } cases[] = {
        {"pure, step", 1.0, 200, 10, 0, 0.0, 0.0, {0.02, 0.0, 3.0, true}, flow},
        {"pure, pulse, fractional L", 0.5, 300, 10, 40, 0.0, 0.0, {0.05, 0.0, 2.3, true}, flow},
        {"lag, step", 1.0, 250, 10, 0, 0.0, 0.0, {0.01, 8.0, 4.0, true}, flow},
        {"lag, pulse", 2.0, 200, 5, 30, 0.0, 0.0, {0.004, 15.0, 6.8, true}, flow},
        {"negative gain, lag, pulse", 1.0, 200, 10, 50, 0.0, 0.0, {-0.03, 5.0, 2.5, true}, flow},
        {"no dead time", 1.0, 150, 10, 0, 0.0, 0.0, {0.1, 2.0, 0.0, true}, flow},
        {"level outer of a flow", 1.0, 300, 10, 60, 0.0, 0.0, {2.0, 6.0, 1.0, false}, {0.01, 0.0, 4.0, true}},
        {"pure, pulse, noisy", 1.0, 300, 10, 40, 0.0, 0.01, {0.05, 0.0, 3.0, true}, flow},
        {"lag, step, noisy", 1.0, 300, 10, 0, 0.0, 0.02, {0.02, 6.0, 3.0, true}, flow},
        {"negative, pulse, noisy", 0.5, 400, 20, 100, 0.0, 0.01, {-0.04, 3.0, 2.0, true}, flow},
    };
    // Noisy records over ten seeds: "auto" must recognise every one.
    for (const Case& c : cases)
        for (unsigned seed = 1; seed <= (c.noise > 0.0 ? 10u : 1u); ++seed) {
            SCOPED_TRACE(testing::Message() << c.name << ", seed " << seed);
            IdentificationWindow w = Window(c.n, c.ts, c.step, c.back, c.level, c.inner, c.outer, c.noise, seed);
            if (c.inner.integrating && c.noise == 0.0) {
                std::vector<double> recursion(c.n);
                IntegratingResponse(w.WindowU, c.n, c.ts, c.inner.K, c.inner.T, c.inner.L, recursion);
                for (int k = 0; k < c.n; ++k) ASSERT_NEAR(recursion[k], w.WindowY[k], 1e-10 * std::abs(c.inner.K)) << k;
            }
            TModel model;
            model.Identify(w, c.n, c.ts, 0.05 * (c.n - 1) * c.ts);
            const ModelParameters selfRegulating[2] = {model.Inner, model.Outer};
            const ProcessFits fits = ApplyProcessChoice(model, w, c.ts, ProcessChoice::Auto, ProcessChoice::Auto);
            const struct {
                const ModelParameters& m;
                const ModelParameters& identified;
                const IntegratingFit& fit;
                Process truth;
            } sets[] = {{model.Inner, selfRegulating[0], fits.Inner, c.inner},
                        {model.Outer, selfRegulating[1], fits.Outer, c.outer}};
            for (const auto& s : sets) {
                if (!s.truth.integrating) {
                    EXPECT_EQ(s.m, s.identified);
                    continue;
                }
                ASSERT_EQ(s.m.Type, ProcessType::Integrating) << s.fit.Reason;
                const bool clean = c.noise == 0.0;
                EXPECT_NEAR(s.m.Gain, s.truth.K, (clean ? 0.005 : 0.05) * std::abs(s.truth.K));
                if (clean) {
                    EXPECT_NEAR(s.m.DeadTime, s.truth.L + c.ts, 0.05 * c.ts);
                    EXPECT_NEAR(s.m.TimeConstant, s.truth.T, 0.05 * c.ts);
                } else {
                    // Noise trades lag against dead time; their sum stays.
                    EXPECT_NEAR(s.m.DeadTime + s.m.TimeConstant, s.truth.L + c.ts + s.truth.T, 0.5 * c.ts);
                }
                EXPECT_LE(s.fit.GainCI95[0], s.m.Gain);
                EXPECT_GE(s.fit.GainCI95[1], s.m.Gain);
                if (clean) {
                    EXPECT_LT(s.m.RelativeError, 0.01);
                }
            }
        }
}

// "auto" keeps self-regulating records self-regulating: the recorded step of
// the window tests, slow lags whose window ends before they settle, pulses,
// noise and negative gains.
TEST(IntegratingModel, AutoKeepsSelfRegulatingRecords) {
    struct Case {
        const char* name;
        double ts;
        int n, step, back;
        double noise;
        Process inner, outer;
    } cases[] = {
        {"window tests' step", 0.5, 400, 59, 0, 0.0, {2.0, 8.0, 2.0, false}, {1.5, 15.0, 3.0, false}},
        {"window ends at 2 T", 1.0, 110, 10, 0, 0.0, {1.0, 50.0, 3.0, false}, {1.0, 5.0, 1.0, false}},
        {"pulse", 1.0, 200, 10, 60, 0.01, {-2.0, 12.0, 4.0, false}, {0.7, 20.0, 2.0, false}},
        {"fast and noisy", 0.5, 300, 20, 150, 0.05, {0.5, 1.0, 0.0, false}, {3.0, 2.0, 0.5, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IdentificationWindow w = Window(c.n, c.ts, c.step, c.back, 0.4, c.inner, c.outer, c.noise);
        TModel model;
        model.Identify(w, c.n, c.ts, 0.05 * (c.n - 1) * c.ts);
        const TModel identified = model;
        ApplyProcessChoice(model, w, c.ts, ProcessChoice::Auto, ProcessChoice::Auto);
        EXPECT_EQ(model.Inner, identified.Inner);
        EXPECT_EQ(model.Outer, identified.Outer);
    }
}

// The analytic derivatives of the response against central differences (the
// dead time's from above on a whole sample, where it is taken).
TEST(IntegratingModel, DerivativesMatchFiniteDifferences) {
    const int n = 60;
    const double ts = 0.5;
    std::vector<double> u(n);
    for (int k = 5; k < n; ++k) u[k] = k < 25 ? 1.0 : (k < 40 ? -0.5 : 0.3);
    const Process cases[] = {{0.2, 3.0, 1.2, true}, {-0.6, 0.0, 0.1, true}, {1.3, 12.0, 2.0, true}};
    for (const Process& p : cases) {
        SCOPED_TRACE(testing::Message() << p.K << " " << p.T << " " << p.L);
        std::vector<double> y(n), dK(n), dT(n), dL(n), up(n), down(n);
        IntegratingSensitivities(u, n, ts, p.K, p.T, p.L, y, dK, dT, dL);
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
            dK, [&](std::vector<double>& out, double h) { IntegratingResponse(u, n, ts, p.K + h, p.T, p.L, out); },
            1e-6, false);
        // At T = 0 only the difference from above exists.
        check(
            dT, [&](std::vector<double>& out, double h) { IntegratingResponse(u, n, ts, p.K, p.T + h, p.L, out); },
            p.T > 0 ? 1e-6 * p.T : 1e-9, p.T == 0.0);
        check(
            dL, [&](std::vector<double>& out, double h) { IntegratingResponse(u, n, ts, p.K, p.T, p.L + h, out); },
            whole ? 1e-9 : 1e-7, whole);
    }
}

// Records without an integrating fit: "auto" keeps the self-regulating model,
// "integrating" is refused by name and changes neither model nor window.
TEST(IntegratingModel, RecordsWithoutAFitAreRefusedOrLeftSelfRegulating) {
    IdentificationWindow w = Window(50, 1.0, 100, 0, 0.0, {0.1, 0.0, 1.0, true}, {1.0, 2.0, 1.0, false}, 0.0);
    TModel model;
    model.Identify(w, 50, 1.0, 2.5);
    const TModel identified = model;
    const IdentificationWindow before = w;
    const ProcessFits fits = ApplyProcessChoice(model, w, 1.0, ProcessChoice::Auto, ProcessChoice::Auto);
    EXPECT_FALSE(fits.Inner.Fitted);
    EXPECT_EQ(fits.Inner.Reason, "The input does not change in the window");
    EXPECT_EQ(model.Inner, identified.Inner);
    try {
        ApplyProcessChoice(model, w, 1.0, ProcessChoice::SelfRegulating, ProcessChoice::Integrating);
        FAIL() << "no error";
    } catch (const HalvetraError& e) {
        EXPECT_STREQ(e.what(),
                     "The integrating model of the outer process cannot be identified: "
                     "The input does not change in the window");
    }
    EXPECT_EQ(model.Outer, identified.Outer);
    EXPECT_EQ(w.OuterResponse, before.OuterResponse);
    EXPECT_FALSE(FitIntegratingModel(w.WindowU, w.InnerReference, 3, 1.0).Fitted);
}
