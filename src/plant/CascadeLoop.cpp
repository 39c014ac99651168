#include "plant/CascadeLoop.h"

#include <algorithm>
#include <cmath>

namespace halvetra::plant {

namespace {

// The set points the inner process can reach at all: the outer controller's output range.
double reachableMinimum(const CascadeLoopSettings& s) {
    return std::min(s.inner.gain * s.actuatorMinimum, s.inner.gain * s.actuatorMaximum);
}
double reachableMaximum(const CascadeLoopSettings& s) {
    return std::max(s.inner.gain * s.actuatorMinimum, s.inner.gain * s.actuatorMaximum);
}

}  // namespace

void makeOuterALevel(CascadeLoopSettings& settings) {
    settings.outerIntegrating = true;
    settings.outerGains = {5.0, 0.01, 0.0};
}

CascadeLoop::CascadeLoop(const CascadeLoopSettings& settings)
    : settings_(settings),
      actuator_(settings.actuatorMinimum, settings.actuatorMaximum, settings.actuatorFullStrokeSeconds,
                settings.stepSeconds),
      secondActuator_(settings.actuatorMinimum, settings.actuatorMaximum, settings.actuatorFullStrokeSeconds,
                      settings.stepSeconds),
      innerProcess_(settings.inner.gain, settings.inner.timeConstant, settings.inner.deadTime, settings.stepSeconds),
      outerProcess_(settings.outerIntegrating
                        ? DeadTimeLag::Level(settings.level.gain, settings.level.timeConstant, settings.level.deadTime,
                                             settings.stepSeconds, settings.initialLevel, 0.0, 100.0)
                        : DeadTimeLag(settings.outer.gain, settings.outer.timeConstant, settings.outer.deadTime,
                                      settings.stepSeconds)),
      innerController_(settings.actuatorMinimum, settings.actuatorMaximum, settings.stepSeconds),
      outerController_(reachableMinimum(settings), reachableMaximum(settings), settings.stepSeconds),
      noise_(settings.seed) {
    innerController_.setGains(settings.innerGains.kp, settings.innerGains.ki, settings.innerGains.kd);
    outerController_.setGains(settings.outerGains.kp, settings.outerGains.ki, settings.outerGains.kd);

    // Start at rest: everything has seen the initial input for ever.
    manipulatedValue_ = settings.initialInput;
    actuator_.reset(settings.initialInput);
    secondManipulatedValue_ = settings.actuatorMinimum;
    secondActuator_.reset(secondManipulatedValue_);
    innerProcess_.reset(actuator_.position());
    outerProcess_.reset(innerProcess_.output());
    innerSetpoint_ = innerProcess_.output();
    outerSetpoint_ = outerProcess_.output();
    measure();
    innerController_.align(manipulatedValue_, innerSetpoint_, innerMeasurement_);
    outerController_.align(innerSetpoint_, outerSetpoint_, outerMeasurement_);
}

void CascadeLoop::measure() {
    innerMeasurement_ = innerProcess_.output() + noise_.next(settings_.noiseSigma);
    outerMeasurement_ = outerProcess_.output() + noise_.next(settings_.noiseSigma);
}

void CascadeLoop::step() {
    time_ += settings_.stepSeconds;

    // The controllers act on the measurements of the last step, outer first.
    if (cascadeClosed())
        innerSetpoint_ = outerController_.update(outerSetpoint_, outerMeasurement_);
    else
        outerController_.track(innerSetpoint_, outerSetpoint_, outerMeasurement_);
    if (innerAutomatic_)
        manipulatedValue_ = innerController_.update(innerSetpoint_, innerMeasurement_);
    else
        innerController_.track(manipulatedValue_, innerSetpoint_, innerMeasurement_);

    const double input = actuator_.step(manipulatedValue_);
    secondActuator_.step(secondManipulatedValue_);
    const double inner = innerProcess_.step(input);
    outerProcess_.step(inner);
    measure();
}

bool CascadeLoop::setManipulatedValue(double value) {
    if (!std::isfinite(value) || innerAutomatic_) return false;
    manipulatedValue_ = value;
    return true;
}

bool CascadeLoop::setSecondManipulatedValue(double value) {
    if (!std::isfinite(value)) return false;
    secondManipulatedValue_ = value;
    return true;
}

bool CascadeLoop::setSetpoint(ControllerId id, double value) {
    if (!std::isfinite(value)) return false;
    if (id == ControllerId::Inner) {
        // In a closed cascade the outer controller owns the inner set point.
        if (cascadeClosed()) return false;
        innerSetpoint_ = value;
    } else {
        outerSetpoint_ = value;
    }
    return true;
}

bool CascadeLoop::setProportional(ControllerId id, double value) {
    if (!std::isfinite(value)) return false;
    controller(id).setProportional(value);
    return true;
}

bool CascadeLoop::setIntegral(ControllerId id, double value) {
    if (!std::isfinite(value)) return false;
    controller(id).setIntegral(value);
    return true;
}

bool CascadeLoop::setDerivative(ControllerId id, double value) {
    if (!std::isfinite(value)) return false;
    controller(id).setDerivative(value);
    return true;
}

void CascadeLoop::setAutomatic(ControllerId id, bool automatic) {
    bool& mode = id == ControllerId::Inner ? innerAutomatic_ : outerAutomatic_;
    if (mode == automatic) return;
    mode = automatic;
    // Whatever closes takes over from the value it has been following, even
    // when a client changed that value since the last step.
    innerController_.align(manipulatedValue_, innerSetpoint_, innerMeasurement_);
    outerController_.align(innerSetpoint_, outerSetpoint_, outerMeasurement_);
}

double CascadeLoop::setpoint(ControllerId id) const {
    return id == ControllerId::Inner ? innerSetpoint_ : outerSetpoint_;
}

PidGains CascadeLoop::gains(ControllerId id) const {
    const PidController& c = controller(id);
    return {c.proportional(), c.integral(), c.derivative()};
}

bool CascadeLoop::isAutomatic(ControllerId id) const {
    return id == ControllerId::Inner ? innerAutomatic_ : outerAutomatic_;
}

}  // namespace halvetra::plant
