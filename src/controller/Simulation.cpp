// The discrete closed-loop simulations of the Controller page: a PID-type
// controller on one first-order-plus-dead-time process, and the same
// controller as the outer loop of a cascade whose inner loop is a P controller.
// An integrating process runs the same lag and dead time and integrates the
// lag's output: w = w + Ts x, output K w.
#include <climits>
#include <cmath>
#include <cstddef>
#include <span>

#include "controller/LoopTerms.h"
#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/GlobalProcedures.h"

namespace halvetra {

namespace {

// The process dead time in samples, Round(S(L, Ts, 5000)) with ties to even;
// a negative dead time counts as 0. A delay of n samples or more leaves the
// samples 0 .. n - 1 at 0 whatever its exact length, so it is taken as n: the
// result is the same and the array room stays bounded for any dead time.
long long DelaySamples(int n, double L, double Ts) {
    const double samples = std::nearbyint(SafeDivide(L, Ts, 5000.0));
    const long long cap = n > 0 ? n : 0;
    if (!(samples > 0.0)) {
        return 0;
    }
    if (samples >= static_cast<double>(cap)) {
        return cap;
    }
    return static_cast<long long>(samples);
}

long long RoomNeeded(int n, long long delay) { return n > 0 ? delay + n + 1 : 0; }

// Refuses an output array too short for the samples the simulation writes,
// before anything is written.
void CheckRoom(std::span<const double> Y, long long needed) {
    if (static_cast<unsigned long long>(needed) > Y.size()) {
        throw ListIndexError(needed - 1);
    }
}

// The controller law shared by both simulations: proportional, integral and
// filtered derivative terms on the error, one step at a time.
class ControllerLaw {
public:
    ControllerLaw(int type, double Kp, double Ki, double Kd, double Ts) : type_(type), Kp_(Kp), Ki_(Ki), Ts_(Ts) {
        const LoopDerivative d = LoopDerivativeTerm(Kp, Kd, Ts);
        a2_ = d.a2;
        kd_ = d.kd;
    }

    // The controller output for the measurement y of the previous step.
    double Step(double R, double y) {
        const double eOld = e_;
        e_ = R - y;
        const double P = Kp_ * e_;
        I_ = I_ + Ki_ * e_ * Ts_;
        Dt_ = (e_ - eOld) * kd_ + a2_ * Dt_;
        switch (type_) {
        case TypeI: return I_;
        case TypePI: return I_ + P;
        case TypePID: return I_ + P + Dt_;
        case TypeP: return P;
        default: return 0.0;  // not a controller type: no control action
        }
    }

private:
    int type_;
    double Kp_;
    double Ki_;
    double Ts_;
    double a2_ = 0.0;
    double kd_ = 0.0;
    double e_ = 0.0;
    double I_ = 0.0;
    double Dt_ = 0.0;
};

void ZeroRoom(std::span<double> Y, long long count) {
    for (long long k = 0; k < count; ++k) {
        Y[static_cast<std::size_t>(k)] = 0.0;
    }
}

}  // namespace

int LoopArraySize(int n, double L, double Ts) {
    const long long needed = RoomNeeded(n, DelaySamples(n, L, Ts));
    if (needed > INT_MAX) {
        throw ListIndexError(needed - 1);
    }
    return static_cast<int>(needed);
}

void TRegulator::SimulateLoop(int type, int n, std::span<double> Y, double Kp, double Ki, double Kd, double R, double D,
                              double Ts, double K, double T, double L, ProcessType process) {
    if (n <= 0) {
        return;
    }
    const long long delay = DelaySamples(n, L, Ts);
    const long long needed = RoomNeeded(n, delay);
    CheckRoom(Y, needed);
    ZeroRoom(Y, needed);

    const double a1 = LoopLagPole(Ts, T);
    ControllerLaw law(type, Kp, Ki, Kd, Ts);
    double x = 0.0;  // process lag state
    double y = 0.0;  // last measurement
    if (process == ProcessType::Integrating) {
        double w = 0.0;  // the integrator's state
        for (long long i = 0; i < n; ++i) {
            const double u = law.Step(R, y);
            x = (u + D) * (1.0 - a1) + a1 * x;
            w = w + Ts * x;
            Y[static_cast<std::size_t>(delay + i + 1)] = K * w;
            y = Y[static_cast<std::size_t>(i)];
        }
        return;
    }
    for (long long i = 0; i < n; ++i) {
        const double u = law.Step(R, y);
        x = (u + D) * (1.0 - a1) + a1 * x;
        Y[static_cast<std::size_t>(delay + i + 1)] = K * x;
        y = Y[static_cast<std::size_t>(i)];
    }
}

void TRegulator::SimulateCascade(int type, int n, std::span<double> Y2, std::span<double> Y1, double Kp, double Ki,
                                 double Kd, double KpInner, double R, double D, double Ts, double K1, double T1,
                                 double L1, double K2, double T2, double L2, ProcessType innerProcess,
                                 ProcessType outerProcess) {
    if (n <= 0) {
        return;
    }
    const long long d1 = DelaySamples(n, L1, Ts);
    const long long d2 = DelaySamples(n, L2, Ts);
    CheckRoom(Y1, RoomNeeded(n, d1));
    CheckRoom(Y2, RoomNeeded(n, d2));
    ZeroRoom(Y1, RoomNeeded(n, d1));
    ZeroRoom(Y2, RoomNeeded(n, d2));

    const double a1 = LoopLagPole(Ts, T1);
    const double a3 = LoopLagPole(Ts, T2);
    ControllerLaw law(type, Kp, Ki, Kd, Ts);
    double x1 = 0.0;  // inner process lag state
    double x2 = 0.0;  // outer process lag state
    double y1 = 0.0;  // inner measurement
    double y2 = 0.0;  // outer measurement
    if (innerProcess == ProcessType::Integrating || outerProcess == ProcessType::Integrating) {
        // Either lag output feeds an integrator when its process is integrating.
        const double s1 = innerProcess == ProcessType::Integrating ? Ts : 0.0;
        const double s2 = outerProcess == ProcessType::Integrating ? Ts : 0.0;
        double w1 = 0.0;
        double w2 = 0.0;
        for (long long i = 0; i < n; ++i) {
            const auto k = static_cast<std::size_t>(i);
            const double u = law.Step(R, y2);
            const double v = KpInner * (u - y1);
            x1 = (v + D) * (1.0 - a1) + a1 * x1;
            w1 = s1 > 0.0 ? w1 + s1 * x1 : x1;
            Y1[static_cast<std::size_t>(d1 + i + 1)] = K1 * w1;
            y1 = Y1[k];
            x2 = (1.0 - a3) * y1 + a3 * x2;
            w2 = s2 > 0.0 ? w2 + s2 * x2 : x2;
            Y2[static_cast<std::size_t>(d2 + i + 1)] = K2 * w2;
            y2 = Y2[k];
        }
        return;
    }
    for (long long i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        // The outer controller's output is the inner P controller's set point;
        // the disturbance enters at the inner process input.
        const double u = law.Step(R, y2);
        const double e1 = u - y1;
        const double v = KpInner * e1;
        x1 = (v + D) * (1.0 - a1) + a1 * x1;
        Y1[static_cast<std::size_t>(d1 + i + 1)] = K1 * x1;
        y1 = Y1[k];
        // The outer process is driven by the inner output of the same step.
        x2 = (1.0 - a3) * y1 + a3 * x2;
        Y2[static_cast<std::size_t>(d2 + i + 1)] = K2 * x2;
        y2 = Y2[k];
    }
}

}  // namespace halvetra
