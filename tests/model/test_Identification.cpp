// Identification: the fast scans against the step-by-step procedure on many
// kinds of data, and the behaviour of identification at its edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/TObdelava.h"
#include "model/LiteralIdentification.h"
#include "model/TModel.h"

using namespace halvetra;

namespace {

// A first-order-plus-dead-time response to x with the dead time given in
// seconds, simulated ten times finer than the sampling so that dead times off
// the sampling grid are real ones. Zero-order hold on the input.
std::vector<double> Fopdt(const std::vector<double>& x, int n, double ts, double gain, double timeConstant,
                          double deadTime) {
    std::vector<double> y(MaxSamples, 0.0);
    const int fine = 10;
    const double h = ts / fine;
    const double a = timeConstant > 0 ? std::exp(-h / timeConstant) : 0.0;
    double state = 0.0;
    for (int k = 0; k < n; ++k) {
        y[k] = state;
        for (int f = 0; f < fine; ++f) {
            const double t = k * ts + f * h - deadTime;
            const int source = t < 0 ? -1 : static_cast<int>(std::floor(t / ts + 1e-9));
            const double u = source < 0 ? 0.0 : x[std::min(source, n - 1)];
            state = a * state + (1 - a) * gain * u;
        }
    }
    return y;
}

struct Case {
    std::string name;
    int n;
    double ts;
    double tf;
    std::function<void(IdentificationWindow&, int, double)> fill;
};

std::vector<double> Step(int n, int at, double amplitude) {
    std::vector<double> x(MaxSamples, 0.0);
    for (int k = at; k < n; ++k) x[k] = amplitude;
    return x;
}

void AddNoise(std::vector<double>& v, int n, double sigma, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, sigma);
    for (int k = 0; k < n; ++k) v[k] += normal(random);
}

// Bit patterns: +0 apart from -0, and every NaN alike (which NaN an operation
// passes on depends on the order the compiler puts its operands in).
std::vector<std::uint64_t> Bits(const std::vector<double>& v) {
    std::vector<std::uint64_t> bits(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double x = std::isnan(v[i]) ? std::numeric_limits<double>::quiet_NaN() : v[i];
        std::memcpy(&bits[i], &x, sizeof x);
    }
    return bits;
}

std::vector<std::uint64_t> Bits(const ModelParameters& m) {
    return Bits(std::vector<double>{m.Gain, m.TimeConstant, m.DeadTime, m.Std, m.RelativeError, m.GainDeviation,
                                    m.TimeConstantDeviation});
}

// The fast scans reproduce every sum of the step-by-step form, so every figure
// and array agrees to the bit, not just to 1e-9, with each set of vector
// kernels the processor has.
void Compare(const Case& c) {
    IdentificationWindow window;
    c.fill(window, c.n, c.ts);
    window.WindowLength = c.n;
    IdentificationWindow literalWindow = window;
    TModel literal;
    LiteralIdentify(literal, literalWindow, c.n, c.ts, c.tf);

    const VectorKernels best = SupportedVectorKernels();
    for (int level = 0; level <= static_cast<int>(best); ++level) {
        PinVectorKernels(static_cast<VectorKernels>(level));
        const std::string what = c.name + " (kernels " + std::to_string(level) + ")";
        IdentificationWindow fastWindow = window;
        TModel fast;
        fast.Identify(fastWindow, c.n, c.ts, c.tf);
        EXPECT_EQ(Bits(fast.Inner), Bits(literal.Inner)) << what << " inner";
        EXPECT_EQ(Bits(fast.Outer), Bits(literal.Outer)) << what << " outer";
        EXPECT_EQ(Bits(fastWindow.InnerResponse), Bits(literalWindow.InnerResponse)) << what;
        EXPECT_EQ(Bits(fastWindow.OuterResponse), Bits(literalWindow.OuterResponse)) << what;
        EXPECT_EQ(Bits(fastWindow.InnerReference), Bits(literalWindow.InnerReference)) << what;
        EXPECT_EQ(Bits(fastWindow.OuterReference), Bits(literalWindow.OuterReference)) << what;
    }
    PinVectorKernels(best);
}

