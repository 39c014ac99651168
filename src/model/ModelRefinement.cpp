#include "model/ModelRefinement.h"
#include "model/ThreeFigureFit.h"

#include <algorithm>
#include <cmath>
#include <vector>

// Levenberg-Marquardt on the sum of squared errors between the reference and
// the fractional-dead-time response, over the gain K, the time constant T and
// the dead time L. The response is linear in K; its derivatives with respect
// to T and L follow from differentiating the recursion, so each evaluation is
// four first-order recursions over the window. Steps are projected onto the
// bounds (T at least 0.01 Ts, where the response treats the lag as none;
// 0 <= L <= (n - 1) Ts, beyond which the response is 0 throughout) and a step
// that does not lower the error is refused and retried with more damping.

namespace halvetra {

namespace {

constexpr int MinSamples = 4;  // three figures and one degree of freedom

// Coefficients of the held-input recursion for one set of figures.
struct Recursion {
    bool lag = false;       // T > 0.01 Ts; otherwise a = g = 0
    long long d = 0;        // whole samples of the dead time
    double a = 0, g = 0;    // exp(-Ts/T), exp(-(1 - theta) Ts/T)
    double aT = 0, gT = 0;  // their derivatives with respect to T
    double gL = 0;          // dg/dL
};

Recursion Coefficients(int n, double ts, double T, double L) {
    Recursion c;
    if (!(ts > 0.0) || !std::isfinite(ts)) return c;
    if (!(L > 0.0)) L = 0.0;
    const double samples = std::floor(L / ts);
    c.d = samples < n ? static_cast<long long>(samples) : n;
    double theta = L / ts - samples;
    if (!(theta >= 0.0)) theta = 0.0;
    if (theta > 1.0) theta = 1.0;
    c.lag = T > 0.01 * ts;
    if (c.lag) {
        c.a = std::exp(-ts / T);
        c.g = std::exp(-(1.0 - theta) * ts / T);
        c.aT = c.a * ts / (T * T);
        c.gT = c.g * (1.0 - theta) * ts / (T * T);
        c.gL = c.g / T;
    }
    return c;
}

// y, and where the pointers are set its derivatives, over samples 1 .. n.
void Respond(std::span<const double> u, int n, double ts, double K, double T, double L, double* y, double* yK,
             double* yT, double* yL) {
    if (n <= 0) return;
    const Recursion c = Coefficients(n, ts, T, L);
    const double b1 = 1.0 - c.g, b2 = c.g - c.a;
    y[0] = 0.0;
    if (yK) yK[0] = yT[0] = yL[0] = 0.0;
    double py = 0.0, pK = 0.0, pT = 0.0, pL = 0.0;
    for (long long j = 1; j < n; ++j) {
        const long long i1 = j - 1 - c.d, i2 = j - 2 - c.d;
        const double u1 = i1 >= 0 ? u[static_cast<std::size_t>(i1)] : 0.0;
        const double u2 = i2 >= 0 ? u[static_cast<std::size_t>(i2)] : 0.0;
        const double unit = b1 * u1 + b2 * u2;
        const double yj = c.a * py + K * unit;
        if (yK) {
            pT = c.a * pT + c.aT * py + K * (-c.gT * u1 + (c.gT - c.aT) * u2);
            pL = c.a * pL + K * c.gL * (u2 - u1);
            pK = c.a * pK + unit;
            yK[j] = pK;
            yT[j] = pT;
            yL[j] = pL;
        }
        y[j] = py = yj;
    }
}

bool AllFinite(std::span<const double> v, int n) {
    for (int j = 0; j < n; ++j)
        if (!std::isfinite(v[j])) return false;
    return true;
}

}  // namespace

RefinedModel RefineModel(std::span<const double> input, std::span<const double> reference, int n, double samplingTime,
                         const ModelParameters& identified) {
    RefinedModel m;
    m.Gain = identified.Gain;
    m.TimeConstant = identified.TimeConstant;
    m.DeadTime = identified.DeadTime;
    auto keep = [&](const char* reason) {
        m.Refined = false;
        m.Gain = identified.Gain;
        m.TimeConstant = identified.TimeConstant;
        m.DeadTime = identified.DeadTime;
        if (!std::isfinite(m.Gain) || !std::isfinite(m.TimeConstant) || !std::isfinite(m.DeadTime))
            m.Gain = m.TimeConstant = m.DeadTime = 0.0;
        m.GainStd = m.TimeConstantStd = m.DeadTimeStd = 0.0;
        m.GainCI95 = {m.Gain, m.Gain};
        m.TimeConstantCI95 = {m.TimeConstant, m.TimeConstant};
        m.DeadTimeCI95 = {m.DeadTime, m.DeadTime};
        if (!std::isfinite(m.FitPercent)) m.FitPercent = 0.0;
        m.Reason = reason;
        return m;
    };

    const double ts = samplingTime;
    if (n < MinSamples) return keep("The window has too few samples to refine the model");
    if (static_cast<std::size_t>(n) > input.size() || static_cast<std::size_t>(n) > reference.size())
        return keep("The window is longer than its signals");
    if (!(ts > 0.0) || !std::isfinite(ts)) return keep("The sampling time is not a positive number");
    if (!std::isfinite(identified.Gain) || !std::isfinite(identified.TimeConstant) ||
        !std::isfinite(identified.DeadTime))
        return keep("The identified model is not finite");
    if (!AllFinite(input, n) || !AllFinite(reference, n)) return keep("The window holds a value that is not finite");

    bool inputMoves = false;
    for (int j = 0; j + 1 < n && !inputMoves; ++j) inputMoves = input[j] != input[0] || input[j] != 0.0;
    if (!inputMoves) return keep("The input does not change in the window");

    ThreeFigureFit fit(Respond, input, reference, n, ts);
    const double spread = fit.ReferenceSpread();
    const double identifiedP[3] = {identified.Gain, identified.TimeConstant, identified.DeadTime};
    const double identifiedError = fit.Error(identifiedP);
    m.FitPercent = FitPercentOf(identifiedError, spread);
    if (!(spread > 0.0)) return keep("The reference does not change in the window");

    // Bounds and start: the identified figures, with a time constant the
    // response can move and a gain that is not 0.
    const double minT = 0.01 * ts;
    const double maxL = (n - 1) * ts;
    double p[3] = {identified.Gain, identified.TimeConstant > minT ? identified.TimeConstant : ts,
                   std::clamp(identified.DeadTime, 0.0, maxL)};
    if (p[0] == 0.0) p[0] = fit.BestGain(p[1], p[2]);
    if (p[0] == 0.0) return keep("The reference does not follow the input");

    const Descent descent = DescendLevenbergMarquardt(fit, p, ts, maxL, {minT, true});
    if (!std::isfinite(descent.Error)) return keep("The refined model's response is not finite");
    const double error = descent.Error;
    m.Iterations = descent.Iterations;
    m.Converged = descent.Converged;

    const char* const undetermined = "Gain, time constant and dead time cannot all be determined from this window";
    if (descent.Unmoved) return keep(undetermined);
    if (!descent.Converged) return keep("The refinement did not converge within 100 iterations");
    if (!(error < identifiedError))
        return keep("The refined model does not fit the reference better than the identified one");

    // Covariance sigma^2 (J'J)^-1 with sigma^2 = error / (n - 3).
    double variance[3];
    if (!FigureVariances(descent.A, error, n, variance)) return keep(undetermined);
    const double t = TQuantile95(n - 3);
    m.Gain = p[0];
    m.TimeConstant = p[1];
    m.DeadTime = p[2];
    m.GainStd = std::sqrt(std::max(variance[0], 0.0));
    m.TimeConstantStd = std::sqrt(std::max(variance[1], 0.0));
    m.DeadTimeStd = std::sqrt(std::max(variance[2], 0.0));
    m.GainCI95 = {m.Gain - t * m.GainStd, m.Gain + t * m.GainStd};
    m.TimeConstantCI95 = {std::max(m.TimeConstant - t * m.TimeConstantStd, 0.0),
                          m.TimeConstant + t * m.TimeConstantStd};
    m.DeadTimeCI95 = {std::max(m.DeadTime - t * m.DeadTimeStd, 0.0), m.DeadTime + t * m.DeadTimeStd};
    m.FitPercent = FitPercentOf(error, spread);
    const double all[] = {m.Gain,
                          m.TimeConstant,
                          m.DeadTime,
                          m.GainStd,
                          m.TimeConstantStd,
                          m.DeadTimeStd,
                          m.GainCI95[0],
                          m.GainCI95[1],
                          m.TimeConstantCI95[1],
                          m.DeadTimeCI95[1],
                          m.FitPercent};
    for (double v : all)
        if (!std::isfinite(v)) return keep("The refined model is not finite");
    m.Refined = true;
    m.Reason.clear();
    return m;
}

RefinedModels RefineModels(const IdentificationWindow& window, double samplingTime, const ModelParameters& inner,
                           const ModelParameters& outer) {
    const int n = window.WindowLength;
    return {RefineModel(window.WindowU, window.InnerReference, n, samplingTime, inner),
            RefineModel(window.WindowY, window.OuterReference, n, samplingTime, outer)};
}

void FractionalFirstOrderResponse(std::span<const double> input, int n, double samplingTime, double gain,
                                  double timeConstant, double deadTime, std::span<double> response) {
    RespondInto(Respond, input, n, samplingTime, gain, timeConstant, deadTime, response);
}

void FractionalFirstOrderSensitivities(std::span<const double> input, int n, double samplingTime, double gain,
                                       double timeConstant, double deadTime, std::span<double> response,
                                       std::span<double> byGain, std::span<double> byTimeConstant,
                                       std::span<double> byDeadTime) {
    RespondWithSensitivities(Respond, input, n, samplingTime, gain, timeConstant, deadTime, response, byGain,
                             byTimeConstant, byDeadTime);
}

}  // namespace halvetra
