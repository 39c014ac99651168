#pragma once
// A sampled PID controller in parallel form,
//   u = Kp e + Ki * integral(e) + Kd * d(-y)/dt,   e = setpoint - y,
// with the derivative on the measurement through a first-order filter, an
// output range, and an integral that stops where the output reaches its
// limit in the direction the error pushes it. In manual the controller follows the output
// that is given to it, so that switching to automatic does not bump it.

namespace halvetra::plant {

class PidController {
public:
    PidController(double outputMinimum, double outputMaximum, double stepSeconds);

    void setGains(double kp, double ki, double kd);
    void setProportional(double kp) { kp_ = kp; }
    void setIntegral(double ki) { ki_ = ki; }
    void setDerivative(double kd) { kd_ = kd; }
    double proportional() const { return kp_; }
    double integral() const { return ki_; }
    double derivative() const { return kd_; }

    // One step in automatic: returns the new output, within the range.
    double update(double setpoint, double measurement);
    // One step in manual (or as the outer controller of an open cascade): the
    // output is the given value and the integral term takes whatever value
    // makes the control law give that output now.
    void track(double output, double setpoint, double measurement);
    // The same alignment without taking a new sample: used when the mode
    // changes between steps.
    void align(double output, double setpoint, double measurement);

    double output() const { return output_; }
    double outputMinimum() const { return outputMinimum_; }
    double outputMaximum() const { return outputMaximum_; }

private:
    void advanceDerivative(double measurement);

    double outputMinimum_;
    double outputMaximum_;
    double stepSeconds_;
    double derivativeDecay_;  // of the filter on the derivative term
    double kp_ = 0.0;
    double ki_ = 0.0;
    double kd_ = 0.0;
    double integralTerm_ = 0.0;  // Ki * integral(e), in output units
    double derivativeTerm_ = 0.0;
    double previousMeasurement_ = 0.0;
    bool hasPrevious_ = false;
    double output_ = 0.0;
};

}  // namespace halvetra::plant