// Inner: a step through K1, T1, L1; outer: the inner output through K2, T2, L2.
Case Cascade(std::string name, int n, double ts, double k1, double t1, double l1, double k2, double t2, double l2,
             double noise = 0.0, int stepAt = 10, double amplitude = 10.0) {
    return {name, n, ts, 0.05 * (n - 1) * ts, [=](IdentificationWindow& w, int, double) {
                w.WindowU = Step(n, stepAt, amplitude);
                w.WindowY = Fopdt(w.WindowU, n, ts, k1, t1, l1);
                w.WindowY2 = Fopdt(w.WindowY, n, ts, k2, t2, l2);
                if (noise > 0) {
                    AddNoise(w.WindowY, n, noise, 7);
                    AddNoise(w.WindowY2, n, noise, 8);
                }
            }};
}

}  // namespace

TEST(Identification, FastScansMatchTheStepByStepProcedure) {
    std::vector<Case> cases = {
        Cascade("clean on grid", 200, 1.0, 1.5, 8.0, 3.0, 0.8, 20.0, 5.0),
        Cascade("dead time off grid", 240, 0.5, 2.0, 6.0, 2.25, 1.2, 9.0, 1.6),
        Cascade("negative gains", 180, 1.0, -0.7, 5.0, 4.0, -2.0, 12.0, 2.0),
        Cascade("noise", 300, 1.0, 1.0, 10.0, 6.0, 0.5, 15.0, 3.0, 0.2),
        Cascade("step at the start", 120, 2.0, 3.0, 7.0, 0.0, 1.0, 3.0, 0.0, 0.0, 0),
        Cascade("late step", 150, 1.0, 1.0, 4.0, 2.0, 1.0, 4.0, 2.0, 0.05, 100),
        Cascade("no lag", 100, 1.0, 1.0, 0.0, 1.0, 2.0, 0.0, 0.0),
        Cascade("one sample", 1, 1.0, 1.0, 5.0, 1.0, 1.0, 5.0, 1.0),
        Cascade("two samples", 2, 1.0, 1.0, 5.0, 1.0, 1.0, 5.0, 1.0, 0.0, 1),
        Cascade("three samples", 3, 1.0, 1.0, 5.0, 1.0, 1.0, 5.0, 1.0, 0.0, 1),
        Cascade("four samples", 4, 1.0, 1.0, 2.0, 0.0, 1.0, 2.0, 0.0, 0.0, 1),
        Cascade("lanes boundary", 35, 1.0, 1.0, 3.0, 5.0, 1.0, 3.0, 9.0, 0.01, 2),
        // An exact fit whose best dead time ends a block of 16 or 32 lanes (6
        // lanes: the outer one): the next block is never simulated, but the
        // candidates need its first fit.
        Cascade("best at a block's last lane", 120, 1.0, 1.0, 0.0, 30.0, 2.0, 0.0, 34.0, 0.0, 0),
        // Steps so late that no dead time can be ruled out before the step.
        Cascade("step late in a long window", 700, 0.5, 1.8, 6.0, 2.0, 0.6, 9.0, 3.0, 0.05, 640),
        Cascade("step two samples before the end", 90, 1.0, 2.0, 3.0, 0.0, 1.0, 2.0, 0.0, 0.01, 88),
        // Values whose squares overflow: errors and fits that are not numbers.
        Cascade("input near overflow", 60, 1.0, 1.0, 4.0, 2.0, 1.0, 4.0, 2.0, 0.0, 5, 1e154),
        Cascade("outputs near overflow", 60, 1.0, 1e153, 4.0, 2.0, 1e2, 4.0, 2.0, 0.0, 5),
        {"second order", 250, 1.0, 12.0,
         [](IdentificationWindow& w, int n, double ts) {
             w.WindowU = Step(n, 20, 5.0);
             const std::vector<double> stage = Fopdt(w.WindowU, n, ts, 1.0, 6.0, 2.0);
             w.WindowY = Fopdt(stage, n, ts, 2.0, 9.0, 0.0);
             w.WindowY2 = Fopdt(w.WindowY, n, ts, 0.5, 4.0, 1.0);
             AddNoise(w.WindowY2, n, 0.02, 3);
         }},
        {"constant input", 80, 1.0, 4.0,
         [](IdentificationWindow& w, int n, double) {
             w.WindowU.assign(MaxSamples, 0.0);
             w.WindowY.assign(MaxSamples, 0.0);
             w.WindowY2.assign(MaxSamples, 0.0);
             AddNoise(w.WindowY2, n, 1.0, 11);
         }},
        {"several steps", 400, 0.25, 5.0,
         [](IdentificationWindow& w, int n, double ts) {
             w.WindowU.assign(MaxSamples, 0.0);
             for (int k = 0; k < n; ++k) w.WindowU[k] = (k / 60) % 2 ? 4.0 : -1.0;
             w.WindowY = Fopdt(w.WindowU, n, ts, 1.3, 2.0, 0.75);
             w.WindowY2 = Fopdt(w.WindowY, n, ts, 0.9, 3.0, 1.1);
             AddNoise(w.WindowY, n, 0.05, 5);
         }},
        {"zero sampling time", 30, 0.0, 0.0,
         [](IdentificationWindow& w, int n, double) {
             w.WindowU = Step(n, 5, 1.0);
             w.WindowY = Fopdt(w.WindowU, n, 1.0, 1.0, 3.0, 2.0);
             w.WindowY2 = Fopdt(w.WindowY, n, 1.0, 1.0, 3.0, 2.0);
         }},
    };
    for (const Case& c : cases) Compare(c);
}

