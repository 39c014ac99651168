// The Controller page's calculation: tuning, labels, sampling time, horizon,
// open-loop and closed-loop responses and the chart's value range.
#include "controller/ControllerCalculation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "controller/OptimalRule.h"
#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/MeasuredData.h"
#include "data/NumberText.h"
#include "model/IntegratingModel.h"

namespace halvetra {

namespace {

constexpr const char* DivisionByZero = "Floating point division by zero";

// The gains of one controller type after the robustness factor.
struct ScaledGains {
    double Kp = 0.0;
    double Ki = 0.0;
    double Kd = 0.0;
};

ScaledGains GainsOf(int type, const TuningResult& G, double f) {
    switch (type) {
    case TypeI: return {0.0, G.KiI * f, 0.0};
    case TypePI: return {G.KpPI * f, G.KiPI * f, 0.0};
    case TypePID: return {G.KpPID * f, G.KiPID * f, G.KdPID * f};
    default: return {G.KpP * f, 0.0, 0.0};
    }
}

// The sample count for loops with an integrating process, which settle more
// slowly: Round((30 L + 10 T) / Ts) + 1 over the sums of the loop's dead
// times and time constants, cut and held as ClosedLoopHorizon does.
int IntegratingHorizon(bool cascade, const ModelParameters& inner, const ModelParameters& outer, double Ts,
                       int deadTimeSamples) {
    const double L = std::max(inner.DeadTime, 0.0) + (cascade ? std::max(outer.DeadTime, 0.0) : 0.0);
    const double T = std::max(inner.TimeConstant, 0.0) + (cascade ? std::max(outer.TimeConstant, 0.0) : 0.0);
    double n = std::nearbyint((30.0 * L + 10.0 * T) / Ts) + 1.0;
    const double longest = static_cast<double>(MaxSamples - 1 - deadTimeSamples);
    if (n > longest) {
        n = longest;
    }
    if (!(n >= 10.0)) {
        n = 10.0;
    }
    return static_cast<int>(n);
}

}  // namespace

ControllerTuning TuneController(int method, int robustPosition, bool cascade, const ModelParameters& inner,
                                const ModelParameters& outer, double samplingTime) {
    ControllerTuning tuning;
    tuning.Method = method == -1 ? 0 : method;
    tuning.Factor = RobustnessFactor(robustPosition);
    tuning.Cascade = cascade;
    if (tuning.Method == OptimalMs) {
        // The slider chooses the Ms target; the gains are the optimum itself.
        tuning.Factor = 1.0;
        tuning.MsTarget = OptimalMsTarget(robustPosition);
    }
    const double f = tuning.Factor;
    const bool integrating =
        inner.Type == ProcessType::Integrating || (cascade && outer.Type == ProcessType::Integrating);
    if (tuning.Method == OptimalMs || integrating) {
        // The optimal rule, or the rules for either process type. The
        // recommended sampling time is a tenth of 1 / |Kp f K| of the process
        // the PI controller acts on when that is integrating (the
        // proportional loop's time constant), else as for self-regulating
        // processes.
        const ModelParameters& controlled = cascade ? outer : inner;
        if (tuning.Method == OptimalMs) {
            if (cascade) {
                const CascadeTuning c = TuneOptimalCascade(*tuning.MsTarget, samplingTime, inner, outer);
                tuning.KpInner = c.KpInner;
                tuning.Result = c.Outer;
            } else {
                tuning.Result = TuneOptimalLoop(*tuning.MsTarget, samplingTime, inner);
            }
        } else if (cascade) {
            const CascadeTuning c = TRegulator::TuneCascade(tuning.Method, inner, outer, MaxLoopGain);
            tuning.KpInner = c.KpInner;
            tuning.Result = c.Outer;
        } else {
            tuning.Result = TRegulator::TuneLoop(tuning.Method, inner, MaxLoopGain);
        }
        const TuningResult& G = tuning.Result;
        tuning.RecommendedSamplingTime =
            controlled.Type == ProcessType::Integrating
                ? std::nearbyint(100.0 * SafeDivide(1.0, std::fabs(G.KpPI * f * controlled.Gain), 1000.0)) * 0.001
                : RecommendedSamplingTime(G.KpPI, G.KiPI, f, controlled.Gain, controlled.TimeConstant);
        return tuning;
    }
    if (cascade) {
        const CascadeTuning c = TRegulator::TuneCascade(tuning.Method, inner.Gain, inner.TimeConstant, inner.DeadTime,
                                                        outer.Gain, outer.TimeConstant, outer.DeadTime, MaxLoopGain);
        tuning.KpInner = c.KpInner;
        tuning.Result = c.Outer;
        tuning.RecommendedSamplingTime =
            RecommendedSamplingTime(c.Outer.KpPI, c.Outer.KiPI, f, outer.Gain, outer.TimeConstant);
    } else {
        tuning.Result =
            TRegulator::TuneLoop(tuning.Method, inner.Gain, inner.TimeConstant, inner.DeadTime, MaxLoopGain);
        tuning.RecommendedSamplingTime =
            RecommendedSamplingTime(tuning.Result.KpPI, tuning.Result.KiPI, f, inner.Gain, inner.TimeConstant);
    }
    return tuning;
}

void RequireFiniteTuning(const ControllerTuning& tuning) {
    const TuningResult& G = tuning.Result;
    for (const double gain : {G.KiI, G.KpP, G.KpPI, G.KiPI, G.KpPID, G.KiPID, G.KdPID, tuning.KpInner})
        RequireFinite(gain * tuning.Factor);
    RequireFinite(tuning.RecommendedSamplingTime);
}

bool ControllerDefined(const ControllerTuning& tuning, int type) {
    if (tuning.Method < Simc) {
        return true;
    }
    const ScaledGains g = GainsOf(type, tuning.Result, 1.0);
    return g.Kp != 0.0 || g.Ki != 0.0 || g.Kd != 0.0;
}

ControllerLabels FormatControllerLabels(const ControllerTuning& tuning, char decimalSeparator) {
    const TuningResult& G = tuning.Result;
    const double f = tuning.Factor;
    const auto text = [decimalSeparator](double value, int decimals) {
        return FormatFixedFinite(value, 15, decimals, decimalSeparator);
    };
    ControllerLabels labels;
    labels.Label_Ki = text(G.KiI * f, 5);
    labels.Label_Kp_P = text(G.KpP * f, 5);
    labels.Label_PI_Kp = text(G.KpPI * f, 3);
    labels.Label_PI_Ti = text(G.KiPI * f, 6);
    labels.Label_PID_Kp = text(G.KpPID * f, 3);
    labels.Label_PID_Ti = text(G.KiPID * f, 6);
    labels.Label_PID_Td = text(G.KdPID * f, 3);
    const std::string none = "\u2014";
    if (!ControllerDefined(tuning, TypeI)) {
        labels.Label_Ki = none;
    }
    if (!ControllerDefined(tuning, TypeP)) {
        labels.Label_Kp_P = none;
    }
    if (!ControllerDefined(tuning, TypePI)) {
        labels.Label_PI_Kp = labels.Label_PI_Ti = none;
    }
    if (!ControllerDefined(tuning, TypePID)) {
        labels.Label_PID_Kp = labels.Label_PID_Ti = labels.Label_PID_Td = none;
    }
    labels.Label_Kp_Cascade = tuning.Cascade ? text(tuning.KpInner * f, 4) : std::string("0");
    labels.Label_Priporocljiv = text(tuning.RecommendedSamplingTime, 3);
    return labels;
}

double ResolveLoopSamplingTime(std::string_view text, double storedSamplingTime, char decimalSeparator) {
    if (text.empty()) {
        return storedSamplingTime;
    }
    const double value = TextToFloat(text, decimalSeparator);
    return value > 0.0 ? value : storedSamplingTime;
}

SimulationHorizon ClosedLoopHorizon(double L1, double T1, double Ts) {
    if (Ts == 0.0) {
        throw FloatingPointError(DivisionByZero);
    }
    // Worked in doubles and cut before the conversion, so that no dead time
    // or time constant, however long against Ts, overflows an int.
    double d = std::nearbyint(L1 / Ts);
    if (!(d > 0.0)) {
        d = 0.0;  // a negative dead time counts as 0 samples
    }
    d = std::min(d, static_cast<double>(MaxSamples));
    double n = std::nearbyint((10.0 * L1 + 5.0 * T1) / Ts) + 1.0;
    const double longest = static_cast<double>(MaxSamples - 1) - d;
    if (n > longest) {
        n = longest;
    }
    if (!(n >= 10.0)) {
        n = 10.0;
    }
    return {static_cast<int>(d), static_cast<int>(n)};
}

AxisRange ControllerChartRange(std::initializer_list<std::span<const double>> curves, int n) {
    double top = 0.0;
    double bottom = 0.0;
    bool first = true;
    for (const std::span<const double> curve : curves) {
        double maximum = 0.0;
        double minimum = 0.0;
        MaxMin(curve, maximum, minimum, 1, n);
        if (first || maximum > top) {
            top = maximum;
        }
        if (first || minimum < bottom) {
            bottom = minimum;
        }
        first = false;
    }
    if (top > 2.0) {
        top = 2.0;
    }
    if (bottom < -1.0) {
        bottom = -1.0;
    }
    return ValueAxisRange(top, bottom);
}

ControllerSimulation SimulateController(const ControllerTuning& tuning, int responseType, double Ts,
                                        const ModelParameters& inner, const ModelParameters& outer) {
    const double K1 = inner.Gain;
    const double T1 = inner.TimeConstant;
    const double L1 = inner.DeadTime;

    ControllerSimulation sim;
    sim.Horizon = ClosedLoopHorizon(L1, T1, Ts);
    if (K1 == 0.0) {
        throw FloatingPointError(DivisionByZero);
    }
    const bool integrating =
        inner.Type == ProcessType::Integrating || (tuning.Cascade && outer.Type == ProcessType::Integrating);
    if (integrating) {
        sim.Horizon.SampleCount = IntegratingHorizon(tuning.Cascade, inner, outer, Ts, sim.Horizon.DeadTimeSamples);
    }
    const int n = sim.Horizon.SampleCount;
    const auto count = static_cast<std::size_t>(n);

    // Time axis and the open-loop response to an input step of 1 / K1.
    const double u = 1.0 / K1;
    sim.Time.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        sim.Time[k] = static_cast<double>(k) * Ts;
    }
    std::vector<double> derivative(count);
    sim.OpenLoop.resize(count);
    if (inner.Type == ProcessType::Integrating) {
        // The integrating process's ramp for an input pulse of a fifth of the
        // horizon whose area is 1 / K1: the output climbs to 1 and stays.
        const int width = std::max(1, n / 5);
        std::vector<double> pulse(count, 0.0);
        for (int k = 0; k < width; ++k) {
            pulse[static_cast<std::size_t>(k)] = u / (static_cast<double>(width) * Ts);
        }
        IntegratingResponse(pulse, n, Ts, K1, T1, static_cast<double>(sim.Horizon.DeadTimeSamples) * Ts, sim.OpenLoop);
    } else {
        const std::vector<double> input(count, u);
        FirstOrderResponse(1, n, input, K1, T1, Ts, 0.0, static_cast<double>(sim.Horizon.DeadTimeSamples) * Ts,
                           sim.OpenLoop, derivative);
    }

