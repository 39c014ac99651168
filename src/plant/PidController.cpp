#include "plant/PidController.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace halvetra::plant {

namespace {
// Filter time constant of the derivative term: long enough to keep the
// measurement noise from chattering the output, short against the processes.
constexpr double kDerivativeFilterSeconds = 0.5;
}  // namespace

PidController::PidController(double outputMinimum, double outputMaximum, double stepSeconds)
    : outputMinimum_(outputMinimum), outputMaximum_(outputMaximum), stepSeconds_(stepSeconds) {
    if (!(outputMaximum > outputMinimum) || !(stepSeconds > 0.0))
        throw std::invalid_argument("PidController: empty output range or non-positive step");
    derivativeDecay_ = std::exp(-stepSeconds / kDerivativeFilterSeconds);
}

void PidController::setGains(double kp, double ki, double kd) {
    kp_ = kp;
    ki_ = ki;
    kd_ = kd;
}

void PidController::advanceDerivative(double measurement) {
    if (hasPrevious_) {
        const double raw = -kd_ * (measurement - previousMeasurement_) / stepSeconds_;
        derivativeTerm_ = derivativeDecay_ * derivativeTerm_ + (1.0 - derivativeDecay_) * raw;
    }
    previousMeasurement_ = measurement;
    hasPrevious_ = true;
}

double PidController::update(double setpoint, double measurement) {
    advanceDerivative(measurement);
    const double error = setpoint - measurement;
    const double proportionalTerm = kp_ * error;
    const double increment = ki_ * error * stepSeconds_;
    const double before = integralTerm_;
    integralTerm_ += increment;
    // Integrate up to the point where the output reaches its limit, no further.
    const double unlimited = proportionalTerm + integralTerm_ + derivativeTerm_;
    if (unlimited > outputMaximum_ && increment > 0.0)
        integralTerm_ = std::max(before, outputMaximum_ - proportionalTerm - derivativeTerm_);
    else if (unlimited < outputMinimum_ && increment < 0.0)
        integralTerm_ = std::min(before, outputMinimum_ - proportionalTerm - derivativeTerm_);
    output_ = std::clamp(proportionalTerm + integralTerm_ + derivativeTerm_, outputMinimum_, outputMaximum_);
    return output_;
}

void PidController::track(double output, double setpoint, double measurement) {
    advanceDerivative(measurement);
    align(output, setpoint, measurement);
}

void PidController::align(double output, double setpoint, double measurement) {
    integralTerm_ = output - kp_ * (setpoint - measurement) - derivativeTerm_;
    output_ = output;
}

}  // namespace halvetra::plant