TEST(Identification, FastScansMatchOnAFullWindow) {
    Compare(Cascade("5000 samples", MaxSamples, 0.5, 1.8, 40.0, 7.0, 0.6, 90.0, 12.0, 0.1, 200));
}

TEST(Identification, ExactSampledDataGivesTheDeadTimeOneSampleLate) {
    // WindowY is exactly F(WindowU; K, T, d Ts): the reference lags it by one
    // sample, so the model's dead time comes out as (d + 1) Ts.
    const int n = 300;
    const double ts = 1.0, K = 2.0, T = 10.0;
    const int d = 4;
    IdentificationWindow w;
    w.WindowU = Step(n, 20, 1.0);
    std::vector<double> derivative(MaxSamples);
    FirstOrderResponse(1, n, w.WindowU, K, T, ts, 0.0, d * ts, w.WindowY, derivative);
    FirstOrderResponse(1, n, w.WindowY, 1.0, T, ts, 0.0, d * ts, w.WindowY2, derivative);
    TModel model;
    model.Identify(w, n, ts, 0.05 * (n - 1) * ts);
    EXPECT_EQ(model.Inner.DeadTime, (d + 1) * ts);
    EXPECT_NEAR(model.Inner.Gain, K, 0.05 * K);
    EXPECT_EQ(RateModelQuality(model.Inner.RelativeError), ModelQuality::Good) << model.Inner.RelativeError;
    EXPECT_GE(model.Inner.TimeConstant, 0.0);
    EXPECT_GE(model.Outer.TimeConstant, 0.0);
}

TEST(Identification, ConstantSignalsGiveTheDegenerateModel) {
    const int n = 60;
    IdentificationWindow w;
    TModel model;
    model.Identify(w, n, 1.0, 3.0);
    for (const ModelParameters* m : {&model.Inner, &model.Outer}) {
        EXPECT_EQ(m->Gain, 0.0);
        EXPECT_EQ(m->TimeConstant, 0.0);
        EXPECT_EQ(m->DeadTime, 0.0);
        EXPECT_EQ(m->RelativeError, 1.0);
        EXPECT_EQ(RateModelQuality(m->RelativeError), ModelQuality::Bad);
    }
}

