#include "model/ModelRefinement.h"

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

constexpr int MaxIterations = 100;
constexpr int MinSamples = 4;  // three figures and one degree of freedom

// Coefficients of the held-input recursion for one set of figures.
struct Recursion {
    bool lag = false;         // T > 0.01 Ts; otherwise a = g = 0
    long long d = 0;          // whole samples of the dead time
    double a = 0, g = 0;      // exp(-Ts/T), exp(-(1 - theta) Ts/T)
    double aT = 0, gT = 0;    // their derivatives with respect to T
    double gL = 0;            // dg/dL
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

// The two-sided Student t quantile of 95 % for nu degrees of freedom.
double TQuantile95(int nu) {
    static constexpr double table[] = {12.7062, 4.3027, 3.1824, 2.7764, 2.5706,
                                       2.4469,  2.3646, 2.3060, 2.2622, 2.2281};
    if (nu <= 10) return table[std::max(nu, 1) - 1];
    const double z = 1.959963984540054, z2 = z * z, v = nu;
    return z + z * (z2 + 1) / (4 * v) + z * ((5 * z2 + 16) * z2 + 3) / (96 * v * v) +
           z * (((3 * z2 + 19) * z2 + 17) * z2 - 15) / (384 * v * v * v);
}

// Solves the symmetric positive definite 3 x 3 system M x = b by Cholesky;
// false when M is not positive definite to working precision.
bool Cholesky3(const double (&M)[3][3], double (&C)[3][3]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) C[i][j] = 0.0;
    for (int j = 0; j < 3; ++j) {
        double s = M[j][j];
        for (int k = 0; k < j; ++k) s -= C[j][k] * C[j][k];
        if (!(s > 1e-13 * M[j][j]) || !std::isfinite(s)) return false;
        C[j][j] = std::sqrt(s);
        for (int i = j + 1; i < 3; ++i) {
            double t = M[i][j];
            for (int k = 0; k < j; ++k) t -= C[i][k] * C[j][k];
            C[i][j] = t / C[j][j];
        }
    }
    return true;
}

void CholeskySolve(const double (&C)[3][3], const double (&b)[3], double (&x)[3]) {
    double z[3];
    for (int i = 0; i < 3; ++i) {
        double s = b[i];
        for (int k = 0; k < i; ++k) s -= C[i][k] * z[k];
        z[i] = s / C[i][i];
    }
    for (int i = 2; i >= 0; --i) {
        double s = z[i];
        for (int k = i + 1; k < 3; ++k) s -= C[k][i] * x[k];
        x[i] = s / C[i][i];
    }
}

class Refinement {
public:
    Refinement(std::span<const double> u, std::span<const double> r, int n, double ts)
        : u_(u), r_(r), n_(n), ts_(ts), y_(n), yK_(n), yT_(n), yL_(n) {}

    // Sum of squared errors of the figures p = (K, T, L).
    double Error(const double (&p)[3]) {
        Respond(u_, n_, ts_, p[0], p[1], p[2], y_.data(), nullptr, nullptr, nullptr);
        double s = 0.0;
        for (int j = 0; j < n_; ++j) {
            const double e = r_[j] - y_[j];
            s += e * e;
        }
        return s;
    }

    // The error with the normal matrix J'J and the gradient side J'e.
    double Linearise(const double (&p)[3], double (&A)[3][3], double (&b)[3]) {
        Respond(u_, n_, ts_, p[0], p[1], p[2], y_.data(), yK_.data(), yT_.data(), yL_.data());
        double s = 0.0;
        double a00 = 0, a01 = 0, a02 = 0, a11 = 0, a12 = 0, a22 = 0, b0 = 0, b1 = 0, b2 = 0;
        for (int j = 0; j < n_; ++j) {
            const double e = r_[j] - y_[j];
            const double k = yK_[j], t = yT_[j], l = yL_[j];
            s += e * e;
            a00 += k * k;
            a01 += k * t;
            a02 += k * l;
            a11 += t * t;
            a12 += t * l;
            a22 += l * l;
            b0 += k * e;
            b1 += t * e;
            b2 += l * e;
        }
        A[0][0] = a00, A[0][1] = A[1][0] = a01, A[0][2] = A[2][0] = a02;
        A[1][1] = a11, A[1][2] = A[2][1] = a12, A[2][2] = a22;
        b[0] = b0, b[1] = b1, b[2] = b2;
        return s;
    }

    // sum over samples of (r - mean r)^2
    double ReferenceSpread() const {
        double mean = 0.0;
        for (int j = 0; j < n_; ++j) mean += r_[j];
        mean /= n_;
        double s = 0.0;
        for (int j = 0; j < n_; ++j) s += (r_[j] - mean) * (r_[j] - mean);
        return s;
    }

    // The gain that fits best with T and L fixed (the response is linear in K).
    double BestGain(double T, double L) {
        const double p[3] = {1.0, T, L};
        Error(p);
        double sy = 0.0, sr = 0.0;
        for (int j = 0; j < n_; ++j) {
            sy += y_[j] * y_[j];
            sr += y_[j] * r_[j];
        }
        return sy > 0.0 ? sr / sy : 0.0;
    }

private:
    std::span<const double> u_, r_;
    int n_;
    double ts_;
    std::vector<double> y_, yK_, yT_, yL_;
};

