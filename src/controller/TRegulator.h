#pragma once
// Controller design from process models (first-order-plus-dead-time, or
// integrating: integrator, optional lag and dead time): the
// tuning rules (single loop and cascade), the discrete closed-loop
// simulations, and the controller settings file. Plain functions of plain
// values; the Controller page, the command-line companion and the automatic
// chain all call them.
#include <array>
#include <span>
#include <string>
#include <vector>

#include "model/ModelParameters.h"

namespace halvetra {

// The gains of the parallel controller Kp + Ki/s + Kd s for each controller
// type, as tuned (before the robustness factor).
struct TuningResult {
    double KiI = 0.0;   // I controller
    double KpP = 0.0;   // P controller
    double KpPI = 0.0;  // PI controller
    double KiPI = 0.0;
    double KpPID = 0.0;  // PID controller
    double KiPID = 0.0;
    double KdPID = 0.0;

    bool operator==(const TuningResult&) const = default;
};

// A cascade: the inner loop's P controller and the outer controller.
struct CascadeTuning {
    double KpInner = 0.0;
    TuningResult Outer;
};

// Characteristic areas A0 .. A5 of a model.
using Areas = std::array<double, 6>;

// The upper bound of the loop gain Kp A0 in the MOMI rules; every caller passes it.
inline constexpr double MaxLoopGain = 10.0;

// Tuning methods (item indices of the method list); any other index tunes nothing.
enum TuningMethod {
    MomiTracking = 0,
    MomiControl = 1,
    ChrTracking = 2,
    ChrControl = 3,
    BalanceMethod = 4,
    ZieglerNichols = 5,
    NoMethod = 6,
    Simc = 7,   // SIMC (Skogestad), tauc = L; PID the improved SIMC
    Amigo = 8,  // AMIGO (Astrom and Hagglund)
    // The least load-disturbance IAE with Ms <= 1.2 + 0.04 p (OptimalRule.h).
    // It needs the closed-loop sampling time, so TuneController tunes it;
    // TuneLoop and TuneCascade leave its gains at 0.
    OptimalMs = 9,
};

// The number of entries of the method list (0 .. 9).
inline constexpr int TuningMethodCount = 10;

// The method list's item text of a method ("SIMC", ...); " " for NoMethod and
// an empty text outside the list.
const char* TuningMethodName(int method);

// Whether a method tunes a process of the given type: every method a
// self-regulating one; SIMC, AMIGO, the optimal rule (and "none", which tunes
// nothing) an integrating one.
bool TuningMethodApplies(int method, ProcessType type);
// "The rule %s does not apply to integrating processes; choose SIMC or
// AMIGO" with the method's name: the tooltip of a disabled method and the
// text of the refusal.
std::string TuningMethodRefusal(int method);

// Controller types of the simulations.
enum ControllerType { TypeI = 0, TypePI = 1, TypePID = 2, TypeP = 3 };

// The settings of the Controller page that the controller file keeps besides
// the two models. Texts are kept as the user typed them.
struct ControllerSettings {
    std::string SamplingTimeText = "1";
    int Method = 0;
    int ResponseType = 0;     // 0 reference tracking, 1 disturbance rejection
    int Form = -1;            // controller form; -1 when none is selected
    int ControllerType = 2;   // 0 P, 1 I, 2 PI, 3 PID
    int RobustPosition = 10;  // 0 .. 20
    std::string ScaleP = "1";
    std::string ScaleI = "1";
    std::string ScaleD = "1";
    bool Cascade = false;