TEST(Identification, AFlatRecordAtALevelNotExactInBinaryHasNoDeviations) {
    // 12.7 repeated: the initial level is exactly 12.7, every deviation exactly
    // 0, and identification gives the degenerate model rather than a fit of
    // rounding noise.
    MeasuredData data;
    data.SampleCount = 100;
    data.SamplingTime = 1.0;
    for (int i = 0; i < 100; ++i) {
        data.ConditionedMV[i] = 50.0;
        data.ConditionedU[i] = 12.7;
        data.ConditionedY[i] = 12.7;
        data.ConditionedY2[i] = 0.1 * 3;
        data.SampleTimes[i] = i;
    }
    IdentificationWindow w;
    TObdelava().PrepareIdentificationWindow(data, w, 1, 100);
    for (int k = 0; k < 100; ++k) {
        ASSERT_EQ(w.WindowU[k], 0.0);
        ASSERT_EQ(w.WindowY[k], 0.0);
        ASSERT_EQ(w.WindowY2[k], 0.0);
    }
    TModel model;
    model.Identify(w, 100, 1.0, 0.05 * 99);
    EXPECT_EQ(model.Inner.Gain, 0.0);
    EXPECT_EQ(model.Inner.RelativeError, 1.0);
    EXPECT_EQ(QualityText(RateModelQuality(model.Inner.RelativeError)), "Bad");
}

TEST(Identification, ThreeSamplesKeepTheFirstScansFitAtDeadTimeZero) {
    IdentificationWindow w;
    w.WindowU = Step(3, 1, 1.0);
    w.WindowY[2] = 0.5;
    w.WindowY2[2] = 0.25;
    IdentificationWindow literalWindow = w;
    TModel model;
    model.Identify(w, 3, 1.0, 0.1);
    EXPECT_EQ(model.Inner.DeadTime, 0.0);
    // Tiny windows read table entries that were never computed: they hold zeros.
    TModel one;
    IdentificationWindow single;
    single.WindowU[0] = 1.0;
    one.Identify(single, 1, 1.0, 0.0);
    EXPECT_EQ(one.Inner, ModelParameters{.RelativeError = 1.0});
}

TEST(Identification, QualityRatingUsesStrictBounds) {
    EXPECT_EQ(QualityText(RateModelQuality(0.0099)), "Very good");
    EXPECT_EQ(QualityText(RateModelQuality(0.01)), "Good");
    EXPECT_EQ(QualityText(RateModelQuality(0.05)), "Fair");
    EXPECT_EQ(QualityText(RateModelQuality(0.12)), "Bad");
    EXPECT_EQ(QualityText(RateModelQuality(std::nan(""))), "Bad");
}

TEST(PrepareIdentificationWindow, TheInitialLevelEndsTwoSamplesBeforeTheStep) {
    MeasuredData data;
    data.SampleCount = 20;
    for (int i = 0; i < 20; ++i) {
        data.ConditionedMV[i] = i >= 8 ? 10.0 : 0.0;  // step at sample 9
        data.ConditionedU[i] = i < 6 ? (i % 2 ? 1.0 : 3.0) : 7.0;
        data.ConditionedY[i] = 5.0 + i;
        data.ConditionedY2[i] = -1.0;
        data.SampleTimes[i] = 0.5 * i;
    }
    IdentificationWindow w;
    TObdelava().PrepareIdentificationWindow(data, w, 3, 20);
    // Window from sample 3: the step at sample 9 leaves the band, so the
    // segment is samples 3 .. 7 (m = 9 - 3 - 1 = 5): U = 3, 1, 3, 1, 7.
    EXPECT_EQ(w.WindowLength, 18);
    EXPECT_DOUBLE_EQ(w.WindowU[0], 3.0 - 3.0);
    EXPECT_DOUBLE_EQ(w.WindowU[17], 7.0 - 3.0);
    EXPECT_DOUBLE_EQ(w.WindowY[0], 7.0 - 9.0);  // Y over samples 3 .. 7 averages 9
    EXPECT_EQ(w.WindowTime[0], 0.0);
    EXPECT_EQ(w.WindowTime[17], 8.5);

    // Without a step the segment is n - 3 samples.
    for (int i = 0; i < 20; ++i) data.ConditionedMV[i] = 1.0;
    TObdelava().PrepareIdentificationWindow(data, w, 1, 10);
    EXPECT_DOUBLE_EQ(w.WindowY[0], 5.0 - 8.0);  // mean of 5 .. 11

    EXPECT_THROW(TObdelava().PrepareIdentificationWindow(data, w, 0, 10), ListIndexError);
    EXPECT_THROW(TObdelava().PrepareIdentificationWindow(data, w, 10, 5001), ListIndexError);
}
