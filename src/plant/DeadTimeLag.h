#pragma once
// A first-order lag behind a pure dead time, sampled with a fixed step:
// y' = (K u(t - theta) - y) / T, discretised exactly for an input held
// constant over each step. The dead time is rounded to whole steps.
#include <cstddef>
#include <vector>

namespace halvetra::plant {

class DeadTimeLag {
public:
    DeadTimeLag(double gain, double timeConstant, double deadTime, double stepSeconds);

    // Puts the process at rest with this input applied for ever.
    void reset(double input);
    // Advances one step with this input and returns the new output.
    double step(double input);

    double output() const { return output_; }
    double gain() const { return gain_; }
    std::size_t delaySteps() const { return delay_.size(); }

private:
    double gain_;
    double decay_;                 // exp(-step / T)
    std::vector<double> delay_;    // the inputs of the last delaySteps() steps, oldest at head_
    std::size_t head_ = 0;
    double output_ = 0.0;
};

}  // namespace halvetra::plant
