#pragma once
// Nonlinear least squares of a process model with three figures, gain K, a
// time constant T and a continuous dead time L, against a reference over a
// window: Levenberg-Marquardt with an analytic Jacobian, and the covariance
// of the figures at the optimum. The refined self-regulating model and the
// integrating model share it; each gives its response with the derivatives.
#include <array>
#include <span>
#include <vector>

namespace halvetra {

// The response over samples 1 .. n of the input from 0 for figures (K, T, L)
// into y and, where byGain is not null, its derivatives with respect to K, T
// and L into byGain, byTime and byDead. Each array holds n values.
using ThreeFigureResponse = void (*)(std::span<const double> input, int n, double samplingTime, double gain,
                                     double timeConstant, double deadTime, double* y, double* byGain, double* byTime,
                                     double* byDead);

// The response alone, and with its derivatives, into spans of n values;
// nothing for n <= 0.
inline void RespondInto(ThreeFigureResponse respond, std::span<const double> input, int n, double samplingTime,
                        double gain, double timeConstant, double deadTime, std::span<double> response) {
    if (n > 0)
        respond(input, n, samplingTime, gain, timeConstant, deadTime, response.data(), nullptr, nullptr, nullptr);
}
inline void RespondWithSensitivities(ThreeFigureResponse respond, std::span<const double> input, int n,
                                     double samplingTime, double gain, double timeConstant, double deadTime,
                                     std::span<double> response, std::span<double> byGain,
                                     std::span<double> byTimeConstant, std::span<double> byDeadTime) {
    if (n > 0)
        respond(input, n, samplingTime, gain, timeConstant, deadTime, response.data(), byGain.data(),
                byTimeConstant.data(), byDeadTime.data());
}

class ThreeFigureFit {
public:
    ThreeFigureFit(ThreeFigureResponse respond, std::span<const double> input, std::span<const double> reference, int n,
                   double samplingTime);

    // Sum of squared errors of the figures p = (K, T, L).
    double Error(const double (&p)[3]);
    // The error with the normal matrix J'J and the gradient side J'e.
    double Linearise(const double (&p)[3], double (&A)[3][3], double (&b)[3]);
    // Sum over samples of (r - mean r)^2.
    double ReferenceSpread() const;
    // The gain that fits best with T and L fixed (the response is linear in K).
    double BestGain(double T, double L);
    // The last response computed.
    const std::vector<double>& Response() const { return y_; }

private:
    ThreeFigureResponse respond_;
    std::span<const double> u_, r_;
    int n_;
    double ts_;
    std::vector<double> y_, yK_, yT_, yL_;
};

// How a step of the time constant is held to its bound.
struct TimeConstantBound {
    double Minimum = 0.0;      // the smallest time constant
    bool ShrinkByFive = true;  // a step takes it to at least a fifth of what it was
};

// The outcome of a descent from p; p holds the last accepted figures.
struct Descent {
    int Iterations = 0;
    bool Converged = false;
    bool Unmoved = false;  // the response is 0 throughout: nothing moves it
    double Error = 0.0;    // sum of squared errors at p
    double A[3][3] = {};   // J'J at p
};

// At most 100 steps; a step that does not lower the error is refused and
// retried with more damping. The dead time stays in 0 .. maxDeadTime.
Descent DescendLevenbergMarquardt(ThreeFigureFit& fit, double (&p)[3], double samplingTime, double maxDeadTime,
                                  TimeConstantBound bound);

// The variances of the three figures, sigma^2 (J'J)^-1 with
// sigma^2 = error / (n - 3); false when J'J is not positive definite.
bool FigureVariances(const double (&A)[3][3], double error, int n, double (&variance)[3]);

// The two-sided Student t quantile of 95 % for nu degrees of freedom.
double TQuantile95(int nu);

// 100 (1 - sqrt(sse / spread)); 0 when the spread is 0 or the figure not finite.
double FitPercentOf(double sse, double spread);

}  // namespace halvetra
