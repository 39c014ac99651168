#pragma once
// Refinement of an identified process model: gain, time constant and a
// continuous dead time fitted by nonlinear least squares (Levenberg-Marquardt
// with an analytic Jacobian), started from the identified figures, against
// the same reference and window as the identification. The refined figures
// are in the identification's convention (the inner dead time includes the
// reference's one-sample shift), so they can replace the identified ones one
// for one. When the fit does not converge or is not better than the
// identified model, the identified figures stay and Reason says why.
#include <array>
#include <span>
#include <string>

#include "data/IdentificationWindow.h"
#include "model/ModelParameters.h"

namespace halvetra {

struct RefinedModel {
    bool Refined = false;    // the refined figures replace the identified ones (converged and better)
    bool Converged = false;  // the iteration met its stopping test within the iteration limit
    int Iterations = 0;      // accepted and refused steps taken
    // The refined figures; the identified ones when !Refined.
    double Gain = 0.0;
    double TimeConstant = 0.0;  // [s]
    double DeadTime = 0.0;      // [s], any value >= 0, not only whole samples
    // Standard deviations from the Jacobian at the optimum and the residual
    // variance; 0 when they cannot be estimated.
    double GainStd = 0.0;
    double TimeConstantStd = 0.0;
    double DeadTimeStd = 0.0;
    // 95 % confidence intervals [low, high].
    std::array<double, 2> GainCI95{};
    std::array<double, 2> TimeConstantCI95{};
    std::array<double, 2> DeadTimeCI95{};
    double FitPercent = 0.0;  // 100 (1 - |r - y| / |r - mean r|) of the figures above
    std::string Reason;       // why the identified model stays (empty when Refined)
};

struct RefinedModels {
    RefinedModel Inner, Outer;
};

// Refines one process from `identified` over samples 1 .. n of the input and
// the reference (both from 0, as the identification's window arrays). Every
// number of the result is finite.
RefinedModel RefineModel(std::span<const double> input, std::span<const double> reference, int n, double samplingTime,
                         const ModelParameters& identified);

// Both processes of an identified window: the inner one from WindowU to
// InnerReference, the outer one from WindowY to OuterReference, over samples
// 1 .. window.WindowLength.
RefinedModels RefineModels(const IdentificationWindow& window, double samplingTime, const ModelParameters& inner,
                           const ModelParameters& outer);

// The first-order response from 0 of `input` over samples 1 .. n with a dead
// time that need not be a whole number of samples, L = (d + theta) Ts with
// 0 <= theta < 1, for a held input:
//   y[j] = a y[j-1] + K (1 - g) u[j-1-d] + K (g - a) u[j-2-d],
//   a = exp(-Ts / T), g = exp(-(1 - theta) Ts / T),
// which is the identification's response when theta = 0. A time constant of
// at most 0.01 Ts counts as 0 (a = g = 0), as in the identification; a
// negative dead time counts as 0. response must hold n values.
void FractionalFirstOrderResponse(std::span<const double> input, int n, double samplingTime, double gain,
                                  double timeConstant, double deadTime, std::span<double> response);

// The same response with its derivatives with respect to the gain, the time
// constant and the dead time, each by a recursion of the same form (the dead
// time's derivative is the one from above where L is a whole number of
// samples). Each span must hold n values.
void FractionalFirstOrderSensitivities(std::span<const double> input, int n, double samplingTime, double gain,
                                       double timeConstant, double deadTime, std::span<double> response,
                                       std::span<double> byGain, std::span<double> byTimeConstant,
                                       std::span<double> byDeadTime);

}  // namespace halvetra
