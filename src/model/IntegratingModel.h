#pragma once
// Identification of an integrating process, G(s) = K e^(-L s) / (s (T s + 1)),
// from the same window, input and reference as the self-regulating model, and
// the automatic choice between the two process types.
//
// The fit is nonlinear least squares on K, T >= 0 and a continuous L (the
// same Levenberg-Marquardt as the refined model), started from the best pure
// integrator over the whole-sample dead times. Its figures are in the
// identification's convention: the reference is the output one sample late,
// so on an exact sampled integrating process with a held input the dead time
// comes out as the true one plus one sampling period.
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "data/IdentificationWindow.h"
#include "model/ModelParameters.h"
#include "model/TModel.h"

namespace halvetra {

// The process type a user asks for; Auto lets the record decide.
enum class ProcessChoice { SelfRegulating, Integrating, Auto };

// "self-regulating", "integrating" or "auto"; empty for any other text.
std::optional<ProcessChoice> ProcessChoiceFromText(std::string_view text);

struct IntegratingFit {
    bool Fitted = false;     // the figures below are a fit of the record
    bool Converged = false;  // the iteration met its stopping test
    int Iterations = 0;
    // Type Integrating; gain [1/s], lag and dead time [s], Std and relative
    // error as for the self-regulating model, the deviations the standard
    // deviations of gain and lag. All 0 (but RelativeError 1) when !Fitted.
    ModelParameters Model;
    double DeadTimeStd = 0.0;
    std::array<double, 2> GainCI95{};
    std::array<double, 2> TimeConstantCI95{};
    std::array<double, 2> DeadTimeCI95{};
    double FitPercent = 0.0;    // 100 (1 - |r - y| / |r - mean r|)
    double SquaredError = 0.0;  // sum of (r - y)^2 over the window
    std::string Reason;         // why there is no fit (empty when Fitted)
};

// Fits the integrating model from samples 1 .. n of the input and the
// reference (both from 0). Every number of the result is finite.
IntegratingFit FitIntegratingModel(std::span<const double> input, std::span<const double> reference, int n,
                                   double samplingTime);

// The integrating model's response from 0 to a held input over samples
// 1 .. n, with L = (d + theta) Ts, 0 <= theta < 1:
//   y = K (I - h),
//   I[j] = I[j-1] + Ts ((1 - theta) u[j-1-d] + theta u[j-2-d]),
//   h[j] = a h[j-1] + T ((1 - g) u[j-1-d] + (g - a) u[j-2-d]),
//   a = exp(-Ts / T), g = exp(-(1 - theta) Ts / T) (a = g = 0 for T = 0),
// the exact samples of K/s - K T/(T s + 1) driven by the delayed input. A
// negative lag or dead time counts as 0. response must hold n values.
void IntegratingResponse(std::span<const double> input, int n, double samplingTime, double gain, double timeConstant,
                         double deadTime, std::span<double> response);

// The same response with its derivatives with respect to K, T and L (the
// dead time's from above where L is a whole number of samples).
void IntegratingSensitivities(std::span<const double> input, int n, double samplingTime, double gain,
                              double timeConstant, double deadTime, std::span<double> response,
                              std::span<double> byGain, std::span<double> byTimeConstant, std::span<double> byDeadTime);

// The automatic choice for one process: Integrating when the integrating
// fit's squared error is at most 1.05 times the self-regulating model's (its
// refined figures where they fit better) while that model's time constant
// lies beyond the window's duration, or at most a quarter of it otherwise.
ProcessType ChooseProcessType(std::span<const double> input, std::span<const double> reference, int n,
                              double samplingTime, const ModelParameters& selfRegulating, const IntegratingFit& fit);

// The integrating fits of an identified window, as far as the choices asked
// for them.
struct ProcessFits {
    IntegratingFit Inner, Outer;
};

// Applies the choice for each process to an identified model and its window:
// where the process is (or, for Auto, turns out) integrating, the model set
// becomes the integrating fit and the window's response its response. A
// choice of Integrating on a record without an integrating fit throws
// HalvetraError "The integrating model of the inner process cannot be
// identified: %s" (outer likewise) with the fit's reason.
ProcessFits ApplyProcessChoice(TModel& model, IdentificationWindow& window, double samplingTime, ProcessChoice inner,
                               ProcessChoice outer);

// One process of a window, set to the process type chosen for it: the
// Model page's choice. `set` is the process's model, `selfRegulating` the
// self-regulating model behind it (taken from `set` while that is
// self-regulating, kept while it is integrating); the window's response of
// the process becomes the chosen model's. Integrating (or Auto deciding so)
// fits the integrating model from the window's input and reference;
// Self-regulating restores `selfRegulating` with its response. All or
// nothing: an integrating model that cannot be identified throws
// HalvetraError "The integrating model of the inner process cannot be
// identified: %s", a self-regulating model that is not known (an integrating
// model loaded from a file) "No self-regulating model of the inner process
// is known: calculate the model" ("outer" likewise).
// Returns the integrating fit (none for Self-regulating).
IntegratingFit ChooseProcessModel(ModelParameters& set, ModelParameters& selfRegulating, IdentificationWindow& window,
                                  bool outer, double samplingTime, ProcessChoice choice);

}  // namespace halvetra
