#include "model/ThreeFigureFit.h"

#include <algorithm>
#include <cmath>

namespace halvetra {

namespace {

constexpr int MaxIterations = 100;

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

}  // namespace

ThreeFigureFit::ThreeFigureFit(ThreeFigureResponse respond, std::span<const double> input,
                               std::span<const double> reference, int n, double samplingTime)
    : respond_(respond), u_(input), r_(reference), n_(n), ts_(samplingTime), y_(n), yK_(n), yT_(n), yL_(n) {}

double ThreeFigureFit::Error(const double (&p)[3]) {
    respond_(u_, n_, ts_, p[0], p[1], p[2], y_.data(), nullptr, nullptr, nullptr);
    double s = 0.0;
    for (int j = 0; j < n_; ++j) {
        const double e = r_[j] - y_[j];
        s += e * e;
    }
    return s;
}

double ThreeFigureFit::Linearise(const double (&p)[3], double (&A)[3][3], double (&b)[3]) {
    respond_(u_, n_, ts_, p[0], p[1], p[2], y_.data(), yK_.data(), yT_.data(), yL_.data());
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

double ThreeFigureFit::ReferenceSpread() const {
    double mean = 0.0;
    for (int j = 0; j < n_; ++j) mean += r_[j];
    mean /= n_;
    double s = 0.0;
    for (int j = 0; j < n_; ++j) s += (r_[j] - mean) * (r_[j] - mean);
    return s;
}

double ThreeFigureFit::BestGain(double T, double L) {
    const double p[3] = {1.0, T, L};
    Error(p);
    double sy = 0.0, sr = 0.0;
    for (int j = 0; j < n_; ++j) {
        sy += y_[j] * y_[j];
        sr += y_[j] * r_[j];
    }
    return sy > 0.0 ? sr / sy : 0.0;
}

Descent DescendLevenbergMarquardt(ThreeFigureFit& fit, double (&p)[3], double samplingTime, double maxDeadTime,
                                  TimeConstantBound bound) {
    const double ts = samplingTime;
    const double minT = bound.Minimum;
    const double maxL = maxDeadTime;
    Descent result;
    double(&A)[3][3] = result.A;
    double b[3];
    double error = fit.Linearise(p, A, b);
    result.Error = error;
    if (!std::isfinite(error)) return result;
    double lambda = 1e-3;
    bool converged = error == 0.0;
    int iterations = 0;
    while (!converged && iterations < MaxIterations) {
        ++iterations;
        double M[3][3], C[3][3], step[3];
        const double largest = std::max({A[0][0], A[1][1], A[2][2]});
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                M[i][j] = A[i][j] + (i == j ? lambda * std::max(A[i][i], 1e-12 * largest) : 0.0);
        if (!(largest > 0.0)) {
            result.Unmoved = true;
            break;
        }
        if (!Cholesky3(M, C)) {
            lambda *= 10.0;
            if (lambda > 1e16) break;
            continue;
        }
        CholeskySolve(C, b, step);
        // With ShrinkByFive a time constant shrinks by at most a factor of 5
        // per step: where the response no longer depends on it at the bound,
        // a step that jumped there from afar could not come back.
        const double T =
            bound.ShrinkByFive ? std::max({p[1] + step[1], 0.2 * p[1], minT}) : std::max(p[1] + step[1], minT);
        const double trial[3] = {p[0] + step[0], T, std::clamp(p[2] + step[2], 0.0, maxL)};
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
    result.Iterations = iterations;
    result.Converged = converged;
    result.Error = error;
    return result;
}

bool FigureVariances(const double (&A)[3][3], double error, int n, double (&variance)[3]) {
    double C[3][3];
    if (!Cholesky3(A, C)) return false;
    for (int i = 0; i < 3; ++i) {
        double e[3] = {0, 0, 0}, x[3];
        e[i] = 1.0;
        CholeskySolve(C, e, x);
        variance[i] = x[i] * error / (n - 3);
    }
    return true;
}

double TQuantile95(int nu) {
    static constexpr double table[] = {12.7062, 4.3027, 3.1824, 2.7764, 2.5706, 2.4469, 2.3646, 2.3060, 2.2622, 2.2281};
    if (nu <= 10) return table[std::max(nu, 1) - 1];
    const double z = 1.959963984540054, z2 = z * z, v = nu;
    return z + z * (z2 + 1) / (4 * v) + z * ((5 * z2 + 16) * z2 + 3) / (96 * v * v) +
           z * (((3 * z2 + 19) * z2 + 17) * z2 - 15) / (384 * v * v * v);
}

double FitPercentOf(double sse, double spread) {
    if (!(spread > 0.0)) return 0.0;
    const double f = 100.0 * (1.0 - std::sqrt(sse / spread));
    return std::isfinite(f) ? f : 0.0;
}

}  // namespace halvetra