    bool operator==(const ControllerSettings&) const = default;
};

class TRegulator {
public:
    // --- Tuning rules ---
    static Areas ComputeAreas(double K, double T, double L);
    static double MomiI(double A1);
    static double MomiP(double A0, double A1, double A2, double X);
    static void MomiPITracking(const Areas& A, double X, double& Kp, double& Ki);
    static void MomiPIDTracking(const Areas& A, double X, double& Kp, double& Ki, double& Kd);
    static void MomiPIControl(const Areas& A, double X, double& Kp, double& Ki);
    // Throws FloatingPointError "Invalid floating point operation" when the
    // square root of its control rule has a negative argument.
    static void MomiPIDControl(const Areas& A, double X, double& Kp, double& Ki, double& Kd);
    static TuningResult TuneLoop(int method, double K, double T, double L, double X);
    static CascadeTuning TuneCascade(int method, double K1, double T1, double L1, double K2, double T2, double L2,
                                     double X);
    static Areas InnerLoopAreas(double k, const Areas& A);
    // The same for models of either process type: self-regulating ones go to
    // the rules above unchanged. For an integrating process (gain K per
    // second, lag T, dead time L) SIMC gives, with tauc = L,
    //   Kc = 1 / (K (tauc + L)), Ti = 4 (tauc + L), Td = T:
    //   PI Kp = Kc, Ki = Kc / Ti; PID Kp = Kc (1 + Td / Ti), Ki = Kc / Ti,
    //   Kd = Kc Td (the series form in the parallel one); P Kp = Kc;
    // AMIGO, with the lag counted as dead time (L' = L + T),
    //   PI Kp = 0.35 / (K L'), Ti = 13.4 L'; PID Kp = 0.45 / (K L'),
    //   Ti = 8 L', Td = 0.5 L'; no P and no I controller.
    // Any other rule throws HalvetraError TuningMethodRefusal(method). A
    // cascade with an integrating process tunes its inner P controller by
    // SIMC divided by the tracking factor, as the self-regulating cascade
    // does, and its outer PI on the closed inner loop (gain C0, mean time
    // C1 / C0) in series with the outer process: an integrating outer one as
    // an integrating model with the dead time L2 + C1 / C0, a self-regulating
    // one through the equivalent model of the series areas.
    static TuningResult TuneLoop(int method, const ModelParameters& process, double X);
    static CascadeTuning TuneCascade(int method, const ModelParameters& inner, const ModelParameters& outer, double X);
    static Areas SeriesAreas(const Areas& C, const Areas& B);

    // --- Closed-loop simulations ---
    // Samples 0 .. n - 1 of the controlled output for controller type `type`
    // (ControllerType). Y must hold at least LoopArraySize(n, L, Ts) values;
    // the output of step i is written at index delay + i + 1, so Y is written
    // beyond n - 1 as well. A negative dead time counts as 0 samples. An
    // integrating process integrates its lag's output (w += Ts x, y = K w).
    static void SimulateLoop(int type, int n, std::span<double> Y, double Kp, double Ki, double Kd, double R, double D,
                             double Ts, double K, double T, double L,
                             ProcessType process = ProcessType::SelfRegulating);
    static void SimulateCascade(int type, int n, std::span<double> Y2, std::span<double> Y1, double Kp, double Ki,
                                double Kd, double KpInner, double R, double D, double Ts, double K1, double T1,
                                double L1, double K2, double T2, double L2,
                                ProcessType innerProcess = ProcessType::SelfRegulating,
                                ProcessType outerProcess = ProcessType::SelfRegulating);

    // --- Controller settings file ---
    // A model figure that is not finite throws FloatingPointError before the
    // file is touched.
    static void SaveControllerFile(const std::string& fileName, const ModelParameters& inner,
                                   const ModelParameters& outer, const ControllerSettings& settings,
                                   char decimalSeparator);
    // Replaces gain, time constant, dead time, relative error and process
    // type of both models and returns the settings. An integrating model's
    // gain line carries the marker "integrating " (version line V1.1); a
    // file of self-regulating models is the same as ever. A file that cannot be read whole
    // changes nothing.
    static ControllerSettings LoadControllerFile(const std::string& fileName, ModelParameters& inner,
                                                 ModelParameters& outer, char decimalSeparator);
    // The same for the lines of a controller file already read.
    static ControllerSettings LoadControllerLines(const std::vector<std::string>& lines, ModelParameters& inner,
                                                  ModelParameters& outer, char decimalSeparator);
};

// f = 0.0284605 p sqrt(p) + 0.1 for the robustness slider's position p
// (held to the slider's range 0 .. 20).
double RobustnessFactor(int position);

// The recommended sampling time for the PI controller of the model (K, T):
// the single loop's inner model, or the cascade's outer model.
double RecommendedSamplingTime(double KpPI, double KiPI, double f, double K, double T);

// The room a simulation with n steps needs for a process dead time L at
// sampling time Ts: delay + n + 1 samples, at least n.
int LoopArraySize(int n, double L, double Ts);

}  // namespace halvetra
