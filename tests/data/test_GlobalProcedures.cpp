// Tests of the shared numeric procedures.
#include "data/GlobalProcedures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "data/Errors.h"

namespace halvetra {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------
// Plain references, written for obviousness rather than speed.

// Two-pass variance in long double over the 1-based window first..last, with
// the usual correction for the rounding of the mean (corrected two-pass).
long double ReferenceVariance(const std::vector<double>& x, int first, int last, bool sample) {
    const int n = last - first + 1;
    long double mean = 0.0L;
    for (int i = first; i <= last; ++i) {
        mean += x[i - 1];
    }
    mean /= n;
    long double ss = 0.0L;
    long double s = 0.0L;
    for (int i = first; i <= last; ++i) {
        const long double d = x[i - 1] - mean;
        ss += d * d;
        s += d;
    }
    return (ss - s * s / n) / (sample ? n - 1 : n);
}

// The filter recurrence written out step by step, in doubles.
void ReferenceFirstOrder(int m, const std::vector<double>& u, double K, double T, double Ts, double y0, int d,
                         std::vector<double>& y, std::vector<double>& dy) {
    y.assign(static_cast<std::size_t>(std::max(m, d + 1)), 0.0);
    dy.assign(y.size(), 0.0);
    const double g = (Ts == 0.0) ? 1.0 : 1.0 / Ts;
    for (int k = 0; k < d; ++k) {
        y[k] = y0;
        dy[k] = 0.0;
    }
    const double alpha = (T > 0.01 * Ts) ? std::exp(-(T == 0.0 ? 100.0 : Ts / T)) : 0.0;
    const double c = (1.0 - alpha) * g;
    y[d] = y0;
    dy[d] = c * (K * u[0] - y[d]);
    for (int j = d + 1; j <= m - 1; ++j) {
        y[j] = y[j - 1] + Ts * dy[j - 1];
        dy[j] = c * (K * u[j - d] - y[j]);
    }
}

std::vector<double> RandomSignal(std::mt19937& rng, int n, double offset, double scale) {
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> x(static_cast<std::size_t>(n));
    for (double& v : x) {
        v = offset + scale * normal(rng);
    }
    return x;
}

// ---------------------------------------------------------------------------
// SafeDivide, Clamp

TEST(SafeDivide, FallbackOnlyForExactZero) {
    EXPECT_EQ(SafeDivide(1, 0, 7), 7);
    EXPECT_EQ(SafeDivide(1, -0.0, 7), 7);
    EXPECT_DOUBLE_EQ(SafeDivide(1, 1e-300, 7), 1e300);
    EXPECT_EQ(SafeDivide(6, 3, 7), 2);
    EXPECT_EQ(SafeDivide(0, 0, 0), 0);
}

TEST(Clamp, UpperValueLower) {
    EXPECT_EQ(Clamp(5, 3, 1), 3);
    EXPECT_EQ(Clamp(0, 3, 1), 1);
    EXPECT_EQ(Clamp(2, 3, 1), 2);
    EXPECT_EQ(Clamp(3, 3, 1), 3);
    EXPECT_EQ(Clamp(1, 3, 1), 1);
    // Not a number: neither above upper nor at least lower.
    EXPECT_EQ(Clamp(NaN, 3, 1), 1);
}

// ---------------------------------------------------------------------------
// MaxMin, MaxMinWithIndex and the window checks

TEST(MaxMin, SingleSampleWindowGivesZeros) {
    const std::vector<double> x{5, 6, 7, 8, 9};
    double mx = -1, mn = -1;
    MaxMin(x, mx, mn, 4, 4);
    EXPECT_EQ(mx, 0);
    EXPECT_EQ(mn, 0);
    MaxMin(x, mx = -1, mn = -1, 5, 2);  // empty window
    EXPECT_EQ(mx, 0);
    EXPECT_EQ(mn, 0);
}

TEST(MaxMin, ExtremesOfTheWindowOnly) {
    const std::vector<double> x{100, 3, -2, 7, 1, -50};
    double mx = 0, mn = 0;
    MaxMin(x, mx, mn, 2, 5);
    EXPECT_EQ(mx, 7);
    EXPECT_EQ(mn, -2);
    MaxMin(x, mx, mn, 1, 6);
    EXPECT_EQ(mx, 100);
    EXPECT_EQ(mn, -50);
}

TEST(MaxMin, WindowOutsideTheSignalThrows) {
    const std::vector<double> x{1, 2, 3, 4, 5};
    double mx = 0, mn = 0;
    EXPECT_THROW(MaxMin(x, mx, mn, 0, 3), ListIndexError);
    EXPECT_THROW(MaxMin(x, mx, mn, 2, 6), ListIndexError);
    EXPECT_THROW(MaxMin(x, mx, mn, 6, 6), ListIndexError);  // n = 1, still outside
    EXPECT_NO_THROW(MaxMin(x, mx, mn, 7, 6));               // n = 0: nothing to read
    EXPECT_NO_THROW(MaxMin(x, mx, mn, -3, -10));
    EXPECT_NO_THROW(MaxMin(std::span<const double>{}, mx, mn, 1, 0));
    try {
        MaxMin(x, mx, mn, 2, 6);
        FAIL();
    } catch (const ListIndexError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (6)");
    }
}

TEST(MaxMinWithIndex, TiesKeepTheEarliestSample) {
    const std::vector<double> x{9, 1, 3, 3, 0, 0, 2};
    double mx = 0, mn = 0;
    int imx = 0, imn = 0;
    MaxMinWithIndex(x, mx, mn, 2, 7, imx, imn);
    EXPECT_EQ(mx, 3);
    EXPECT_EQ(imx, 3);
    EXPECT_EQ(mn, 0);
    EXPECT_EQ(imn, 5);
}

TEST(MaxMinWithIndex, FirstSampleHoldsBothWhenNothingBeatsIt) {
    const std::vector<double> x{4, 4, 4};
    double mx = 0, mn = 0;
    int imx = 0, imn = 0;
    MaxMinWithIndex(x, mx, mn, 1, 3, imx, imn);
    EXPECT_EQ(mx, 4);
    EXPECT_EQ(mn, 4);
    EXPECT_EQ(imx, 1);
    EXPECT_EQ(imn, 1);
}

TEST(MaxMinWithIndex, ShortWindowGivesZerosAndIndexFirst) {
    const std::vector<double> x{4, 5, 6};
    double mx = -1, mn = -1;
    int imx = 0, imn = 0;
    MaxMinWithIndex(x, mx, mn, 2, 2, imx, imn);
    EXPECT_EQ(mx, 0);
    EXPECT_EQ(mn, 0);
    EXPECT_EQ(imx, 2);
    EXPECT_EQ(imn, 2);
    MaxMinWithIndex(x, mx, mn, 3, 1, imx, imn);
    EXPECT_EQ(imx, 3);
    EXPECT_EQ(imn, 3);
    EXPECT_THROW(MaxMinWithIndex(x, mx, mn, 1, 4, imx, imn), ListIndexError);
}

// ---------------------------------------------------------------------------
// MeanSquaredError

TEST(MeanSquaredError, MeanOverTheWindow) {
    const std::vector<double> a{9, 1, 2, 3, 9};
    const std::vector<double> b{0, 1, 1, 1, 0};
    EXPECT_DOUBLE_EQ(MeanSquaredError(a, b, 2, 4), 5.0 / 3.0);
    EXPECT_EQ(MeanSquaredError(a, b, 3, 3), 1.0);
    EXPECT_EQ(MeanSquaredError(a, b, 4, 3), 0.0);
}

TEST(MeanSquaredError, BothSignalsAreChecked) {
    const std::vector<double> a{1, 2, 3, 4};
    const std::vector<double> b{1, 2, 3};
    EXPECT_THROW(MeanSquaredError(a, b, 1, 4), ListIndexError);
    EXPECT_THROW(MeanSquaredError(b, a, 1, 4), ListIndexError);
    EXPECT_NO_THROW(MeanSquaredError(a, b, 1, 3));
}

TEST(MeanSquaredError, MatchesReferenceOnRandomData) {
    std::mt19937 rng(7);
    const auto a = RandomSignal(rng, 3000, 5.0, 2.0);
    const auto b = RandomSignal(rng, 3000, 5.0, 2.0);
    long double s = 0.0L;
    for (int i = 100; i <= 2900; ++i) {
        const long double d = static_cast<long double>(a[i - 1]) - b[i - 1];
        s += d * d;
    }
    const double expected = static_cast<double>(s / 2801);
    EXPECT_NEAR(MeanSquaredError(a, b, 100, 2900), expected, 1e-14 * expected);
}

// ---------------------------------------------------------------------------
// Variances

TEST(Variance, SmallWindows) {
    const std::vector<double> x{1, 2, 3};
    EXPECT_EQ(SampleVariance(x, 1, 3), 1.0);
    EXPECT_EQ(PopulationVariance(x, 1, 3), 2.0 / 3.0);
    EXPECT_EQ(SampleVariance(x, 2, 2), 0.0);
    EXPECT_EQ(PopulationVariance(x, 2, 2), 0.0);
    EXPECT_EQ(SampleVariance(x, 3, 2), 0.0);
    EXPECT_EQ(PopulationVariance(x, 3, 2), 0.0);
}

TEST(Variance, ConstantSignalIsExactlyZero) {
    const std::vector<double> x(5000, 0.1);
    EXPECT_EQ(SampleVariance(x, 1, 5000), 0.0);
    EXPECT_EQ(PopulationVariance(x, 1, 5000), 0.0);
    EXPECT_FALSE(std::signbit(SampleVariance(x, 1, 5000)));
    EXPECT_EQ(std::sqrt(SampleVariance(x, 1, 5000)), 0.0);

    const std::vector<double> y(5000, 0.3);
    EXPECT_EQ(DifferenceVariance(y, x, 1, 5000), 0.0);
}

TEST(Variance, TheShiftMattersForAConstantSignal) {
    // Taken literally in doubles, the one-pass formula does not give 0 for
    // 0.1 repeated 5000 times; the implementation must.
    double s1 = 0.0, s2 = 0.0;
    for (int i = 0; i < 5000; ++i) {
        s1 += 0.1;
        s2 += 0.1 * 0.1;
    }
    EXPECT_NE(5000.0 * s2 - s1 * s1, 0.0);
    const std::vector<double> x(5000, 0.1);
    EXPECT_EQ(SampleVariance(x, 1, 5000), 0.0);
}

TEST(Variance, FarFromZero) {
    const std::vector<double> x{1e9 + 1, 1e9 + 2, 1e9 + 3};
    EXPECT_NEAR(SampleVariance(x, 1, 3), 1.0, 1e-9);
    EXPECT_NEAR(PopulationVariance(x, 1, 3), 2.0 / 3.0, 1e-9);

    std::mt19937 rng(11);
    const auto y = RandomSignal(rng, 5000, 1e9, 1e-3);
    const double expected = static_cast<double>(ReferenceVariance(y, 1, 5000, true));
    EXPECT_NEAR(SampleVariance(y, 1, 5000), expected, 1e-9 * expected);
}

TEST(Variance, MatchesTwoPassReferenceOnRandomData) {
    std::mt19937 rng(2024);
    const double offsets[] = {0.0, -3.5, 1e3, 1e6};
    const double scales[] = {1e-6, 1.0, 1e4};
    for (double offset : offsets) {
        for (double scale : scales) {
            const auto x = RandomSignal(rng, 5000, offset, scale);
            const std::pair<int, int> windows[] = {{1, 5000}, {1, 2}, {17, 40}, {1000, 4321}};
            for (auto [first, last] : windows) {
                SCOPED_TRACE(testing::Message()
                             << "offset " << offset << " scale " << scale << " window " << first << ".." << last);
                const double sv = static_cast<double>(ReferenceVariance(x, first, last, true));
                const double pv = static_cast<double>(ReferenceVariance(x, first, last, false));
                EXPECT_NEAR(SampleVariance(x, first, last), sv, 1e-12 * sv);
                EXPECT_NEAR(PopulationVariance(x, first, last), pv, 1e-12 * pv);
            }
        }
    }
}

TEST(Variance, DifferenceVarianceIsSampleVarianceOfTheDifference) {
    std::mt19937 rng(99);
    const auto a = RandomSignal(rng, 4000, 50.0, 3.0);
    const auto b = RandomSignal(rng, 4000, 48.0, 1.0);
    std::vector<double> d(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        d[i] = a[i] - b[i];
    }
    const double expected = static_cast<double>(ReferenceVariance(d, 10, 3990, true));
    EXPECT_NEAR(DifferenceVariance(a, b, 10, 3990), expected, 1e-12 * expected);
    EXPECT_NEAR(DifferenceVariance(a, b, 10, 3990), SampleVariance(d, 10, 3990), 1e-12 * expected);

    const std::vector<double> p{1, 2, 3, 10};
    const std::vector<double> q{0, 0, 0, 0};
    EXPECT_EQ(DifferenceVariance(p, q, 1, 3), 1.0);
    EXPECT_EQ(DifferenceVariance(p, q, 2, 2), 0.0);
    EXPECT_THROW(DifferenceVariance(p, std::vector<double>{0, 0}, 1, 3), ListIndexError);
}

TEST(Variance, NeverNegative) {
    // Squares of values near 1e-162 underflow in double arithmetic: shifted
    // one-pass sums kept in doubles give a negative numerator for a few of
    // these signals (4 in 6000 at 1e-162 .. 1e-161 with this generator). The
    // wide sums (and, where long double is no wider than double, the final
    // guard) keep the result at 0 or above.
    std::mt19937 rng(5);
    for (double scale : {1e-162, 3e-162, 1e-161, 1e-160, 1e-155, 1e-300, 1.0, 1e150}) {
        for (int trial = 0; trial < 2000; ++trial) {
            const auto x = RandomSignal(rng, 50, 0.0, scale);
            EXPECT_GE(SampleVariance(x, 1, 50), 0.0) << scale;
            EXPECT_GE(PopulationVariance(x, 1, 50), 0.0) << scale;
        }
    }
    // Nearly constant: one sample differs by one unit in the last place.
    std::vector<double> y(5000, 0.7);
    y[2500] = std::nextafter(0.7, 1.0);
    const double v = SampleVariance(y, 1, 5000);
    const double delta = std::nextafter(0.7, 1.0) - 0.7;
    const double expected = delta * delta / 5000;  // sum of squares delta^2 (1 - 1/n), over n - 1
    EXPECT_GT(v, 0.0);
    EXPECT_NEAR(static_cast<double>(ReferenceVariance(y, 1, 5000, true)), expected, 1e-9 * expected);
    EXPECT_NEAR(v, expected, 1e-9 * expected);
}

TEST(Variance, WindowOutsideTheSignalThrows) {
    const std::vector<double> x{1, 2, 3};
    EXPECT_THROW(SampleVariance(x, 0, 2), ListIndexError);
    EXPECT_THROW(PopulationVariance(x, 2, 4), ListIndexError);
    EXPECT_THROW(SampleVariance(x, 4, 4), ListIndexError);
    EXPECT_EQ(SampleVariance(x, 4, 3), 0.0);
    EXPECT_EQ(SampleVariance(std::span<const double>{}, 1, 0), 0.0);
}

// ---------------------------------------------------------------------------
// ApplyActuatorConstraints

TEST(ApplyActuatorConstraints, RateLimitedStep) {
    std::vector<double> u(20, 100.0);
    u[0] = 0.0;
    std::vector<double> out(20, NaN);
    ApplyActuatorConstraints(u, out, 20, 100, 0, 10, 1);
    for (int i = 0; i <= 10; ++i) {
        EXPECT_DOUBLE_EQ(out[i], 10.0 * i) << i;
    }
    EXPECT_EQ(out[10], 100.0);
    for (int i = 11; i < 20; ++i) {
        EXPECT_EQ(out[i], 100.0) << i;
    }
}

TEST(ApplyActuatorConstraints, RateLimitedFall) {
    std::vector<double> u{100, 0, 0, 0, 0, 0};
    std::vector<double> out(6);
    ApplyActuatorConstraints(u, out, 6, 100, 0, 2.5, 0.5);  // 20 per sample
    const double expected[] = {100, 80, 60, 40, 20, 0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(out[i], expected[i]) << i;
    }
}

TEST(ApplyActuatorConstraints, OpeningTimeZeroFollowsTheClampedInput) {
    const std::vector<double> u{-5, 50, 150, 20, 100, 0, 101};
    std::vector<double> out(u.size());
    ApplyActuatorConstraints(u, out, static_cast<int>(u.size()), 100, 0, 0, 1);
    const std::vector<double> expected{0, 50, 100, 20, 100, 0, 100};
    EXPECT_EQ(out, expected);
}

TEST(ApplyActuatorConstraints, InputsOutsideTheRangeAreClamped) {
    const std::vector<double> u{200, 200, -300, -300};
    std::vector<double> out(4);
    ApplyActuatorConstraints(u, out, 4, 10, -10, 0, 1);
    EXPECT_EQ(out, (std::vector<double>{10, 10, -10, -10}));
}

TEST(ApplyActuatorConstraints, WritesOnlyCountSamples) {
    const std::vector<double> u{1, 2, 3, 4, 5};
    std::vector<double> out(5, -7.0);
    ApplyActuatorConstraints(u, out, 3, 10, 0, 0, 1);
    EXPECT_EQ(out, (std::vector<double>{1, 2, 3, -7, -7}));
}

TEST(ApplyActuatorConstraints, CountZeroStillWritesTheFirstSample) {
    const std::vector<double> u{150, 2};
    std::vector<double> out{-1, -1};
    ApplyActuatorConstraints(u, out, 0, 100, 0, 10, 1);
    EXPECT_EQ(out, (std::vector<double>{100, -1}));
    out = {-1, -1};
    ApplyActuatorConstraints(u, out, -4, 100, 0, 10, 1);
    EXPECT_EQ(out, (std::vector<double>{100, -1}));
}

TEST(ApplyActuatorConstraints, EmptyArraysWithCountZeroDoNothing) {
    std::vector<double> out{-1};
    EXPECT_NO_THROW(ApplyActuatorConstraints(std::span<const double>{}, out, 0, 100, 0, 10, 1));
    EXPECT_EQ(out[0], -1);
    const std::vector<double> u{5};
    EXPECT_NO_THROW(ApplyActuatorConstraints(u, std::span<double>{}, 0, 100, 0, 10, 1));
    EXPECT_NO_THROW(ApplyActuatorConstraints(std::span<const double>{}, std::span<double>{}, 0, 1, 0, 1, 1));
}

TEST(ApplyActuatorConstraints, CountBeyondAnArrayThrows) {
    const std::vector<double> u{1, 2, 3};
    std::vector<double> out(5, -1.0);
    EXPECT_THROW(ApplyActuatorConstraints(u, out, 4, 10, 0, 0, 1), ListIndexError);
    std::vector<double> shortOut(2, -1.0);
    EXPECT_THROW(ApplyActuatorConstraints(u, shortOut, 3, 10, 0, 0, 1), ListIndexError);
    EXPECT_EQ(shortOut, (std::vector<double>{-1, -1}));  // checked before writing
}

// ---------------------------------------------------------------------------
// FirstOrderResponse

TEST(FirstOrderResponse, NoLagNoDeadTimeIsAOneSampleDelay) {
    const std::vector<double> u{3, -1, 4, 1, 5, 9};
    std::vector<double> y(6), dy(6);
    FirstOrderResponse(1, 6, u, 1.0, 0.0, 1.0, 7.0, 0.0, y, dy);
    EXPECT_EQ(y, (std::vector<double>{7, 3, -1, 4, 1, 5}));
    EXPECT_EQ(dy[0], 3 - 7);

    // Any sampling time: the same up to rounding.
    FirstOrderResponse(1, 6, u, 1.0, 0.0, 0.1, 7.0, 0.0, y, dy);
    EXPECT_EQ(y[0], 7.0);
    for (int j = 1; j < 6; ++j) {
        EXPECT_NEAR(y[j], u[j - 1], 1e-14) << j;
    }
}

TEST(FirstOrderResponse, DeadTimeOfTwoSamples) {
    const std::vector<double> u{3, -1, 4, 1, 5, 9};
    std::vector<double> y(6), dy(6);
    FirstOrderResponse(1, 6, u, 1.0, 0.0, 1.0, 7.0, 2.0, y, dy);
    EXPECT_EQ(y, (std::vector<double>{7, 7, 7, 3, -1, 4}));
    EXPECT_EQ(dy[0], 0.0);
    EXPECT_EQ(dy[1], 0.0);
    EXPECT_EQ(dy[2], 3.0 - 7.0);

    FirstOrderResponse(1, 6, u, 1.0, 0.0, 0.5, 7.0, 1.0, y, dy);
    EXPECT_EQ(y[0], 7.0);
    EXPECT_EQ(y[1], 7.0);
    EXPECT_EQ(y[2], 7.0);
    EXPECT_EQ(y[3], 3.0);
}

TEST(FirstOrderResponse, DeadTimeRoundsHalvesToEven) {
    const std::vector<double> u(10, 1.0);
    std::vector<double> y(10), dy(10);
    // 1.25 / 0.5 = 2.5 samples -> 2
    FirstOrderResponse(1, 10, u, 1.0, 0.0, 0.5, 0.0, 1.25, y, dy);
    EXPECT_EQ(y[2], 0.0);
    EXPECT_EQ(y[3], 1.0);
    // 1.75 / 0.5 = 3.5 samples -> 4
    FirstOrderResponse(1, 10, u, 1.0, 0.0, 0.5, 0.0, 1.75, y, dy);
    EXPECT_EQ(y[4], 0.0);
    EXPECT_EQ(y[5], 1.0);
    // 0.5 samples -> 0
    FirstOrderResponse(1, 10, u, 1.0, 0.0, 0.5, 0.0, 0.25, y, dy);
    EXPECT_EQ(y[0], 0.0);
    EXPECT_EQ(y[1], 1.0);
}

TEST(FirstOrderResponse, NegativeDeadTimeCountsAsZero) {
    const std::vector<double> u{3, -1, 4, 1};
    std::vector<double> y(4), dy(4), y0(4), dy0(4);
    FirstOrderResponse(1, 4, u, 2.0, 1.5, 1.0, 0.5, 0.0, y0, dy0);
    FirstOrderResponse(1, 4, u, 2.0, 1.5, 1.0, 0.5, -3.0, y, dy);
    EXPECT_EQ(y, y0);
    EXPECT_EQ(dy, dy0);
    FirstOrderResponse(1, 4, u, 2.0, 1.5, 1.0, 0.5, -1e300, y, dy);
    EXPECT_EQ(y, y0);
}

TEST(FirstOrderResponse, NeverWritesBeyondTheRequestedSamples) {
    const std::vector<double> u(100, 1.0);
    for (double deadTime : {3.0, 9.0, 10.0, 11.0, 50.0, 1e9, 1e300, std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(deadTime);
        std::vector<double> y(20, -99.0), dy(20, -99.0);
        FirstOrderResponse(1, 10, u, 1.0, 2.0, 1.0, 0.25, deadTime, y, dy);
        for (int k = 10; k < 20; ++k) {
            EXPECT_EQ(y[k], -99.0) << k;
            EXPECT_EQ(dy[k], -99.0) << k;
        }
        const int d = std::min(static_cast<int>(deadTime > 10 ? 10 : deadTime), 10);
        for (int k = 0; k < std::min(d + 1, 10); ++k) {
            EXPECT_EQ(y[k], 0.25) << k;
        }
        for (int k = 0; k < d; ++k) {
            EXPECT_EQ(dy[k], 0.0) << k;
        }
    }
}

TEST(FirstOrderResponse, DeadTimeOfMSamplesOrMoreFillsOnlyTheMSlots) {
    const std::vector<double> u(3, 1.0);
    std::vector<double> y(3, -1.0), dy(3, -1.0);
    // exactly m samples of dead time: every slot y0, derivative 0
    FirstOrderResponse(1, 3, u, 1.0, 0.0, 1.0, 5.0, 3.0, y, dy);
    EXPECT_EQ(y, (std::vector<double>{5, 5, 5}));
    EXPECT_EQ(dy, (std::vector<double>{0, 0, 0}));
    // m - 1 samples: the last slot is step 6 (y0 and its derivative)
    FirstOrderResponse(1, 3, u, 1.0, 0.0, 1.0, 5.0, 2.0, y, dy);
    EXPECT_EQ(y, (std::vector<double>{5, 5, 5}));
    EXPECT_EQ(dy, (std::vector<double>{0, 0, -4}));
    // exact-size arrays with a long dead time: no error, nothing outside
    std::vector<double> ys(3), dys(3);
    EXPECT_NO_THROW(FirstOrderResponse(1, 3, std::span<const double>{}, 1.0, 0.0, 1.0, 5.0, 1e12, ys, dys));
    EXPECT_EQ(ys, (std::vector<double>{5, 5, 5}));
}

TEST(FirstOrderResponse, MatchesTheRecurrenceDigitForDigit) {
    std::mt19937 rng(3);
    const auto u = RandomSignal(rng, 5000, 10.0, 4.0);
    struct Case {
        double K, T, Ts, y0, L;
    };
    const Case cases[] = {{1.0, 0.0, 1.0, 0.0, 0.0},   {2.5, 7.3, 0.1, 1.0, 0.0},   {-0.7, 3.0, 0.25, 2.0, 1.0},
                          {1.3, 0.002, 0.5, 3.0, 4.4}, {1.0, 40.0, 2.0, 9.5, 17.0}, {0.9, 0.005, 0.5, 0.0, 0.0},
                          {1.1, 1e-3, 0.0, 1.0, 3.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "K " << c.K << " T " << c.T << " Ts " << c.Ts << " L " << c.L);
        const int m = 4000;
        const double q = (c.Ts == 0.0) ? c.L : c.L / c.Ts;
        const int d = static_cast<int>(std::nearbyint(q));
        std::vector<double> ry, rdy;
        ReferenceFirstOrder(m, u, c.K, c.T, c.Ts, c.y0, d, ry, rdy);
        std::vector<double> y(5000, NaN), dy(5000, NaN);
        FirstOrderResponse(1, m, u, c.K, c.T, c.Ts, c.y0, c.L, y, dy);
        for (int j = 0; j < m; ++j) {
            ASSERT_EQ(y[j], ry[j]) << j;
            ASSERT_EQ(dy[j], rdy[j]) << j;
        }
        EXPECT_TRUE(std::isnan(y[m]));
        EXPECT_TRUE(std::isnan(dy[m]));
    }
}

TEST(FirstOrderResponse, AgreesWithTheAlphaForm) {
    std::mt19937 rng(8);
    const auto u = RandomSignal(rng, 500, 0.0, 1.0);
    const double K = 1.7, T = 4.0, Ts = 0.5, y0 = 0.3;
    const int d = 3;
    std::vector<double> y(500), dy(500);
    FirstOrderResponse(1, 500, u, K, T, Ts, y0, d * Ts, y, dy);
    const double alpha = std::exp(-Ts / T);
    std::vector<double> z(500, y0);
    for (int j = d + 1; j < 500; ++j) {
        z[j] = alpha * z[j - 1] + (1 - alpha) * K * u[j - 1 - d];
    }
    for (int j = 0; j < 500; ++j) {
        EXPECT_NEAR(y[j], z[j], 1e-12) << j;
    }
}

TEST(FirstOrderResponse, StepSettlesAtTheGain) {
    const std::vector<double> u(2000, 1.0);
    std::vector<double> y(2000), dy(2000);
    FirstOrderResponse(1, 2000, u, 2.0, 5.0, 0.1, 0.0, 0.0, y, dy);
    EXPECT_NEAR(y[1999], 2.0, 1e-12);
    EXPECT_NEAR(dy[1999], 0.0, 1e-12);
    // y[j] = K (1 - alpha^j): one time constant is 50 samples
    EXPECT_NEAR(y[50], 2.0 * (1.0 - std::exp(-1.0)), 1e-12);
}

TEST(FirstOrderResponse, TinyTimeConstantMeansNoLag) {
    const std::vector<double> u{2, 4, 8};
    std::vector<double> y(3), dy(3);
    FirstOrderResponse(1, 3, u, 1.0, 0.01, 1.0, 0.0, 0.0, y, dy);  // T = Ts / 100 exactly
    EXPECT_EQ(y, (std::vector<double>{0, 2, 4}));
    FirstOrderResponse(1, 3, u, 1.0, 0.5, 1.0, 0.0, 0.0, y, dy);  // a real lag
    EXPECT_DOUBLE_EQ(y[1], 2.0 * (1.0 - std::exp(-2.0)));
}

TEST(FirstOrderResponse, WindowGivesTheSampleCount) {
    const std::vector<double> u{1, 2, 3, 4, 5};
    std::vector<double> y(5, -1.0), dy(5, -1.0);
    FirstOrderResponse(3, 5, u, 1.0, 0.0, 1.0, 0.0, 0.0, y, dy);  // m = 3
    EXPECT_EQ(y, (std::vector<double>{0, 1, 2, -1, -1}));
    FirstOrderResponse(5, 4, u, 1.0, 0.0, 1.0, 0.0, 0.0, y, dy);  // m = 0: nothing written
    EXPECT_EQ(y, (std::vector<double>{0, 1, 2, -1, -1}));
}

TEST(FirstOrderResponse, ArraysTooShortThrowBeforeWriting) {
    const std::vector<double> u{1, 2, 3, 4, 5};
    std::vector<double> y(4, -1.0), dy(5, -1.0);
    EXPECT_THROW(FirstOrderResponse(1, 5, u, 1.0, 0.0, 1.0, 0.0, 0.0, y, dy), ListIndexError);
    EXPECT_THROW(FirstOrderResponse(1, 5, u, 1.0, 0.0, 1.0, 0.0, 0.0, dy, y), ListIndexError);
    EXPECT_EQ(dy, (std::vector<double>(5, -1.0)));
    std::vector<double> y5(5, -1.0);
    // The input must hold m - d samples.
    EXPECT_THROW(FirstOrderResponse(1, 5, std::span<const double>(u).first(3), 1.0, 0.0, 1.0, 0.0, 1.0, y5, dy),
                 ListIndexError);
    EXPECT_NO_THROW(FirstOrderResponse(1, 5, std::span<const double>(u).first(3), 1.0, 0.0, 1.0, 0.0, 2.0, y5, dy));
    EXPECT_EQ(y5, (std::vector<double>{0, 0, 0, 1, 2}));
}

// ---------------------------------------------------------------------------
// Least-squares sums, Inverse2x2, QuadraticRoots

TEST(LeastSquares, MatrixSums) {
    const std::vector<double> x{1, 2, 3, 100};
    const std::vector<double> y{4, 5, 6, 100};
    double m11, m12, m21, m22;
    LeastSquaresMatrix(x, y, 3, m11, m12, m21, m22);
    EXPECT_EQ(m11, 14);
    EXPECT_EQ(m12, -32);
    EXPECT_EQ(m21, -32);
    EXPECT_EQ(m22, 77);
    LeastSquaresMatrix(x, y, 0, m11, m12, m21, m22);
    EXPECT_EQ(m11, 0);
    EXPECT_EQ(m12, 0);
    EXPECT_EQ(m21, 0);
    EXPECT_EQ(m22, 0);
    EXPECT_THROW(LeastSquaresMatrix(x, std::vector<double>{1, 2}, 3, m11, m12, m21, m22), ListIndexError);
}

TEST(LeastSquares, RightSideSums) {
    const std::vector<double> a{1, 2, 3};
    const std::vector<double> b{4, 5, 6};
    const std::vector<double> c{7, 8, 9};
    double r1, r2;
    LeastSquaresRightSide(a, b, c, 3, r1, r2);
    EXPECT_EQ(r1, 7 + 16 + 27);
    EXPECT_EQ(r2, -(28 + 40 + 54));
    LeastSquaresRightSide(a, b, c, 1, r1, r2);
    EXPECT_EQ(r1, 7);
    EXPECT_EQ(r2, -28);
    EXPECT_THROW(LeastSquaresRightSide(a, b, c, 4, r1, r2), ListIndexError);
}

TEST(LeastSquares, InstrumentalSums) {
    const std::vector<double> p{1, 2, 3};
    const std::vector<double> q{4, 5, 6};
    const std::vector<double> r{7, 8, 9};
    double m11, m12, m21, m22;
    InstrumentalMatrix(p, q, r, 3, m11, m12, m21, m22);
    EXPECT_EQ(m11, 14);
    EXPECT_EQ(m12, -32);
    EXPECT_EQ(m21, -(7 + 16 + 27));
    EXPECT_EQ(m22, 28 + 40 + 54);
    EXPECT_THROW(InstrumentalMatrix(p, q, std::vector<double>{1}, 2, m11, m12, m21, m22), ListIndexError);
}

TEST(Inverse2x2, DiagonalAndSingular) {
    double i11, i12, i21, i22;
    Inverse2x2(0, 0, 0, 0, i11, i12, i21, i22);
    EXPECT_EQ(i11, 0);
    EXPECT_EQ(i12, 0);
    EXPECT_EQ(i21, 0);
    EXPECT_EQ(i22, 0);
    Inverse2x2(2, 0, 0, 4, i11, i12, i21, i22);
    EXPECT_EQ(i11, 0.5);
    EXPECT_EQ(i12, 0);
    EXPECT_EQ(i21, 0);
    EXPECT_EQ(i22, 0.25);
}

TEST(Inverse2x2, GeneralAndSingular) {
    double i11, i12, i21, i22;
    Inverse2x2(4, 7, 2, 6, i11, i12, i21, i22);  // det 10
    EXPECT_DOUBLE_EQ(i11, 0.6);
    EXPECT_DOUBLE_EQ(i12, -0.7);
    EXPECT_DOUBLE_EQ(i21, -0.2);
    EXPECT_DOUBLE_EQ(i22, 0.4);
    Inverse2x2(1, 2, 2, 4, i11, i12, i21, i22);  // singular: 1e15 times the adjugate
    EXPECT_EQ(i11, 4e15);
    EXPECT_EQ(i12, -2e15);
    EXPECT_EQ(i21, -2e15);
    EXPECT_EQ(i22, 1e15);
}

TEST(QuadraticRoots, RealAndComplexRoots) {
    double re1, re2, im1, im2;
    QuadraticRoots(1, 0, 1, re1, re2, im1, im2);
    EXPECT_EQ(re1, 0);
    EXPECT_EQ(re2, 0);
    EXPECT_EQ(im1, 1);
    EXPECT_EQ(im2, -1);
    QuadraticRoots(1, -3, 2, re1, re2, im1, im2);
    EXPECT_EQ(re1, 2);
    EXPECT_EQ(re2, 1);
    EXPECT_EQ(im1, 0);
    EXPECT_EQ(im2, 0);
}

TEST(QuadraticRoots, ComplexPairAndDegenerate) {
    double re1, re2, im1, im2;
    QuadraticRoots(2, 4, 10, re1, re2, im1, im2);  // -1 +- 2i
    EXPECT_EQ(re1, -1);
    EXPECT_EQ(re2, -1);
    EXPECT_EQ(im1, 2);
    EXPECT_EQ(im2, -2);
    QuadraticRoots(1, 2, 1, re1, re2, im1, im2);  // double root
    EXPECT_EQ(re1, -1);
    EXPECT_EQ(re2, -1);
    EXPECT_EQ(im1, 0);
    QuadraticRoots(0, 2, 1, re1, re2, im1, im2);  // a = 0
    EXPECT_EQ(re1, 1e10);
    EXPECT_EQ(re2, 1e10);
    EXPECT_EQ(im1, 0);
    EXPECT_EQ(im2, 0);
}

// ---------------------------------------------------------------------------
// Histogram20

double Sum(const std::array<double, HistogramBins>& c) { return std::accumulate(c.begin(), c.end(), 0.0); }

TEST(Histogram20, ExtremesInTheOuterBinsAndEdges) {
    std::vector<double> x{99.0, 2.0, 12.0};  // samples 1 and 2 are outside the window below
    for (int j = 0; j < 20; ++j) {
        x.push_back(2.0 + 0.5 * (j + 0.5));  // bin middles of [2, 12]
    }
    x.push_back(-50.0);
    std::array<double, HistogramBins> edges{}, counts{};
    double mn = 0, mx = 0;
    Histogram20(x, 2, 23, edges, counts, mn, mx);
    EXPECT_EQ(mn, 2.0);
    EXPECT_EQ(mx, 12.0);
    EXPECT_EQ(edges[0], 2.0);
    EXPECT_DOUBLE_EQ(edges[19], 2.0 + 0.95 * 10.0);
    for (int k = 1; k <= 20; ++k) {
        EXPECT_DOUBLE_EQ(edges[k - 1], 2.0 + (k - 1) * 0.5) << k;
    }
    EXPECT_EQ(counts[0], 2.0);   // minimum + bin 1's middle sample
    EXPECT_EQ(counts[19], 2.0);  // maximum + bin 20's middle sample
    for (int k = 2; k <= 19; ++k) {
        EXPECT_EQ(counts[k - 1], 1.0) << k;
    }
    EXPECT_EQ(Sum(counts), 22.0);
}

TEST(Histogram20, CountsAddUpOnRandomData) {
    std::mt19937 rng(1);
    const auto x = RandomSignal(rng, 5000, 20.0, 3.0);
    std::array<double, HistogramBins> edges{}, counts{};
    double mn = 0, mx = 0;
    Histogram20(x, 1, 5000, edges, counts, mn, mx);
    EXPECT_EQ(Sum(counts), 5000.0);
    EXPECT_EQ(mn, *std::min_element(x.begin(), x.end()));
    EXPECT_EQ(mx, *std::max_element(x.begin(), x.end()));
    EXPECT_GE(counts[0], 1.0);
    EXPECT_GE(counts[19], 1.0);
    // Each sample lies at or right of its bin's left edge, up to rounding.
    int below = 0;
    for (double v : x) {
        below += v < edges[0];
    }
    EXPECT_EQ(below, 0);
}

TEST(Histogram20, RangeZeroPutsEverythingInBinOne) {
    const std::vector<double> x(37, 4.25);
    std::array<double, HistogramBins> edges{}, counts{};
    double mn = 0, mx = 0;
    Histogram20(x, 1, 37, edges, counts, mn, mx);
    EXPECT_EQ(mn, 4.25);
    EXPECT_EQ(mx, 4.25);
    EXPECT_EQ(counts[0], 37.0);
    EXPECT_EQ(Sum(counts), 37.0);
    for (double e : edges) {
        EXPECT_EQ(e, 4.25);
    }
}

TEST(Histogram20, OneSampleWindow) {
    // MaxMinWithIndex gives 0 and 0 for one sample; the sample is counted in bin 1.
    const std::vector<double> x{1.0, 8.5, 3.0};
    std::array<double, HistogramBins> edges{}, counts{};
    double mn = -1, mx = -1;
    Histogram20(x, 2, 2, edges, counts, mn, mx);
    EXPECT_EQ(mn, 0.0);
    EXPECT_EQ(mx, 0.0);
    EXPECT_EQ(counts[0], 1.0);
    EXPECT_EQ(Sum(counts), 1.0);
    for (double e : edges) {
        EXPECT_EQ(e, 0.0);
    }
}

TEST(Histogram20, EmptyWindow) {
    const std::vector<double> x{1.0, 2.0};
    std::array<double, HistogramBins> edges, counts;
    edges.fill(NaN);
    counts.fill(NaN);
    double mn = -1, mx = -1;
    Histogram20(x, 2, 1, edges, counts, mn, mx);
    EXPECT_EQ(mn, 0.0);
    EXPECT_EQ(mx, 0.0);
    EXPECT_EQ(Sum(counts), 0.0);
    for (double e : edges) {
        EXPECT_EQ(e, 0.0);
    }
}

TEST(Histogram20, BinsOutsideOneToTwentyAreClamped) {
    std::array<double, HistogramBins> edges{}, counts{};
    double mn = 0, mx = 0;
    // A range comparable to 1e-30: the maximum would land in bin 21.
    const std::vector<double> tiny{0.0, 1e-30, 5e-31};
    Histogram20(tiny, 1, 3, edges, counts, mn, mx);
    // The 1e-30 lift is a whole range here: 20, 40 and 30 all become bin 20.
    EXPECT_EQ(counts[19], 3.0);
    EXPECT_EQ(Sum(counts), 3.0);

    // An infinite range and a sample that is not a number.
    const std::vector<double> wild{-1e308, 1e308, NaN, 0.0};
    Histogram20(wild, 1, 4, edges, counts, mn, mx);
    EXPECT_EQ(Sum(counts), 4.0);
    const std::vector<double> nanFirst{NaN, 1.0, 2.0};
    Histogram20(nanFirst, 1, 3, edges, counts, mn, mx);
    EXPECT_EQ(Sum(counts), 3.0);
}

TEST(Histogram20, WindowOutsideTheSignalThrows) {
    const std::vector<double> x{1.0, 2.0};
    std::array<double, HistogramBins> edges{}, counts{};
    double mn = 0, mx = 0;
    EXPECT_THROW(Histogram20(x, 1, 3, edges, counts, mn, mx), ListIndexError);
    EXPECT_THROW(Histogram20(x, 0, 1, edges, counts, mn, mx), ListIndexError);
}

// ---------------------------------------------------------------------------
// BoolToText, TextToBool

TEST(BoolText, RoundTrip) {
    EXPECT_EQ(BoolToText(true), "True");
    EXPECT_EQ(BoolToText(false), "False");
    EXPECT_TRUE(TextToBool(BoolToText(true)));
    EXPECT_FALSE(TextToBool(BoolToText(false)));
}

TEST(BoolText, OnlyThreeTextsAreTrue) {
    EXPECT_TRUE(TextToBool("True"));
    EXPECT_TRUE(TextToBool("true"));
    EXPECT_TRUE(TextToBool("1"));
    EXPECT_FALSE(TextToBool("TRUE"));
    EXPECT_FALSE(TextToBool(" 1"));
    EXPECT_FALSE(TextToBool("1 "));
    EXPECT_FALSE(TextToBool("true\r"));
    EXPECT_FALSE(TextToBool("tRUE"));
    EXPECT_FALSE(TextToBool("yes"));
    EXPECT_FALSE(TextToBool("0"));
    EXPECT_FALSE(TextToBool("-1"));
    EXPECT_FALSE(TextToBool(""));
    EXPECT_FALSE(TextToBool("False"));
    EXPECT_FALSE(TextToBool(std::string_view("1\0", 2)));
}

}  // namespace
}  // namespace halvetra
