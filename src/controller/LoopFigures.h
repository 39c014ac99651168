#pragma once
// Robustness and performance figures of the closed loops of the Controller
// page: maximum sensitivity, gain and phase margins, stability and the
// integrated absolute errors, for the discrete loops exactly as SimulateLoop
// and SimulateCascade run them.
//
// The open-loop transfer function L(z), z^-1 = one closed-loop sample Ts, of
// the error R - y to the measurement y the controller sees:
//   controller  C(z) = Kp + Ki Ts / (1 - z^-1) + kd (1 - z^-1) / (1 - a2 z^-1)
//               (the terms of the controller type; kd and a2 of the filtered
//               derivative as in the simulation's controller law)
//   single loop L = C K (1 - a1) z^-(d + 2) / (1 - a1 z^-1)
//               (process lag a1 = exp(-Ts / T), d = Round(L / Ts) whole samples
//               of dead time, one sample from the controller output to the
//               process output array, one sample of measurement lag)
//   cascade     L = C z^-(d2 + 2) K2 (1 - a3) / (1 - a3 z^-1) * T1(z), with the
//               inner loop closed by its P controller:
//               T1 = Kc G1 / (1 + Kc z^-1 G1), G1 = K1 (1 - a1) z^-(d1 + 1) / (1 - a1 z^-1)
//   integrating process: its process term (K (1 - a1) / (1 - a1 z^-1) of
//               the single loop, G1, or the outer K2 (1 - a3) / (1 - a3 z^-1))
//               gains the integrator Ts / (1 - z^-1), a pole at z = 1
#include <array>
#include <complex>
#include <optional>
#include <string>

#include "controller/ControllerCalculation.h"
#include "model/ModelParameters.h"

namespace halvetra {

// One loop: the controller type with its gains as the simulation uses them
// (already times the robustness factor), the sampling time and the process.
struct LoopDescription {
    int Type = TypePI;  // ControllerType
    double Kp = 0.0;
    double Ki = 0.0;
    double Kd = 0.0;
    double Ts = 1.0;
    bool Cascade = false;
    double KpInner = 0.0;  // the cascade's inner P gain
    double K1 = 0.0;       // the (inner) process
    double T1 = 0.0;
    double L1 = 0.0;
    double K2 = 0.0;  // the cascade's outer process
    double T2 = 0.0;
    double L2 = 0.0;
    ProcessType Process1 = ProcessType::SelfRegulating;  // the (inner) process
    ProcessType Process2 = ProcessType::SelfRegulating;  // the cascade's outer process
};

// The figures of one loop. A figure that does not exist (a margin without a
// crossing, the figures of an unstable loop, the IAE of a P controller or of a
// loop that does not settle within the simulation's reach) is empty.
struct LoopFigures {
    bool Stable = false;
    std::optional<double> Ms;              // max over 0 < w <= pi / Ts of 1 / |1 + L|
    std::optional<double> Mt;              // max of |L / (1 + L)|
    std::optional<double> GainMargin;      // the smallest 1 / |L| at the -180 degree crossings
    std::optional<double> PhaseMarginDeg;  // the smallest 180 + arg L at |L| = 1, in (-180, 180]
    std::optional<double> IaeSetpoint;     // sum |1 - y| Ts after a unit set-point step (I, PI, PID)
    std::optional<double> IaeDisturbance;  // sum |y| Ts after a load step of 1 / K1 (I, PI, PID)
};

// L(e^(j theta)) with theta = w Ts in (0, pi].
std::complex<double> LoopFrequencyResponse(const LoopDescription& loop, double theta);

// Whether every root of the closed loop's characteristic polynomial lies
// inside the unit circle.
bool LoopIsStable(const LoopDescription& loop);

// The maximum sensitivity alone, exactly as ComputeLoopFigures finds it
// (empty for an unstable loop); the same errors.
std::optional<double> LoopMaxSensitivity(const LoopDescription& loop);

// Every figure of one loop. Throws FloatingPointError "Floating point division
// by zero" when Ts is not above 0 or K1 = 0.
LoopFigures ComputeLoopFigures(const LoopDescription& loop);

// The figures of the four controllers of a calculation, indexed by
// ControllerType (I, PI, PID, P), with the gains as shown (tuned gains times
// the factor) and the cascade's inner gain as tuned; empty for a controller
// whose gains are all zero.
using ControllerFigures = std::array<std::optional<LoopFigures>, 4>;
ControllerFigures ComputeControllerFigures(const ControllerTuning& tuning, double Ts, const ModelParameters& inner,
                                           const ModelParameters& outer);

}  // namespace halvetra

namespace halvetra {

// The columns of a figures table: Ms, gain margin, phase margin [degrees],
// IAE set point, IAE disturbance.
inline constexpr int FigureColumns = 5;
using LoopFigureTexts = std::array<std::string, FigureColumns>;

// The texts of one controller's figures as tables show them: Ms and the gain
// margin with 2 decimals, the phase margin with 1, the IAEs with 3; "—" for a
// figure that does not exist, every cell "—" without figures, and "unstable"
// in the Ms cell (the others "—") for a loop that is not stable.
LoopFigureTexts FormatLoopFigures(const std::optional<LoopFigures>& figures, char decimalSeparator);

// The figures table of a report: rows I, P, PI, PID, each as
// FormatLoopFigures gives it; every text empty when no controller has figures.
using FigureTableTexts = std::array<LoopFigureTexts, 4>;
FigureTableTexts FormatFigureTable(const ControllerFigures& figures, char decimalSeparator);

// The band of a maximum sensitivity: below 1.4 robust, up to 2 normal,
// above 2 aggressive.
enum class RobustnessBand { Robust, Normal, Aggressive };
RobustnessBand BandOfMs(double ms);

}  // namespace halvetra
