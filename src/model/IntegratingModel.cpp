#include "model/IntegratingModel.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "model/ModelRefinement.h"
#include "model/ThreeFigureFit.h"

namespace halvetra {

namespace {

constexpr int MinSamples = 4;  // three figures and one degree of freedom

// y, and where the pointers are set its derivatives, over samples 1 .. n.
// dI/dL = (u2 - u1) per sample (theta moves by 1 / Ts per second of L); the
// lag term's derivatives follow from differentiating its recursion, written
// for h = T f so that T = 0 needs no division.
void Respond(std::span<const double> u, int n, double ts, double K, double T, double L, double* y, double* yK,
             double* yT, double* yL) {
    if (n <= 0) return;
    long long d = n;
    double theta = 0.0;
    if (ts > 0.0 && std::isfinite(ts)) {
        if (!(L > 0.0)) L = 0.0;
        const double samples = std::floor(L / ts);
        d = samples < n ? static_cast<long long>(samples) : n;
        theta = L / ts - samples;
        if (!(theta >= 0.0)) theta = 0.0;
        if (theta > 1.0) theta = 1.0;
    }
    if (!(T > 0.0)) T = 0.0;
    double a = 0.0, g = 0.0, aT = 0.0, gT = 0.0;
    if (T > 0.0) {
        a = std::exp(-ts / T);
        g = std::exp(-(1.0 - theta) * ts / T);
        if (a > 0.0) aT = a * (ts / T) / T;
        if (g > 0.0) gT = g * ((1.0 - theta) * ts / T) / T;
    }
    y[0] = 0.0;
    if (yK) yK[0] = yT[0] = yL[0] = 0.0;
    double I = 0.0, h = 0.0, hT = 0.0, IL = 0.0, hL = 0.0;
    for (long long j = 1; j < n; ++j) {
        const long long i1 = j - 1 - d, i2 = j - 2 - d;
        const double u1 = i1 >= 0 ? u[static_cast<std::size_t>(i1)] : 0.0;
        const double u2 = i2 >= 0 ? u[static_cast<std::size_t>(i2)] : 0.0;
        const double lagInput = (1.0 - g) * u1 + (g - a) * u2;
        if (yK) {
            hT = a * hT + aT * h + lagInput + T * (-gT * u1 + (gT - aT) * u2);
            IL = IL + (u2 - u1);
            hL = a * hL + g * (u2 - u1);
            yT[j] = -K * hT;
            yL[j] = K * (IL - hL);
        }
        I = I + ts * ((1.0 - theta) * u1 + theta * u2);
        h = a * h + T * lagInput;
        y[j] = K * (I - h);
        if (yK) yK[j] = I - h;
    }
}

bool AllFinite(std::span<const double> v, int n) {
    for (int j = 0; j < n; ++j)
        if (!std::isfinite(v[j])) return false;
    return true;
}

// The whole-sample dead time d whose pure integrator, with its best gain,
// leaves the smallest squared error: I0 is the undelayed integral of the
// input, and the delayed one is I0 shifted by d samples.
int BestPureIntegratorDelay(std::span<const double> u, std::span<const double> r, int n, double ts) {
    std::vector<double> I0(static_cast<std::size_t>(n), 0.0), prefix(static_cast<std::size_t>(n) + 1, 0.0);
    for (int j = 1; j < n; ++j) I0[j] = I0[j - 1] + ts * u[j - 1];
    for (int j = 0; j < n; ++j) prefix[j + 1] = prefix[j] + I0[j] * I0[j];
    int best = 0;
    double bestGainOfError = -1.0;  // (sum r I)^2 / sum I^2: the error's reduction
    for (int d = 0; d <= n - 2; ++d) {
        const double sii = prefix[n - d];
        if (!(sii > 0.0)) break;
        double sri = 0.0;
        for (int j = d; j < n; ++j) sri += r[j] * I0[j - d];
        const double reduction = sri * sri / sii;
        if (reduction > bestGainOfError) {
            bestGainOfError = reduction;
            best = d;
        }
    }
    return best;
}

}  // namespace

std::optional<ProcessChoice> ProcessChoiceFromText(std::string_view text) {
    if (text == "self-regulating") return ProcessChoice::SelfRegulating;
    if (text == "integrating") return ProcessChoice::Integrating;
    if (text == "auto") return ProcessChoice::Auto;
    return std::nullopt;
}

void IntegratingResponse(std::span<const double> input, int n, double samplingTime, double gain, double timeConstant,
                         double deadTime, std::span<double> response) {
    RespondInto(Respond, input, n, samplingTime, gain, timeConstant, deadTime, response);
}

void IntegratingSensitivities(std::span<const double> input, int n, double samplingTime, double gain,
                              double timeConstant, double deadTime, std::span<double> response,
                              std::span<double> byGain, std::span<double> byTimeConstant,
                              std::span<double> byDeadTime) {
    RespondWithSensitivities(Respond, input, n, samplingTime, gain, timeConstant, deadTime, response, byGain,
                             byTimeConstant, byDeadTime);
}

IntegratingFit FitIntegratingModel(std::span<const double> input, std::span<const double> reference, int n,
                                   double samplingTime) {
    auto none = [](const char* reason) {
        IntegratingFit empty;
        empty.Model.Type = ProcessType::Integrating;
        empty.Model.RelativeError = 1.0;
        empty.Reason = reason;
        return empty;
    };
    const double ts = samplingTime;
    if (n < MinSamples) return none("The window has too few samples");
    if (static_cast<std::size_t>(n) > input.size() || static_cast<std::size_t>(n) > reference.size())
        return none("The window is longer than its signals");
    if (!(ts > 0.0) || !std::isfinite(ts)) return none("The sampling time is not a positive number");
    if (!AllFinite(input, n) || !AllFinite(reference, n)) return none("The window holds a value that is not finite");
    bool inputMoves = false;
    for (int j = 0; j + 1 < n && !inputMoves; ++j) inputMoves = input[j] != 0.0;
    if (!inputMoves) return none("The input does not change in the window");

    ThreeFigureFit problem(Respond, input, reference, n, ts);
    const double spread = problem.ReferenceSpread();
    if (!(spread > 0.0)) return none("The reference does not change in the window");

    // Starts: the best pure integrator, and the same total delay shared
    // between lag and dead time in two ways; the lowest error wins.
    const double maxL = (n - 1) * ts;
    const double delay = BestPureIntegratorDelay(input, reference, n, ts) * ts;
    const double starts[3][2] = {{0.0, delay}, {0.5 * delay, 0.5 * delay}, {0.8 * delay, 0.2 * delay}};
    double best[3] = {0.0, 0.0, 0.0};
    Descent bestDescent;
    bool any = false;
    for (const auto& start : starts) {
        double p[3] = {problem.BestGain(start[0], start[1]), start[0], start[1]};
        if (p[0] == 0.0 || !std::isfinite(p[0])) continue;
        const Descent descent = DescendLevenbergMarquardt(problem, p, ts, maxL, {0.0, false});
        if (!std::isfinite(descent.Error) || descent.Unmoved) continue;
        if (!any || descent.Error < bestDescent.Error) {
            any = true;
            bestDescent = descent;
            std::copy(std::begin(p), std::end(p), best);
        }
    }
    if (!any) return none("The reference does not follow the input");
    // A short lag and the dead time are nearly the same thing to the record,
    // and the descent crawls along that valley: the best figures with the lag
    // moved into the dead time are one more start.
    if (best[1] > 0.0) {
        double p[3] = {best[0], 0.0, std::min(best[1] + best[2], maxL)};
        const Descent descent = DescendLevenbergMarquardt(problem, p, ts, maxL, {0.0, false});
        if (std::isfinite(descent.Error) && !descent.Unmoved && descent.Error < bestDescent.Error) {
            bestDescent = descent;
            std::copy(std::begin(p), std::end(p), best);
        }
    }
    IntegratingFit fit;
    fit.Model.Type = ProcessType::Integrating;
    fit.Iterations = bestDescent.Iterations;
    fit.Converged = bestDescent.Converged;

    double variance[3] = {0.0, 0.0, 0.0};
    if (!FigureVariances(bestDescent.A, bestDescent.Error, n, variance))
        variance[0] = variance[1] = variance[2] = 0.0;  // a figure the record does not determine: no spread to tell
    const double t = TQuantile95(n - 3);
    const double K = best[0], T = best[1], L = best[2];
    const double sK = std::sqrt(std::max(variance[0], 0.0));
    const double sT = std::sqrt(std::max(variance[1], 0.0));
    const double sL = std::sqrt(std::max(variance[2], 0.0));

    std::vector<double> response(static_cast<std::size_t>(n));
    Respond(input, n, ts, K, T, L, response.data(), nullptr, nullptr, nullptr);
    ModelParameters& m = fit.Model;
    m.Gain = K;
    m.TimeConstant = T;
    m.DeadTime = L;
    m.Std = std::sqrt(DifferenceVariance(response, reference, 1, n));
    const double v = PopulationVariance(reference, 1, n);
    m.RelativeError = v == 0.0 ? 1.0 : std::sqrt(MeanSquaredError(reference, response, 1, n) / v);
    m.GainDeviation = sK;
    m.TimeConstantDeviation = sT;
    fit.DeadTimeStd = sL;
    fit.GainCI95 = {K - t * sK, K + t * sK};
    fit.TimeConstantCI95 = {std::max(T - t * sT, 0.0), T + t * sT};
    fit.DeadTimeCI95 = {std::max(L - t * sL, 0.0), L + t * sL};
    fit.FitPercent = FitPercentOf(bestDescent.Error, spread);
    fit.SquaredError = bestDescent.Error;
    const double all[] = {m.Gain,
                          m.TimeConstant,
                          m.DeadTime,
                          m.Std,
                          m.RelativeError,
                          sK,
                          sT,
                          sL,
                          fit.GainCI95[0],
                          fit.GainCI95[1],
                          fit.TimeConstantCI95[1],
                          fit.DeadTimeCI95[1],
                          fit.FitPercent};
    for (double value : all)
        if (!std::isfinite(value)) return none("The integrating model is not finite");
    fit.Fitted = true;
    return fit;
}

ProcessType ChooseProcessType(std::span<const double> input, std::span<const double> reference, int n,
                              double samplingTime, const ModelParameters& selfRegulating, const IntegratingFit& fit) {
    if (!fit.Fitted || n < MinSamples) return ProcessType::SelfRegulating;
    // The self-regulating model's squared error: the identified figures', or
    // the refined ones' where they fit better.
    const RefinedModel refined = RefineModel(input, reference, n, samplingTime, selfRegulating);
    std::vector<double> response(static_cast<std::size_t>(n));
    FractionalFirstOrderResponse(input, n, samplingTime, refined.Gain, refined.TimeConstant, refined.DeadTime,
                                 response);
    double selfRegulatingError = 0.0;
    for (int j = 0; j < n; ++j) {
        const double e = reference[j] - response[j];
        selfRegulatingError += e * e;
    }
    // A time constant beyond the window makes the self-regulating model an
    // integrator in all but name; with noise it may then fit a little better
    // than the integrating model by following the noise with its lag, so the
    // integrating fit needs to be within 5 % of its error. Otherwise the
    // integrating fit must leave at most a quarter of it.
    const double duration = (n - 1) * samplingTime;
    const double timeConstant = std::max(selfRegulating.TimeConstant, refined.TimeConstant);
    const double allowed = timeConstant > duration ? 1.05 : 0.25;
    return fit.SquaredError <= allowed * selfRegulatingError ? ProcessType::Integrating : ProcessType::SelfRegulating;
}

ProcessFits ApplyProcessChoice(TModel& model, IdentificationWindow& window, double samplingTime, ProcessChoice inner,
                               ProcessChoice outer) {
    const int n = window.WindowLength;
    const ProcessChoice choices[2] = {inner, outer};
    ModelParameters* sets[2] = {&model.Inner, &model.Outer};
    const std::vector<double>* inputs[2] = {&window.WindowU, &window.WindowY};
    const std::vector<double>* references[2] = {&window.InnerReference, &window.OuterReference};
    std::vector<double>* responses[2] = {&window.InnerResponse, &window.OuterResponse};
    const char* names[2] = {"inner", "outer"};
    IntegratingFit fits[2];
    // Both are decided before either changes, so a refused choice changes nothing.
    bool integrating[2] = {false, false};
    for (int k = 0; k < 2; ++k) {
        if (choices[k] == ProcessChoice::SelfRegulating) continue;
        fits[k] = FitIntegratingModel(*inputs[k], *references[k], n, samplingTime);
        if (choices[k] == ProcessChoice::Integrating) {
            if (!fits[k].Fitted)
                throw HalvetraError(std::string("The integrating model of the ") + names[k] +
                                    " process cannot be identified: " + fits[k].Reason);
            integrating[k] = true;
        } else {
            integrating[k] = ChooseProcessType(*inputs[k], *references[k], n, samplingTime, *sets[k], fits[k]) ==
                             ProcessType::Integrating;
        }
    }
    for (int k = 0; k < 2; ++k) {
        if (!integrating[k]) continue;
        *sets[k] = fits[k].Model;
        const ModelParameters& m = *sets[k];
        IntegratingResponse(*inputs[k], n, samplingTime, m.Gain, m.TimeConstant, m.DeadTime, *responses[k]);
    }
    return {fits[0], fits[1]};
}

IntegratingFit ChooseProcessModel(ModelParameters& set, ModelParameters& selfRegulating, IdentificationWindow& window,
                                  bool outer, double samplingTime, ProcessChoice choice) {
    const int n = window.WindowLength;
    const std::vector<double>& input = outer ? window.WindowY : window.WindowU;
    const std::vector<double>& reference = outer ? window.OuterReference : window.InnerReference;
    const std::string name = outer ? "outer" : "inner";
    const ModelParameters known = set.Type == ProcessType::SelfRegulating ? set : selfRegulating;

    IntegratingFit fit;
    bool integrating = false;
    if (choice != ProcessChoice::SelfRegulating) {
        fit = FitIntegratingModel(input, reference, n, samplingTime);
        integrating = choice == ProcessChoice::Integrating ||
                      ChooseProcessType(input, reference, n, samplingTime, known, fit) == ProcessType::Integrating;
        if (integrating && !fit.Fitted)
            throw HalvetraError("The integrating model of the " + name +
                                " process cannot be identified: " + fit.Reason);
    }
    if (!integrating && known == ModelParameters{} && set.Type == ProcessType::Integrating)
        throw HalvetraError("No self-regulating model of the " + name + " process is known: calculate the model");

    const ModelParameters chosen = integrating ? fit.Model : known;
    std::vector<double> response(static_cast<std::size_t>(std::max(n, 0)));
    if (integrating) {
        IntegratingResponse(input, n, samplingTime, chosen.Gain, chosen.TimeConstant, chosen.DeadTime, response);
    } else {
        std::vector<double> derivative(response.size());
        FirstOrderResponse(1, n, input, chosen.Gain, chosen.TimeConstant, samplingTime, 0.0, chosen.DeadTime, response,
                           derivative);
    }
    std::vector<double>& target = outer ? window.OuterResponse : window.InnerResponse;
    std::copy(response.begin(), response.end(), target.begin());
    selfRegulating = known;
    set = chosen;
    return fit;
}

}  // namespace halvetra
