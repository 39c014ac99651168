#pragma once
// Shared numeric procedures of the data processing, identification, tuning and
// settings code: guarded division, clamping, extremes, variances and error
// measures, least-squares sums, a 2x2 inverse, quadratic roots, the discrete
// first-order-plus-dead-time response (also the first-order filter), the
// actuator model, a 20-bin histogram and the text form of booleans.
//
// Two ways of addressing a signal:
//  - window procedures take sample numbers first and last counted from 1
//    (sample 1 is signal[0]), both included; n = last - first + 1, 0 when negative;
//  - stream procedures take arrays whose element 0 is the first one to use.
// Nothing here allocates or keeps state. A non-empty window that reaches outside
// the arrays passed in (first < 1 or last > size), or a count larger than an
// array, throws ListIndexError instead of reading or writing there; an empty
// window (last < first) or a count <= 0 is never an error.
// Variances sum in long double; the fit sums and the mean squared error are
// plain double sums in sample order. Results are doubles.
#include <array>
#include <span>
#include <string>
#include <string_view>

namespace halvetra {

inline constexpr int HistogramBins = 20;

// numerator / denominator; fallback when the denominator is exactly 0.
double SafeDivide(double numerator, double denominator, double fallback);

// upper if value > upper; else value if value >= lower; else lower.
double Clamp(double value, double upper, double lower);

// Window: both 0 when first >= last.
void MaxMin(std::span<const double> signal, double& maximum, double& minimum, int first, int last);

// Window: indices start at first; maximum and minimum 0 when first >= last;
// ties keep the earliest sample.
void MaxMinWithIndex(std::span<const double> signal, double& maximum, double& minimum, int first, int last,
                     int& indexOfMaximum, int& indexOfMinimum);

// Window: mean of (a - b)^2.
double MeanSquaredError(std::span<const double> a, std::span<const double> b, int first, int last);

// Variances: (n S2 - S1^2) / (n^2) resp. / (n (n - 1)) through SafeDivide with
// fallback 0, where S1, S2 are the sums of the window's values minus its first
// value (the formula is shift-invariant; the shift keeps the one-pass sums
// exact for a constant signal and accurate far from zero). Never negative.

// Window: variance with divisor n.
double PopulationVariance(std::span<const double> signal, int first, int last);

// Window: variance with divisor n - 1 (0 for fewer than two samples).
double SampleVariance(std::span<const double> signal, int first, int last);

// Window: SampleVariance of a - b.
double DifferenceVariance(std::span<const double> a, std::span<const double> b, int first, int last);

// Stream: actuator with working range [minimum, maximum] and full-stroke time
// openingTime; fills output[0 .. count - 1] (output[0] even when count is 0).
// When count <= 0 and input or output is empty, nothing is read or written.
void ApplyActuatorConstraints(std::span<const double> input, std::span<double> output, int count, double maximum,
                              double minimum, double openingTime, double samplingTime);

// Stream: response of K e^(-L s) / (T s + 1) to input, sampled with samplingTime,
// from initialValue; m = last - first + 1 output samples. Writes output and
// derivative only at 0 .. m - 1, whatever the dead time; a negative dead time
// counts as 0 samples, a dead time of m samples or more (however large) fills
// all m slots with initialValue. The dead time in samples is
// d = nearbyint(SafeDivide(deadTime, samplingTime, deadTime)) (ties to even);
// input[0 .. m - 1 - d] is read. input must not overlap output or derivative.
void FirstOrderResponse(int first, int last, std::span<const double> input, double gain, double timeConstant,
                        double samplingTime, double initialValue, double deadTime, std::span<double> output,
                        std::span<double> derivative);

// Stream sums for the least-squares fits.
void LeastSquaresMatrix(std::span<const double> x, std::span<const double> y, int count, double& m11, double& m12,
                        double& m21, double& m22);
void LeastSquaresRightSide(std::span<const double> a, std::span<const double> b, std::span<const double> c, int count,
                           double& r1, double& r2);
void InstrumentalMatrix(std::span<const double> p, std::span<const double> q, std::span<const double> r, int count,
                        double& m11, double& m12, double& m21, double& m22);

// Inverse of [[a11, a12], [a21, a22]]; a singular matrix gives 1e15 times the adjugate.
void Inverse2x2(double a11, double a12, double a21, double a22, double& i11, double& i12, double& i21, double& i22);

// Roots of a x^2 + b x + c = 0; every nonzero part is 1e10 when a = 0.
void QuadraticRoots(double a, double b, double c, double& re1, double& re2, double& im1, double& im2);

// Window: 20 equal bins between the window's extremes; leftEdges[k - 1] and
// counts[k - 1] belong to bin k. A window whose range is 0 puts every sample in
// bin 1 (all edges at the minimum). The counts add up to the window's length.
// minimum and maximum come from MaxMinWithIndex, so a one-sample window gives
// 0 and 0 (edges at 0, its sample counted in bin 1); an empty window gives 0,
// 0 and all counts 0.
void Histogram20(std::span<const double> signal, int first, int last, std::array<double, HistogramBins>& leftEdges,
                 std::array<double, HistogramBins>& counts, double& minimum, double& maximum);

// "True" or "False".
std::string BoolToText(bool flag);

// True for exactly "True", "true" or "1".
bool TextToBool(std::string_view text);

}  // namespace halvetra
