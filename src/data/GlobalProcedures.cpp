// Shared numeric procedures of the data processing, identification and tuning.
#include "data/GlobalProcedures.h"

#include <cmath>
#include <cstddef>

#include "data/Errors.h"

namespace halvetra {

namespace {

// The variances keep their intermediate sums in long double; results are doubles.
using Wide = long double;

// The number of samples of the window first .. last, 0 when negative. A
// non-empty window must lie inside the signal (samples 1 .. size); otherwise
// ListIndexError names the offending sample number. Nothing is read before
// this check.
long long WindowLength(std::size_t size, int first, int last) {
    const long long n = static_cast<long long>(last) - static_cast<long long>(first) + 1;
    if (n <= 0) {
        return 0;
    }
    if (first < 1) {
        throw ListIndexError(first);
    }
    if (static_cast<unsigned long long>(last) > size) {
        throw ListIndexError(last);
    }
    return n;
}

// A stream of count elements must fit in an array of the given size;
// a negative count counts as 0. ListIndexError names the last position the
// stream would touch.
std::size_t StreamLength(std::size_t size, int count) {
    if (count <= 0) {
        return 0;
    }
    if (static_cast<std::size_t>(count) > size) {
        throw ListIndexError(static_cast<long long>(count) - 1);
    }
    return static_cast<std::size_t>(count);
}

// The variance numerator n S2 - S1^2 of the values v(0) .. v(n - 1), with the
// sums formed over v(i) - v(0). The formula is shift-invariant; shifting by the
// window's first value removes the cancellation of the one-pass formula:
// a constant signal gives exactly 0, and because the shifted first value is 0,
// n S2 <= (n + 1) (n S2 - S1^2), so the rounding of the wide sums cannot turn
// a positive numerator negative. The final guard only matters where long
// double is no wider than double (squares of values near 1e-162 underflow).
template <typename Value>
double VarianceNumerator(long long n, Value v) {
    if (n <= 0) {
        return 0.0;
    }
    const Wide origin = v(0);
    Wide s1 = 0.0L;
    Wide s2 = 0.0L;
    for (long long i = 0; i < n; ++i) {
        const Wide x = v(i) - origin;
        s1 += x;
        s2 += x * x;
    }
    const double numerator = static_cast<double>(static_cast<Wide>(n) * s2 - s1 * s1);
    return numerator < 0.0 ? 0.0 : numerator;
}

}  // namespace

double SafeDivide(double numerator, double denominator, double fallback) {
    if (denominator == 0.0) {
        return fallback;
    }
    return numerator / denominator;
}

double Clamp(double value, double upper, double lower) {
    if (value > upper) {
        return upper;
    }
    if (value >= lower) {
        return value;
    }
    return lower;
}

void MaxMin(std::span<const double> signal, double& maximum, double& minimum, int first, int last) {
    // A new maximum can never be a new minimum as well, so the extremes are
    // those of the indexed scan.
    int indexOfMaximum = 0;
    int indexOfMinimum = 0;
    MaxMinWithIndex(signal, maximum, minimum, first, last, indexOfMaximum, indexOfMinimum);
}

void MaxMinWithIndex(std::span<const double> signal, double& maximum, double& minimum, int first, int last,
                     int& indexOfMaximum, int& indexOfMinimum) {
    WindowLength(signal.size(), first, last);
    indexOfMaximum = first;
    indexOfMinimum = first;
    if (first >= last) {
        maximum = 0.0;
        minimum = 0.0;
        return;
    }
    double mx = signal[static_cast<std::size_t>(first - 1)];
    double mn = mx;
    for (int i = first + 1; i <= last; ++i) {
        const double x = signal[static_cast<std::size_t>(i - 1)];
        if (x > mx) {
            mx = x;
            indexOfMaximum = i;
        } else if (x < mn) {
            mn = x;
            indexOfMinimum = i;
        }
    }
    maximum = mx;
    minimum = mn;
}

double MeanSquaredError(std::span<const double> a, std::span<const double> b, int first, int last) {
    const long long n = WindowLength(a.size(), first, last);
    WindowLength(b.size(), first, last);
    // A plain double sum in sample order (see the note on the fit sums below).
    double s = 0.0;
    for (long long k = 0; k < n; ++k) {
        const auto i = static_cast<std::size_t>(first - 1 + k);
        const double d = a[i] - b[i];
        s += d * d;
    }
    return SafeDivide(s, static_cast<double>(n), s);
}

double PopulationVariance(std::span<const double> signal, int first, int last) {
    const long long n = WindowLength(signal.size(), first, last);
    const double* x = signal.data() + (n > 0 ? first - 1 : 0);
    const double numerator = VarianceNumerator(n, [x](long long i) { return static_cast<Wide>(x[i]); });
    const double dn = static_cast<double>(n);
    return SafeDivide(numerator, dn * dn, 0.0);
}

double SampleVariance(std::span<const double> signal, int first, int last) {
    const long long n = WindowLength(signal.size(), first, last);
    const double* x = signal.data() + (n > 0 ? first - 1 : 0);
    const double numerator = VarianceNumerator(n, [x](long long i) { return static_cast<Wide>(x[i]); });
    const double dn = static_cast<double>(n);
    return SafeDivide(numerator, dn * (dn - 1.0), 0.0);
}

double DifferenceVariance(std::span<const double> a, std::span<const double> b, int first, int last) {
    const long long n = WindowLength(a.size(), first, last);
    WindowLength(b.size(), first, last);
    const double* pa = a.data() + (n > 0 ? first - 1 : 0);
    const double* pb = b.data() + (n > 0 ? first - 1 : 0);
    const double numerator =
        VarianceNumerator(n, [pa, pb](long long i) { return static_cast<Wide>(pa[i]) - static_cast<Wide>(pb[i]); });
    const double dn = static_cast<double>(n);
    return SafeDivide(numerator, dn * (dn - 1.0), 0.0);
}

void ApplyActuatorConstraints(std::span<const double> input, std::span<double> output, int count, double maximum,
                              double minimum, double openingTime, double samplingTime) {
    const std::size_t n = StreamLength(input.size(), count);
    StreamLength(output.size(), count);
    if (n == 0) {
        // output[0] is written even for an empty stream (callers rely on the
        // first sample); with no element to read or to write there is nothing to do.
        if (!input.empty() && !output.empty()) {
            output[0] = Clamp(input[0], maximum, minimum);
        }
        return;
    }
    const double span = maximum - minimum;
    const double rate = SafeDivide(span * samplingTime, openingTime, span);
    output[0] = Clamp(input[0], maximum, minimum);
    for (std::size_t i = 1; i < n; ++i) {
        const double a = Clamp(output[i - 1], maximum, minimum);
        const double b = Clamp(input[i], maximum, minimum);
        if (a + rate < b) {
            output[i] = a + rate;
        } else if (a - rate > b) {
            output[i] = a - rate;
        } else {
            output[i] = b;
        }
    }
}

void FirstOrderResponse(int first, int last, std::span<const double> input, double gain, double timeConstant,
                        double samplingTime, double initialValue, double deadTime, std::span<double> output,
                        std::span<double> derivative) {
    const long long mWide = static_cast<long long>(last) - static_cast<long long>(first) + 1;
    if (mWide <= 0) {
        return;
    }
    if (static_cast<unsigned long long>(mWide) > output.size()) {
        throw ListIndexError(mWide - 1);
    }
    if (static_cast<unsigned long long>(mWide) > derivative.size()) {
        throw ListIndexError(mWide - 1);
    }
    const auto m = static_cast<std::size_t>(mWide);

    const double g = SafeDivide(1.0, samplingTime, 1.0);

    // Dead time in samples, nearest with ties to even. A negative dead time (or
    // a negative or undefined quotient) counts as 0; anything from m up, however
    // large, means every requested slot holds the initial value.
    std::size_t d = 0;
    if (deadTime >= 0.0) {
        const double samples = std::nearbyint(SafeDivide(deadTime, samplingTime, deadTime));
        if (samples >= static_cast<double>(m)) {
            d = m;
        } else if (samples > 0.0) {
            d = static_cast<std::size_t>(samples);
        }
    }

    // The input samples 0 .. m - 1 - d are read.
    if (d < m && m - d > input.size()) {
        throw ListIndexError(static_cast<long long>(m - d) - 1);
    }

    for (std::size_t k = 0; k < d; ++k) {
        output[k] = initialValue;
        derivative[k] = 0.0;
    }
    if (d >= m) {
        return;
    }

    double alpha = 0.0;
    if (timeConstant > 0.01 * samplingTime) {
        alpha = std::exp(-SafeDivide(samplingTime, timeConstant, 100.0));
    }
    const double c = (1.0 - alpha) * g;

    output[d] = initialValue;
    derivative[d] = c * (gain * input[0] - output[d]);
    for (std::size_t j = d + 1; j < m; ++j) {
        output[j] = output[j - 1] + samplingTime * derivative[j - 1];
        derivative[j] = c * (gain * input[j - d] - output[j]);
    }
}

// The fit sums and the mean squared error are plain double sums in sample
// order: identification runs many dead times side by side and reproduces
// these sums bit for bit that way. (The variances keep their wider sums.)
void LeastSquaresMatrix(std::span<const double> x, std::span<const double> y, int count, double& m11, double& m12,
                        double& m21, double& m22) {
    const std::size_t n = StreamLength(x.size(), count);
    StreamLength(y.size(), count);
    double sxx = 0.0;
    double sxy = 0.0;
    double syy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
        syy += y[i] * y[i];
    }
    m11 = sxx;
    m12 = -sxy;
    m21 = m12;
    m22 = syy;
}