    // Closed loops. The arrays have room for the samples each simulation
    // writes beyond n - 1 at its process dead time; only 0 .. n - 1 are kept.
    const double R = responseType == 0 ? 1.0 : 0.0;
    const double D = responseType == 0 ? 0.0 : u;
    const double f = tuning.Factor;
    for (int type = TypeI; type <= TypeP; ++type) {
        const ScaledGains k = GainsOf(type, tuning.Result, f);
        std::vector<double>& curve = sim.ClosedLoop[static_cast<std::size_t>(type)];
        if (tuning.Cascade) {
            curve.assign(static_cast<std::size_t>(LoopArraySize(n, outer.DeadTime, Ts)), 0.0);
            std::vector<double> innerOutput(static_cast<std::size_t>(LoopArraySize(n, L1, Ts)), 0.0);
            TRegulator::SimulateCascade(type, n, curve, innerOutput, k.Kp, k.Ki, k.Kd, tuning.KpInner, R, D, Ts, K1, T1,
                                        L1, outer.Gain, outer.TimeConstant, outer.DeadTime, inner.Type, outer.Type);
        } else {
            curve.assign(static_cast<std::size_t>(LoopArraySize(n, L1, Ts)), 0.0);
            TRegulator::SimulateLoop(type, n, curve, k.Kp, k.Ki, k.Kd, R, D, Ts, K1, T1, L1, inner.Type);
        }
        curve.resize(count);
    }

    sim.ValueAxis = ControllerChartRange(
        {sim.ClosedLoop[TypeI], sim.OpenLoop, sim.ClosedLoop[TypePI], sim.ClosedLoop[TypePID], sim.ClosedLoop[TypeP]},
        n);
    return sim;
}

}  // namespace halvetra
