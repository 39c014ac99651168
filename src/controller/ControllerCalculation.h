#pragma once
// The calculation of the Controller page without the page: tuning with the
// robustness factor and the label texts, the closed-loop sampling time, and
// the open-loop and closed-loop responses with the chart's value range. The
// page, the command-line companion and the automatic chain all run these.
//
// The page runs the three steps in this order and stores each step's results
// before the next one: a sampling-time text that is not a number, a zero
// process gain or a zero sampling time ends the calculation with the labels
// already new and the chart unchanged.
#include <array>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "controller/TRegulator.h"
#include "data/SignalWindow.h"
#include "model/ModelParameters.h"

namespace halvetra {

// The result of the tuning step.
struct ControllerTuning {
    int Method = 0;                  // the tuning method used (nothing selected, -1, tunes by method 0)
    double Factor = 0.0;             // robustness factor f of the slider position; 1 for the optimal rule
    std::optional<double> MsTarget;  // the optimal rule's Ms target of the slider position
    bool Cascade = false;
    TuningResult Result;                   // the single loop's gains, or the cascade's outer controller (before f)
    double KpInner = 0.0;                  // the cascade's inner P gain (before f); 0 for a single loop
    double RecommendedSamplingTime = 0.0;  // for the PI controller with the gains times f
};

// Tunes the single loop on the inner model, or the cascade on both models,
// with the largest loop gain of every caller (MaxLoopGain). A loop with an
// integrating process is tuned by the rules for it (TRegulator::TuneLoop and
// TuneCascade of models, or the optimal rule; another rule than SIMC, AMIGO or
// the optimal rule throws HalvetraError TuningMethodRefusal), and its
// recommended sampling time is Round(100 / |KpPI f K|) / 1000 when the process
// the PI controller acts on is integrating. Throws
// FloatingPointError "Invalid floating point operation" when the MOMI
// disturbance-rejection PID rule has no real solution. The optimal rule
// (OptimalMs) optimises the loop at the closed-loop sampling time
// samplingTime (the other rules ignore it): a sampling time not above 0 or
// a zero process gain throws "Floating point division by zero", a target no
// controller meets OptimalTuningError.
ControllerTuning TuneController(int method, int robustPosition, bool cascade, const ModelParameters& inner,
                                const ModelParameters& outer, double samplingTime);

// The texts of the page's result labels: each gain times f in fixed-point
// format (precision 15) with the label's decimals. A value that is not finite
// throws FloatingPointError instead of becoming a text.
struct ControllerLabels {
    std::string Label_Ki;            // I: Ki, 5 decimals
    std::string Label_Kp_P;          // P: Kp, 5 decimals
    std::string Label_PI_Kp;         // PI: Kp, 3 decimals
    std::string Label_PI_Ti;         // PI: Ki, 6 decimals
    std::string Label_PID_Kp;        // PID: Kp, 3 decimals
    std::string Label_PID_Ti;        // PID: Ki, 6 decimals
    std::string Label_PID_Td;        // PID: Kd, 3 decimals
    std::string Label_Kp_Cascade;    // inner P gain, 4 decimals; "0" for a single loop
    std::string Label_Priporocljiv;  // recommended sampling time, 3 decimals
};
// The labels of a controller the tuning does not define (see
// ControllerDefined) are "—" instead.
ControllerLabels FormatControllerLabels(const ControllerTuning& tuning, char decimalSeparator);

// Whether the tuning defines the controller of `type` (ControllerType). The
// added rules leave controllers out (SIMC and AMIGO have no I controller,
// AMIGO no P controller) with gains of 0: those are shown as "—" and their
// curves are not drawn. Every controller of the other methods is defined.
bool ControllerDefined(const ControllerTuning& tuning, int type);

// Infinities and NaN are never shown as figures or stored: throws
// FloatingPointError when a gain times the factor, or the recommended
// sampling time, is not finite.
void RequireFiniteTuning(const ControllerTuning& tuning);

// The closed-loop sampling time from the edit's text: an empty text keeps the
// stored one, and so does a value that is not above 0. A text that is not a
// number throws ConversionError. The caller stores the result back.
double ResolveLoopSamplingTime(std::string_view text, double storedSamplingTime, char decimalSeparator);

// The simulation horizon from the inner model.
struct SimulationHorizon {
    int DeadTimeSamples = 0;  // d = Round(L1 / Ts); a negative dead time counts as 0; at most MaxSamples
    int SampleCount = 0;      // n = Round((10 L1 + 5 T1) / Ts) + 1, cut to MaxSamples - 1 - d, at least 10
};
// Throws FloatingPointError "Floating point division by zero" when Ts = 0.
SimulationHorizon ClosedLoopHorizon(double L1, double T1, double Ts);

// Every curve of the Controller chart over samples 0 .. n - 1.
struct ControllerSimulation {
    SimulationHorizon Horizon;
    std::vector<double> Time;  // t[k] = k Ts
    // The inner model's response to an input step of 1 / K1; for an
    // integrating inner model, to an input pulse of area 1 / K1 over the
    // first fifth of the horizon (the ramp up to 1, then level).
    std::vector<double> OpenLoop;
    // The closed-loop responses indexed by ControllerType: I, PI, PID, P. In a
    // cascade these are the outer measurement.
    std::array<std::vector<double>, 4> ClosedLoop;
    AxisRange ValueAxis;  // ControllerChartRange of the five curves
};

// The open-loop and closed-loop responses at sampling time Ts with the gains
// of the tuning times f (the cascade's inner gain as tuned). Response type 0
// tracks a unit reference step; any other type rejects a disturbance of 1 / K1
// at the (inner) process input. With an integrating process (inner, or the
// cascade's outer) the horizon is Round((30 L + 10 T) / Ts) + 1 samples over
// the sums of the loop's dead times and time constants, cut as
// ClosedLoopHorizon cuts it. Throws FloatingPointError "Floating point
// division by zero" when Ts = 0 or, after that, when K1 = 0, before any curve
// is computed. The simulations run on arrays with room for both dead times, so
// no dead time makes them write out of bounds.
ControllerSimulation SimulateController(const ControllerTuning& tuning, int responseType, double Ts,
                                        const ModelParameters& inner, const ModelParameters& outer);

// The fixed left-axis range of the Controller chart over samples 1 .. n of the
// curves (MaxMin): the largest maximum, cut to 2, and the smallest minimum,
// cut to -1, with a tenth of their span (1 when 0) beyond each.
AxisRange ControllerChartRange(std::initializer_list<std::span<const double>> curves, int n);

}  // namespace halvetra