void LeastSquaresRightSide(std::span<const double> a, std::span<const double> b, std::span<const double> c, int count,
                           double& r1, double& r2) {
    const std::size_t n = StreamLength(a.size(), count);
    StreamLength(b.size(), count);
    StreamLength(c.size(), count);
    double sac = 0.0;
    double sbc = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sac += a[i] * c[i];
        sbc += b[i] * c[i];
    }
    r1 = sac;
    r2 = -sbc;
}

void InstrumentalMatrix(std::span<const double> p, std::span<const double> q, std::span<const double> r, int count,
                        double& m11, double& m12, double& m21, double& m22) {
    const std::size_t n = StreamLength(p.size(), count);
    StreamLength(q.size(), count);
    StreamLength(r.size(), count);
    double spp = 0.0;
    double spq = 0.0;
    double spr = 0.0;
    double sqr = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        spp += p[i] * p[i];
        spq += p[i] * q[i];
        spr += p[i] * r[i];
        sqr += q[i] * r[i];
    }
    m11 = spp;
    m12 = -spq;
    m21 = -spr;
    m22 = sqr;
}

void Inverse2x2(double a11, double a12, double a21, double a22, double& i11, double& i12, double& i21, double& i22) {
    const double det = a11 * a22 - a12 * a21;
    const double e = SafeDivide(1.0, det, 1e15);
    i11 = e * a22;
    i12 = -e * a12;
    i21 = -e * a21;
    i22 = e * a11;
}

