// Tuning rules: from a first-order-plus-dead-time model K e^(-L s) / (T s + 1)
// to the gains of the parallel controller Kp + Ki/s + Kd s for the I, P, PI
// and PID controllers, single loop and cascade.
//
// The MOMI rules (magnitude optimum, multiple integration) work on the
// characteristic areas A0 .. A5 of the model; the step-response rules
// (Chien-Hrones-Reswick, balance, Ziegler-Nichols) on K, T and L directly.
// Every formula keeps its order of operations, so results are reproducible to
// the last digit; every divisor that can be zero goes through SafeDivide.
#include <algorithm>
#include <cmath>
#include <string>

#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/GlobalProcedures.h"

namespace halvetra {
namespace {

// Guarded division; the fallback is 0 unless given.
double S(double numerator, double denominator, double fallback = 0.0) {
    return SafeDivide(numerator, denominator, fallback);
}

// The stand-in for an unbounded gain or integral gain.
constexpr double LargeValue = 10000.0;

// LargeValue with the sign of the value it stands for. A reverse-acting
// process (negative gain) must get reverse-acting gains even where a guard
// replaces a division by zero, otherwise its loop would have positive feedback.
double SignedLarge(double signOf) { return signOf < 0.0 ? -LargeValue : LargeValue; }

// Factor of MOMI tracking and of the cascade's MOMI tracking outer loop.
constexpr double TrackingFactor = 0.85;

// Fixed loop gain Kp K of the MOMI rules for a small dead time (L/T < 0.1).
constexpr double SmallDeadTimeLoopGain = 5.05;
constexpr double SmallDeadTimeRatio = 0.1;

// The loop gain Kp A0 stays within [0, X]; a larger, negative or undefined
// one becomes X.
double ClampLoopGain(double Kp, double A0, double X) {
    const double g = Kp * A0;
    if (g > X || !(g >= 0.0)) {
        return S(X, A0);
    }
    return Kp;
}

// The integral gain of MOMI disturbance rejection for a fixed Kp:
// (1 + Kp A0)^2 / (2 A1), as used with the small-dead-time gain.
double SmallDeadTimeControlKi(double Kp, double A0, double A1) {
    const double p = Kp * A0 + 1.0;
    const double q = S(2.0 * Kp * A1, p * p);
    return S(Kp, q);
}

// Step-response rules (methods 2 .. 5) for the single loop.
TuningResult TuneStepResponse(int method, double K, double T, double L) {
    const double R = S(T, L * K, SignedLarge(K));
    TuningResult r;
    switch (method) {
    case ChrTracking:
        r.KpPID = 0.6 * R;
        r.KiPID = S(r.KpPID, T);
        r.KdPID = r.KpPID * 0.5 * L;
        r.KpPI = 0.35 * R;
        r.KiPI = S(r.KpPI, 1.2 * T);
        r.KpP = r.KpPI;
        break;
    case ChrControl:
        r.KpPID = 0.95 * R;
        r.KiPID = S(r.KpPID, 2.4 * L);
        r.KdPID = 0.42 * r.KpPID * L;
        r.KpPI = 0.6 * R;
        r.KiPI = S(r.KpPI, 4.0 * L);
        r.KpP = r.KpPI;
        break;
    case BalanceMethod: {
        const double q = S(T, L + T, LargeValue);
        const double N = (q * q + 1.0) * 0.5;
        r.KpPI = S(N, K, LargeValue);
        r.KiPI = S(r.KpPI, (L + T) * N);
        r.KpP = r.KpPI;
        break;
    }
    case ZieglerNichols:
        r.KpPID = 1.2 * R;
        r.KiPID = S(r.KpPID, 2.0 * L);
        r.KdPID = r.KpPID * 0.5 * L;
        r.KpPI = 0.9 * R;
        r.KiPI = S(r.KpPI, 3.0 * L, SignedLarge(r.KpPI));
        r.KpP = R;
        break;
    default: return r;
    }
    r.KiI = r.KiPI;
    return r;
}

// The reference rules (methods 7 and 8) on K, T and L. Neither defines an I
// controller, AMIGO no P controller: those gains stay 0. A zero gain or dead
// time has no tuning under either rule and is refused.
TuningResult TuneReference(int method, double K, double T, double L) {
    if (K == 0.0 || L == 0.0) {
        throw FloatingPointError("Floating point division by zero");
    }
    TuningResult r;
    if (method == Simc) {
        // SIMC with tauc = L; the PID is its series form with Td = L / 3
        // converted to the parallel form.
        const double tauc = L;
        const double Kc = T / (K * (tauc + L));
        const double Ti = std::min(T, 4.0 * (tauc + L));
        const double Td = L / 3.0;
        r.KpPI = Kc;
        r.KiPI = Kc / Ti;
        r.KpPID = Kc * (1.0 + Td / Ti);
        r.KiPID = Kc / Ti;
        r.KdPID = Kc * Td;
        r.KpP = Kc;
    } else if (method == Amigo) {
        const double LT = L + T;
        const double KpPI = (0.15 + (0.35 - L * T / (LT * LT)) * T / L) / K;
        const double TiPI = 0.35 * L + 13.0 * L * T * T / (T * T + 12.0 * L * T + 7.0 * L * L);
        r.KpPI = KpPI;
        r.KiPI = KpPI / TiPI;
        const double KpPID = (0.2 + 0.45 * T / L) / K;
        const double TiPID = L * (0.4 * L + 0.8 * T) / (L + 0.1 * T);
        const double TdPID = 0.5 * L * T / (0.3 * L + T);
        r.KpPID = KpPID;
        r.KiPID = KpPID / TiPID;
        r.KdPID = KpPID * TdPID;
    }
    return r;
}

// The outer PI controller of a cascade for the equivalent model (Ke, Te, Le)
// with areas D; KpPID, KiPID and KdPID are left for the caller.
TuningResult TuneOuter(int method, const Areas& D, double Ke, double Te, double Le, double X) {
    TuningResult r;
    const bool smallDeadTime = S(Le, Te, 1000.0) < SmallDeadTimeRatio;
    const double R = S(Te, Le * Ke, SignedLarge(Ke));
    switch (method) {
    case Simc:
    case Amigo: {
        // The reference rules on the equivalent model, PI only as the others.
        const TuningResult g = TuneReference(method, Ke, Te, Le);
        r.KpPI = g.KpPI;
        r.KiPI = g.KiPI;
        r.KpP = g.KpP;
        break;
    }
    case MomiTracking:
        if (smallDeadTime) {
            r.KpPI = S(SmallDeadTimeLoopGain, D[0]);
            r.KiPI = S(r.KpPI * D[0] + 0.5, D[1]);
            r.KiI = S(0.5, D[1]);
            r.KpP = r.KpPI;
        } else {
            TRegulator::MomiPITracking(D, X, r.KpPI, r.KiPI);
            r.KpPI *= TrackingFactor;
            r.KiPI *= TrackingFactor;
            r.KiI = TRegulator::MomiI(D[1]) * TrackingFactor;
            r.KpP = TRegulator::MomiP(D[0], D[1], D[2], X) * TrackingFactor;
        }
        break;
    case MomiControl:
        if (smallDeadTime) {
            r.KpPI = S(SmallDeadTimeLoopGain, D[0]);
            r.KiPI = SmallDeadTimeControlKi(r.KpPI, D[0], D[1]);
            r.KiI = S(0.5, D[1]);
            r.KpP = r.KpPI;
        } else {
            TRegulator::MomiPIControl(D, X, r.KpPI, r.KiPI);
            r.KiI = TRegulator::MomiI(D[1]);
            r.KpP = TRegulator::MomiP(D[0], D[1], D[2], X);
        }
        break;
    case ChrTracking:
        r.KpPI = 0.35 * R;
        r.KiPI = S(r.KpPI, 1.2 * Te);
        break;
    case ChrControl:
        r.KpPI = 0.6 * R;
        r.KiPI = S(r.KpPI, 4.0 * Le);
        break;
    case BalanceMethod: {
        const double q = S(Te, Le + Te, LargeValue);
        const double N = (q * q + 1.0) * 0.5;
        r.KpPI = S(N, Ke, LargeValue);
        r.KiPI = S(r.KpPI, (Le + Te) * N);
        break;
    }
    case ZieglerNichols:
        r.KpPI = 0.9 * R;
        r.KiPI = S(r.KpPI, 3.0 * Le, SignedLarge(r.KpPI));
        r.KpP = R;
        break;
    default: break;
    }
    return r;
}

// Equivalent first-order-plus-dead-time model (Ke, Te, Le) of the areas D
// of the closed inner loop in series with the outer process, from its first
// three areas.
void EquivalentModel(const Areas& D, double& Ke, double& Te, double& Le) {
    Ke = D[0];
    const double D1overD0 = S(D[1], D[0], 1e10);
    double re1 = 0.0;
    double re2 = 0.0;
    double im1 = 0.0;
    double im2 = 0.0;
    QuadraticRoots(0.5 * D[0], -D[1], S(D[1] * D[1], D[0], 1e10) - D[2], re1, re2, im1, im2);
    Le = 0.0;
    if (im1 != 0.0) {
        Le = 0.0;
    } else if (re1 < 0.0) {
        Le = re2;
    } else if (re2 < 0.0) {
        Le = re1;
    } else {
        Le = std::min(re1, re2);
    }
    Te = D1overD0 - Le;
}

// Areas of the inner loop closed by the P controller k around the
// integrating process K e^(-L s) / (s (T s + 1)): C = 1 / (1 + P) with
// P(s) = q s (1 + T s) e^(L s), q = 1 / (k K), expanded as a power series
// (C = c0 + c1 s + ..., areas (-1)^j c_j). Its static gain is 1.
Areas IntegratingInnerLoopAreas(double k, double K, double T, double L) {
    const double q = S(1.0, k * K, 1e10);
    std::array<double, 6> p{};  // p[m]: the s^m coefficient of P
    double power = 1.0;         // L^(m-1) / (m-1)!
    double previous = 0.0;      // L^(m-2) / (m-2)!
    for (std::size_t m = 1; m < p.size(); ++m) {
        p[m] = q * (power + T * previous);
        previous = power;
        power = power * L / static_cast<double>(m);
    }
    std::array<double, 6> c{};
    c[0] = 1.0;
    for (std::size_t j = 1; j < c.size(); ++j) {
        double sum = 0.0;
        for (std::size_t m = 1; m <= j; ++m) {
            sum += p[m] * c[j - m];
        }
        c[j] = -sum;
    }
    Areas C{};
    for (std::size_t j = 0; j < C.size(); ++j) {
        C[j] = j % 2 == 0 ? c[j] : -c[j];
    }
    return C;
}

// SIMC and AMIGO for the integrating process K e^(-L s) / (s (T s + 1)).
// A zero gain or dead time has no tuning under either rule and is refused.
TuningResult TuneIntegratingReference(int method, double K, double T, double L) {
    if (K == 0.0 || L == 0.0) {
        throw FloatingPointError("Floating point division by zero");
    }
    TuningResult r;
    if (method == Simc) {
        // tauc = L; the PID is the series form with Td = T (the lag)
        // converted to the parallel form.
        const double tauc = L;
        const double Kc = 1.0 / (K * (tauc + L));
        const double Ti = 4.0 * (tauc + L);
        const double Td = T;
        r.KpPI = Kc;
        r.KiPI = Kc / Ti;
        r.KpPID = Kc * (1.0 + Td / Ti);
        r.KiPID = Kc / Ti;
        r.KdPID = Kc * Td;
        r.KpP = Kc;
    } else if (method == Amigo) {
        // The AMIGO rules' limits for an integrator with dead time, the lag
        // counted as dead time: PI Kp = 0.35 / (K L), Ti = 13.4 L;
        // PID Kp = 0.45 / (K L), Ti = 8 L, Td = 0.5 L.
        const double Lt = L + T;
        const double KpPI = 0.35 / (K * Lt);
        r.KpPI = KpPI;
        r.KiPI = KpPI / (13.4 * Lt);
        const double KpPID = 0.45 / (K * Lt);
        r.KpPID = KpPID;
        r.KiPID = KpPID / (8.0 * Lt);
        r.KdPID = KpPID * 0.5 * Lt;
    }
    return r;
}

}  // namespace

Areas TRegulator::ComputeAreas(double K, double T, double L) {
    const double c2 = L * L * 0.5;
    const double c3 = c2 * L * 0.33333333;
    const double c4 = c3 * L * 0.25;
    const double c5 = c4 * L * 0.2;
    Areas A{};
    A[0] = K;
    A[1] = K * (T + L);
    A[2] = T * A[1] + K * c2;
    A[3] = T * A[2] + K * c3;
    A[4] = T * A[3] + K * c4;
    A[5] = T * A[4] + K * c5;
    return A;
}

double TRegulator::MomiI(double A1) { return S(0.5, A1); }

double TRegulator::MomiP(double A0, double A1, double A2, double X) {
    const double Kp = S(2.0 * A0 * A2 - A1 * A1, 2.0 * A0 * (A1 * A1 - A0 * A2));
    return ClampLoopGain(Kp, A0, X);
}

void TRegulator::MomiPITracking(const Areas& A, double X, double& Kp, double& Ki) {
    if (A[3] == 0.0) {
        Kp = 0.0;
    } else {
        const double d = 2.0 * (A[1] * A[2] - A[0] * A[3]);
        if (d == 0.0) {
            Kp = (A[0] == 0.0) ? X : S(X, A[0]);
        } else {
            Kp = S(A[3], d);
        }
    }
    Kp = ClampLoopGain(Kp, A[0], X);
    Ki = S(Kp * A[0] + 0.5, A[1]);
}

void TRegulator::MomiPIDTracking(const Areas& A, double X, double& Kp, double& Ki, double& Kd) {
    const double n = A[3] * A[3] - A[1] * A[5];
    const double d = 2.0 * (A[1] * A[2] * A[3] + A[0] * A[1] * A[5] - A[1] * A[1] * A[4] - A[0] * (A[3] * A[3]));
    if (n == 0.0) {
        Kp = 0.0;
    } else if (d == 0.0) {
        Kp = (A[0] == 0.0) ? X : S(X, A[0]);
    } else {
        Kp = S(n, d);
    }
    Kp = ClampLoopGain(Kp, A[0], X);

    Kd = (A[1] != 0.0) ? S(2.0 * Kp * (A[1] * A[2] - A[0] * A[3]) - A[3], 2.0 * (A[1] * A[1])) : 0.0;
    if (!(Kd * A[0] >= 0.0)) {
        Kd = 0.0;
    }

    if (Kd == 0.0) {
        // A derivative gain of the wrong sign (or none) leaves the PI controller.
        MomiPITracking(A, X, Kp, Ki);
        Kd = 0.0;
    } else {
        Ki = S(2.0 * Kp * A[0] + 1.0, 2.0 * A[1]);
    }
}

void TRegulator::MomiPIControl(const Areas& A, double X, double& Kp, double& Ki) {
    double trackingKi = 0.0;
    MomiPITracking(A, X, Kp, trackingKi);
    Ki = S((Kp * A[0] + 1.0) * 0.5 * (Kp * A[0] + 1.0), A[1]);
}

void TRegulator::MomiPIDControl(const Areas& A, double X, double& Kp, double& Ki, double& Kd) {
    double trackingKp = 0.0;
    double trackingKi = 0.0;
    MomiPIDTracking(A, X, trackingKp, trackingKi, Kd);

    const double A0 = A[0];
    const double A1 = A[1];
    const double A2 = A[2];
    const double A3 = A[3];
    const double A0sq = A0 * A0;
    const double A1sq = A1 * A1;
    const double a = 2.0 * A0sq * A3 + 2.0 * (A1sq * A1) - 4.0 * A0 * A1 * A2;
    const double b = 4.0 * A0 * A3 - 4.0 * A0 * A1sq * Kd - 4.0 * A1 * A2 + 4.0 * A0sq * A2 * Kd;
    const double c = 4.0 * A0 * A2 * Kd + 2.0 * A3 + 2.0 * A1sq * Kd + 6.0 * A0sq * A1 * (Kd * Kd) +
                     2.0 * (A0sq * A0 * A0) * (Kd * Kd * Kd);

    if (a == 0.0) {
        Kp = S(-c, b);
    } else {
        const double discriminant = b * b - 4.0 * a * c;
        if (discriminant < 0.0) {
            throw FloatingPointError("Invalid floating point operation");
        }
        Kp = S((-b - std::sqrt(discriminant)) * 0.5, a);
    }
    Kp = ClampLoopGain(Kp, A0, X);
    Ki = S((2.0 * A0 * Kp + 1.0 + A0sq * (Kp * Kp)) * 0.5, A0sq * Kd + A1);
}

TuningResult TRegulator::TuneLoop(int method, double K, double T, double L, double X) {
    if (method == Simc || method == Amigo) {
        return TuneReference(method, K, T, L);
    }
    if (method != MomiTracking && method != MomiControl) {
        return TuneStepResponse(method, K, T, L);
    }

    const Areas A = ComputeAreas(K, T, L);
    TuningResult r;
    if (S(L, T, 1000.0) < SmallDeadTimeRatio) {
        // A fixed loop gain: the MOMI formulas ask for ever larger gains as
        // the dead time vanishes.
        r.KiI = S(0.5, A[1]);
        r.KpPI = S(SmallDeadTimeLoopGain, K);
        r.KiPI = (method == MomiTracking) ? S(r.KpPI * K + 0.5, A[1]) : SmallDeadTimeControlKi(r.KpPI, A[0], A[1]);
        r.KpP = r.KpPI;
        r.KpPID = r.KpPI;
        r.KiPID = r.KiPI;
        r.KdPID = 0.0;
        return r;
    }

    if (method == MomiTracking) {
        MomiPIDTracking(A, X, r.KpPID, r.KiPID, r.KdPID);
        MomiPITracking(A, X, r.KpPI, r.KiPI);
        r.KiI = MomiI(A[1]);
        r.KpP = MomiP(A[0], A[1], A[2], X);
        for (double* v : {&r.KiI, &r.KpP, &r.KpPI, &r.KiPI, &r.KpPID, &r.KiPID, &r.KdPID}) {
            *v *= TrackingFactor;
        }
    } else {
        MomiPIDControl(A, X, r.KpPID, r.KiPID, r.KdPID);
        MomiPIControl(A, X, r.KpPI, r.KiPI);
        r.KiI = MomiI(A[1]);
        r.KpP = MomiP(A[0], A[1], A[2], X);
    }
    return r;
}

CascadeTuning TRegulator::TuneCascade(int method, double K1, double T1, double L1, double K2, double T2, double L2,
                                      double X) {
    const Areas A = ComputeAreas(K1, T1, L1);
    const Areas B = ComputeAreas(K2, T2, L2);

    CascadeTuning result;
    // The inner P controller: the single loop's P gain divided by the
    // tracking factor (which cancels it in MOMI tracking's general case and
    // raises every other rule's P gain by the same ratio).
    // AMIGO has no P controller: its inner loop takes SIMC's.
    result.KpInner = TuneLoop(method == Amigo ? Simc : method, K1, T1, L1, X).KpP / TrackingFactor;

    const Areas D = SeriesAreas(InnerLoopAreas(result.KpInner, A), B);
    double Ke = 0.0;
    double Te = 0.0;
    double Le = 0.0;
    EquivalentModel(D, Ke, Te, Le);

    // The outer "PID" of a cascade is its PI.
    TuningResult& outer = result.Outer;
    outer = TuneOuter(method, D, Ke, Te, Le, X);
    outer.KpPID = outer.KpPI;
    outer.KiPID = outer.KiPI;
    outer.KdPID = 0.0;
    return result;
}

Areas TRegulator::InnerLoopAreas(double k, const Areas& A) {
    const double o = S(1.0, 1.0 + k * A[0], 1.0);
    Areas C{};
    double power = 1.0;  // o^(j+1) after the update below
    for (std::size_t j = 0; j < C.size(); ++j) {
        power = (j == 0) ? o : power * o;
        C[j] = k * A[j] * power;
    }
    return C;
}

Areas TRegulator::SeriesAreas(const Areas& C, const Areas& B) {
    Areas D{};
    for (std::size_t k = 0; k < D.size(); ++k) {
        double sum = 0.0;
        for (std::size_t i = 0; i <= k; ++i) {
            sum += C[i] * B[k - i];
        }
        D[k] = sum;
    }
    return D;
}

bool TuningMethodApplies(int method, ProcessType type) {
    return type == ProcessType::SelfRegulating || method == Simc || method == Amigo || method == OptimalMs ||
           method == NoMethod;
}

std::string TuningMethodRefusal(int method) {
    return std::string("The rule ") + TuningMethodName(method) +
           " does not apply to integrating processes; choose SIMC, AMIGO or the optimal rule";
}

TuningResult TRegulator::TuneLoop(int method, const ModelParameters& process, double X) {
    if (process.Type == ProcessType::SelfRegulating) {
        return TuneLoop(method, process.Gain, process.TimeConstant, process.DeadTime, X);
    }
    if (!TuningMethodApplies(method, process.Type)) {
        throw HalvetraError(TuningMethodRefusal(method));
    }
    if (method != Simc && method != Amigo) {
        return {};
    }
    return TuneIntegratingReference(method, process.Gain, process.TimeConstant, process.DeadTime);
}

CascadeTuning TRegulator::TuneCascade(int method, const ModelParameters& inner, const ModelParameters& outer,
                                      double X) {
    if (inner.Type == ProcessType::SelfRegulating && outer.Type == ProcessType::SelfRegulating) {
        return TuneCascade(method, inner.Gain, inner.TimeConstant, inner.DeadTime, outer.Gain, outer.TimeConstant,
                           outer.DeadTime, X);
    }
    if (!TuningMethodApplies(method, ProcessType::Integrating)) {
        throw HalvetraError(TuningMethodRefusal(method));
    }
    CascadeTuning result;
    if (method != Simc && method != Amigo) {
        return result;
    }
    // The inner P controller as for self-regulating processes; the closed
    // inner loop's areas C.
    result.KpInner = TuneLoop(Simc, inner, X).KpP / TrackingFactor;
    const Areas C = inner.Type == ProcessType::Integrating
                        ? IntegratingInnerLoopAreas(result.KpInner, inner.Gain, inner.TimeConstant, inner.DeadTime)
                        : InnerLoopAreas(result.KpInner, ComputeAreas(inner.Gain, inner.TimeConstant, inner.DeadTime));
    TuningResult& r = result.Outer;
    if (outer.Type == ProcessType::Integrating) {
        // The closed inner loop as gain C0 and its mean residence time
        // C1 / C0 added to the outer dead time.
        const double Ke = outer.Gain * C[0];
        const double Le = outer.DeadTime + S(C[1], C[0]);
        r = TuneIntegratingReference(method, Ke, outer.TimeConstant, Le);
    } else {
        const Areas D = SeriesAreas(C, ComputeAreas(outer.Gain, outer.TimeConstant, outer.DeadTime));
        double Ke = 0.0;
        double Te = 0.0;
        double Le = 0.0;
        EquivalentModel(D, Ke, Te, Le);
        r = TuneOuter(method, D, Ke, Te, Le, X);
    }
    // The outer "PID" of a cascade is its PI.
    r.KpPID = r.KpPI;
    r.KiPID = r.KiPI;
    r.KdPID = 0.0;
    return result;
}

const char* TuningMethodName(int method) {
    static constexpr const char* Names[TuningMethodCount] = {
        "MOMI method - tracking",
        "MOMI method - control",
        "Chien-Hrones-Reswick - tracking",
        "Chien-Hrones-Reswick - control",
        "Balance method",
        "Ziegler-Nichols - control",
        " ",  // no rule
        "SIMC",
        "AMIGO",
        "Optimal (Ms-constrained)",
    };
    return method >= 0 && method < TuningMethodCount ? Names[method] : "";
}

double RobustnessFactor(int position) {
    // The slider's range is 0 .. 20; a position from elsewhere (a settings
    // file) is held to it, so the factor is always a number.
    const double p = static_cast<double>(std::clamp(position, 0, 20));
    return 0.0284605 * p * std::sqrt(p) + 0.1;
}

double RecommendedSamplingTime(double KpPI, double KiPI, double f, double K, double T) {
    const double t1 = S(T, std::fabs(KpPI * f * K), 1000.0);
    const double t2 = S(1.0, KiPI * f * K, 1000.0);
    return std::nearbyint(100.0 * std::min(t1, t2)) * 0.001;
}

}  // namespace halvetra
