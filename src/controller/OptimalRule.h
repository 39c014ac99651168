#pragma once
// The optimal rule (tuning method 9): the gains that reject a load step best
// while keeping the loop as robust as the engineer asks. For each controller
// type it minimises the integrated absolute error after a load step of 1 / K1
// at the (inner) process input, the "IaeDisturbance" of the loop figures,
// subject to a maximum sensitivity Ms <= target, for the discrete loop exactly
// as SimulateLoop and SimulateCascade run it at the closed-loop sampling time.
//
// The search works on the controller's shape (Ti = Kp / Ki and Td = Kd / Kp)
// and its scale: for a shape, the largest scale whose Nyquist curve stays
// outside the circle of radius 1 / target around -1 follows in closed form on
// a frequency grid, and every loop on the way from scale 0 to it is stable.
// With an integrator in the process the controller acts on (either type of
// process, K e^(-L s) / (s (T s + 1)) simulated as SimulateLoop does it), an
// integral term makes small scales fall short of the target too: the scales
// that meet it are an interval above 0, and the direction of action is the
// sign of the slope gain.
// The load IAE is minimised over the shape (PI: a scan of Ti with a
// golden-section refinement; PID: Nelder-Mead on log Ti and log Td from the
// PI optimum, SIMC and AMIGO), then over the scale at the best shape. At the
// end the gains are scaled down, if need be, until the maximum sensitivity by
// the loop figures (LoopMaxSensitivity) is at most the target.
//
//   P   the largest gain (the smallest offset after a load step)
//   I   the best integral gain; none for a process the controller sees as
//       integrating (two integrators in the loop: never stable)
//   PID the derivative filter of the simulation, and a bound on the noise
//       gain: |C(e^(j pi))|, the controller's gain at the Nyquist frequency, is
//       at most PidNoiseGainRatio times that of the optimal PI controller
//   cascade: the outer controller with the inner P loop closed; the inner gain
//       is SIMC's cascade inner gain, and the outer "PID" is its PI, as with
//       every other rule
#include <limits>

#include "controller/LoopFigures.h"
#include "controller/TRegulator.h"
#include "data/Errors.h"

namespace halvetra {

// The Ms target of robustness slider position p: 1.2 + 0.04 p (p held to
// 0 .. 20): 1.2 robust, 1.6 in the middle, 2.0 fast.
double OptimalMsTarget(int position);

// The optimal PID controller may amplify measurement noise at the Nyquist
// frequency at most this many times as much as the optimal PI controller of
// the same loop and target.
inline constexpr double PidNoiseGainRatio = 10.0;

// No controller of the type keeps the loop stable with Ms <= target:
// "No stabilising PI controller keeps the maximum sensitivity at or below 1.20".
class OptimalTuningError : public HalvetraError {
public:
    using HalvetraError::HalvetraError;
};

struct OptimalGains {
    double Kp = 0.0;
    double Ki = 0.0;
    double Kd = 0.0;
    double Ms = 0.0;  // by LoopMaxSensitivity, at most the target
};

// The optimum of one controller type (ControllerType) for the process of
// `loop` (Ts, the process models and their types, Cascade and KpInner; its
// controller type and gains are ignored). maxNoiseGain bounds |C(e^(j pi))| (infinity: no bound). Throws
// FloatingPointError "Floating point division by zero" when Ts is not above 0
// or K1 = 0, OptimalTuningError when no controller meets the target. The
// gains are always finite.
OptimalGains OptimiseController(const LoopDescription& loop, int type, double msTarget,
                                double maxNoiseGain = std::numeric_limits<double>::infinity());

// The gains of all four controllers of a single loop on the process (either
// type) at sampling time Ts; the PID's noise gain bounded by the PI's. An
// integrating process has no I controller (KiI 0).
TuningResult TuneOptimalLoop(double msTarget, double Ts, const ModelParameters& process);

// The cascade: the inner P gain of SIMC (which needs L1 != 0) and the outer I,
// P and PI controllers; the outer PID is the PI, and an integrating outer
// process has no I controller.
CascadeTuning TuneOptimalCascade(double msTarget, double Ts, const ModelParameters& inner,
                                 const ModelParameters& outer);

}  // namespace halvetra
