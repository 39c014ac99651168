#pragma once
// The simulated cascade loop behind halvetra-plant, without any networking:
//
//   MV1 -> actuator -> U1 -> inner process -> Y1 -> outer process -> Y2
//
// The inner controller acts on Y1 and, in automatic, sets MV1; the outer
// controller acts on Y2 and, in automatic while the inner one is in automatic
// too, sets the inner set point. Both measurements carry Gaussian noise and
// the controllers see the noisy values. A second manipulated signal MV2 drives
// a spare actuator of the same kind (U2) that feeds no process.
//
// Time advances only by step(); one step is settings().stepSeconds.
#include <cstdint>

#include "plant/Actuator.h"
#include "plant/DeadTimeLag.h"
#include "plant/GaussianNoise.h"
#include "plant/PidController.h"

namespace halvetra::plant {

struct ProcessParameters {
    double gain;
    double timeConstant;  // s
    double deadTime;      // s
};

struct PidGains {
    double kp;
    double ki;  // 1/s
    double kd;  // s
};

struct CascadeLoopSettings {
    double stepSeconds = 0.05;
    double actuatorMinimum = 0.0;    // %
    double actuatorMaximum = 100.0;  // %
    double actuatorFullStrokeSeconds = 20.0;
    ProcessParameters inner{1.5, 8.0, 2.0};
    ProcessParameters outer{0.8, 25.0, 5.0};
    // The outer process as a level instead: Y2 in % starts at initialLevel
    // and integrates level.gain per second times the deviation of Y1 from its
    // initial value, behind level's lag and dead time, within 0 .. 100 %.
    bool outerIntegrating = false;
    ProcessParameters level{0.01, 0.0, 5.0};
    double initialLevel = 50.0;
    double noiseSigma = 0.05;    // on Y1 and Y2
    double initialInput = 40.0;  // the steady state the loop starts in, %
    PidGains innerGains{1.0, 0.1, 0.0};
    PidGains outerGains{1.0, 0.04, 0.0};
    std::uint32_t seed = 1;
};

// Makes the outer process a level, with outer controller gains that keep the
// closed cascade stable on it (Kp 5, Ki 0.01 /s): a level needs a stronger
// proportional and a slower integral action than the self-regulating process.
void makeOuterALevel(CascadeLoopSettings& settings);

enum class ControllerId { Inner, Outer };

class CascadeLoop {
public:
    explicit CascadeLoop(const CascadeLoopSettings& settings = {});

    // Advances the loop by one step.
    void step();
    // Simulated time since the start, s.
    double time() const { return time_; }
    const CascadeLoopSettings& settings() const { return settings_; }

    double manipulatedValue() const { return manipulatedValue_; }              // MV1
    double processInput() const { return actuator_.position(); }               // U1
    double innerMeasurement() const { return innerMeasurement_; }              // Y1
    double outerMeasurement() const { return outerMeasurement_; }              // Y2
    double secondManipulatedValue() const { return secondManipulatedValue_; }  // MV2
    double secondProcessInput() const { return secondActuator_.position(); }   // U2
    // The process outputs without noise.
    double innerOutput() const { return innerProcess_.output(); }
    double outerOutput() const { return outerProcess_.output(); }

    // What a client writes. Each returns false (and changes nothing) for a
    // value that is not finite, and the manipulated signal also while the
    // inner controller is in automatic, since the controller owns it then.
    bool setManipulatedValue(double value);
    bool setSecondManipulatedValue(double value);
    bool setSetpoint(ControllerId id, double value);
    bool setProportional(ControllerId id, double value);
    bool setIntegral(ControllerId id, double value);
    bool setDerivative(ControllerId id, double value);
    void setAutomatic(ControllerId id, bool automatic);

    double setpoint(ControllerId id) const;
    PidGains gains(ControllerId id) const;
    bool isAutomatic(ControllerId id) const;
    // The outer controller drives the inner set point only when both are in automatic.
    bool cascadeClosed() const { return innerAutomatic_ && outerAutomatic_; }

private:
    PidController& controller(ControllerId id) {
        return id == ControllerId::Inner ? innerController_ : outerController_;
    }
    const PidController& controller(ControllerId id) const {
        return id == ControllerId::Inner ? innerController_ : outerController_;
    }
    void measure();

    CascadeLoopSettings settings_;
    Actuator actuator_;
    Actuator secondActuator_;
    DeadTimeLag innerProcess_;
    DeadTimeLag outerProcess_;
    PidController innerController_;
    PidController outerController_;
    GaussianNoise noise_;

    double time_ = 0.0;
    double manipulatedValue_ = 0.0;
    double secondManipulatedValue_ = 0.0;
    double innerMeasurement_ = 0.0;
    double outerMeasurement_ = 0.0;
    double innerSetpoint_ = 0.0;
    double outerSetpoint_ = 0.0;
    bool innerAutomatic_ = false;
    bool outerAutomatic_ = false;
};

}  // namespace halvetra::plant
