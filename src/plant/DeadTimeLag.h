#pragma once
// A first-order lag behind a pure dead time, sampled with a fixed step:
// y' = (K u(t - theta) - y) / T, discretised exactly for an input held
// constant over each step. The dead time is rounded to whole steps.
//
// As a level (Level()), the lag has gain 1 and the output integrates K times
// the lag's deviation from the balance input, the input of the last reset
// (the outflow): y' = K (x - balance), held within the level's range.
#include <cstddef>
#include <vector>

namespace halvetra::plant {

class DeadTimeLag {
public:
    DeadTimeLag(double gain, double timeConstant, double deadTime, double stepSeconds);
    // An integrating process with slope gain K per second, starting at
    // `level` and held within minimum .. maximum.
    static DeadTimeLag Level(double gain, double timeConstant, double deadTime, double stepSeconds, double level,
                             double minimum, double maximum);

    // Puts the process at rest with this input applied for ever (a level
    // keeps its output and takes the input as its balance).
    void reset(double input);
    // Advances one step with this input and returns the new output.
    double step(double input);

    double output() const { return output_; }
    double gain() const { return gain_; }
    std::size_t delaySteps() const { return delay_.size(); }

private:
    double gain_;
    double step_ = 0.0;  // s
    double decay_;       // exp(-step / T)
    bool level_ = false;
    double lagged_ = 0.0;   // a level's lag output
    double balance_ = 0.0;  // a level's balance input
    double minimum_ = 0.0, maximum_ = 0.0;
    std::vector<double> delay_;  // the inputs of the last delaySteps() steps, oldest at head_
    std::size_t head_ = 0;
    double output_ = 0.0;
};

}  // namespace halvetra::plant