bool AllFinite(std::span<const double> v, int n) {
    for (int j = 0; j < n; ++j)
        if (!std::isfinite(v[j])) return false;
    return true;
}

double FitPercent(double sse, double spread) {
    if (!(spread > 0.0)) return 0.0;
    const double f = 100.0 * (1.0 - std::sqrt(sse / spread));
    return std::isfinite(f) ? f : 0.0;
}

}  // namespace

RefinedModel RefineModel(std::span<const double> input, std::span<const double> reference, int n,
                         double samplingTime, const ModelParameters& identified) {
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

    Refinement fit(input, reference, n, ts);
    const double spread = fit.ReferenceSpread();
    const double identifiedP[3] = {identified.Gain, identified.TimeConstant, identified.DeadTime};
    const double identifiedError = fit.Error(identifiedP);
    m.FitPercent = FitPercent(identifiedError, spread);
    if (!(spread > 0.0)) return keep("The reference does not change in the window");

    // Bounds and start: the identified figures, with a time constant the
    // response can move and a gain that is not 0.
    const double minT = 0.01 * ts;
    const double maxL = (n - 1) * ts;
    double p[3] = {identified.Gain, identified.TimeConstant > minT ? identified.TimeConstant : ts,
                   std::clamp(identified.DeadTime, 0.0, maxL)};
    if (p[0] == 0.0) p[0] = fit.BestGain(p[1], p[2]);
    if (p[0] == 0.0) return keep("The reference does not follow the input");

    double A[3][3], b[3];
    double error = fit.Linearise(p, A, b);
    if (!std::isfinite(error)) return keep("The refined model's response is not finite");
    double lambda = 1e-3;
    bool converged = error == 0.0;
    bool unmoved = false;
    int iterations = 0;
    while (!converged && iterations < MaxIterations) {
        ++iterations;
        double M[3][3], C[3][3], step[3];
        const double largest = std::max({A[0][0], A[1][1], A[2][2]});
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                M[i][j] = A[i][j] + (i == j ? lambda * std::max(A[i][i], 1e-12 * largest) : 0.0);
        if (!(largest > 0.0)) {
            unmoved = true;  // the response is 0 throughout: nothing moves it
            break;
        }
        if (!Cholesky3(M, C)) {
            lambda *= 10.0;
            if (lambda > 1e16) break;
            continue;
        }
        CholeskySolve(C, b, step);
        // A time constant shrinks by at most a factor of 5 per step: at the
        // bound the response no longer depends on it, and a step that jumped
        // there from afar could not come back.
        const double trial[3] = {p[0] + step[0], std::max({p[1] + step[1], 0.2 * p[1], minT}),
                                 std::clamp(p[2] + step[2], 0.0, maxL)};
        const double trialError = fit.Error(trial);
        if (!(trialError < error)) {
            // Refused: more damping, a shorter step towards steepest descent.
            lambda *= 10.0;
            if (lambda > 1e16) converged = true;  // no lower error in any direction
            continue;
        }
        const bool small = std::abs(trial[0] - p[0]) <= 1e-10 * std::abs(p[0]) &&
                           std::abs(trial[1] - p[1]) <= 1e-10 * (p[1] + ts) &&
                           std::abs(trial[2] - p[2]) <= 1e-10 * (p[2] + ts);
        const bool level = error - trialError <= 1e-12 * error;
        std::copy(std::begin(trial), std::end(trial), p);
        error = fit.Linearise(p, A, b);
        lambda = std::max(lambda / 10.0, 1e-12);
        converged = small || level || error == 0.0;
    }
    m.Iterations = iterations;
    m.Converged = converged;

    const char* const undetermined = "Gain, time constant and dead time cannot all be determined from this window";
    if (unmoved) return keep(undetermined);
    if (!converged) return keep("The refinement did not converge within 100 iterations");
    if (!(error < identifiedError))
        return keep("The refined model does not fit the reference better than the identified one");

    // Covariance sigma^2 (J'J)^-1 with sigma^2 = error / (n - 3).
    double C[3][3];
    if (!Cholesky3(A, C)) return keep(undetermined);
    double variance[3];
    for (int i = 0; i < 3; ++i) {
        double e[3] = {0, 0, 0}, x[3];
        e[i] = 1.0;
        CholeskySolve(C, e, x);
        variance[i] = x[i] * error / (n - 3);
    }
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
    m.FitPercent = FitPercent(error, spread);
    const double all[] = {m.Gain,        m.TimeConstant,        m.DeadTime,           m.GainStd,
                          m.TimeConstantStd, m.DeadTimeStd,     m.GainCI95[0],        m.GainCI95[1],
                          m.TimeConstantCI95[1], m.DeadTimeCI95[1], m.FitPercent};
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
    if (n <= 0) return;
    Respond(input, n, samplingTime, gain, timeConstant, deadTime, response.data(), nullptr, nullptr, nullptr);
}

void FractionalFirstOrderSensitivities(std::span<const double> input, int n, double samplingTime, double gain,
                                       double timeConstant, double deadTime, std::span<double> response,
                                       std::span<double> byGain, std::span<double> byTimeConstant,
                                       std::span<double> byDeadTime) {
    if (n <= 0) return;
    Respond(input, n, samplingTime, gain, timeConstant, deadTime, response.data(), byGain.data(),
            byTimeConstant.data(), byDeadTime.data());
}

}  // namespace halvetra