void QuadraticRoots(double a, double b, double c, double& re1, double& re2, double& im1, double& im2) {
    const double disc = b * b - 4.0 * a * c;
    if (disc >= 0.0) {
        const double root = std::sqrt(disc);
        re1 = SafeDivide((root - b) / 2.0, a, 1e10);
        re2 = SafeDivide((-b - root) / 2.0, a, 1e10);
        im1 = 0.0;
        im2 = 0.0;
    } else {
        re1 = SafeDivide(-b / 2.0, a, 1e10);
        re2 = re1;
        im1 = SafeDivide(std::sqrt(-disc) / 2.0, a, 1e10);
        im2 = -im1;
    }
}

void Histogram20(std::span<const double> signal, int first, int last, std::array<double, HistogramBins>& leftEdges,
                 std::array<double, HistogramBins>& counts, double& minimum, double& maximum) {
    const long long n = WindowLength(signal.size(), first, last);
    int indexOfMaximum = 0;
    int indexOfMinimum = 0;
    MaxMinWithIndex(signal, maximum, minimum, first, last, indexOfMaximum, indexOfMinimum);
    const double range = maximum - minimum;
    for (int k = 1; k <= HistogramBins; ++k) {
        leftEdges[static_cast<std::size_t>(k - 1)] = minimum + (k - 1) * 0.05 * range;
        counts[static_cast<std::size_t>(k - 1)] = 0.0;
    }
    for (long long s = 0; s < n; ++s) {
        const double x = signal[static_cast<std::size_t>(first - 1 + s)];
        // Rounded to a double before the division: the maximum then gives
        // exactly range / range = 1 and lands in bin 20, not 21.
        const volatile double lifted = x - minimum + 1e-30;
        const double bin = std::ceil(HistogramBins * SafeDivide(lifted, range, 0.0));
        // A range of 0 (all samples equal, or one sample) gives bin 0; extreme
        // ranges or values that are not numbers can give anything. Bins outside
        // 1 .. 20 are clamped, so a range of 0 counts every sample in bin 1.
        int k = 1;
        if (bin >= HistogramBins) {
            k = HistogramBins;
        } else if (bin > 1.0) {
            k = static_cast<int>(bin);
        }
        counts[static_cast<std::size_t>(k - 1)] += 1.0;
    }
}

std::string BoolToText(bool flag) { return flag ? "True" : "False"; }

bool TextToBool(std::string_view text) { return text == "True" || text == "true" || text == "1"; }

}  // namespace halvetra
