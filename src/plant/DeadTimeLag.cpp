#include "plant/DeadTimeLag.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace halvetra::plant {

DeadTimeLag::DeadTimeLag(double gain, double timeConstant, double deadTime, double stepSeconds)
    : gain_(gain), step_(stepSeconds) {
    if (!(stepSeconds > 0.0) || timeConstant < 0.0 || deadTime < 0.0)
        throw std::invalid_argument("DeadTimeLag: step must be positive, time constant and dead time not negative");
    decay_ = timeConstant > 0.0 ? std::exp(-stepSeconds / timeConstant) : 0.0;
    delay_.assign(static_cast<std::size_t>(std::lround(deadTime / stepSeconds)), 0.0);
}

DeadTimeLag DeadTimeLag::Level(double gain, double timeConstant, double deadTime, double stepSeconds, double level,
                               double minimum, double maximum) {
    DeadTimeLag process(gain, timeConstant, deadTime, stepSeconds);
    process.level_ = true;
    process.minimum_ = minimum;
    process.maximum_ = maximum;
    process.output_ = std::clamp(level, minimum, maximum);
    return process;
}

void DeadTimeLag::reset(double input) {
    std::fill(delay_.begin(), delay_.end(), input);
    head_ = 0;
    if (level_) {
        lagged_ = input;
        balance_ = input;
        return;
    }
    output_ = gain_ * input;
}

double DeadTimeLag::step(double input) {
    double delayed = input;
    if (!delay_.empty()) {
        delayed = delay_[head_];
        delay_[head_] = input;
        head_ = (head_ + 1) % delay_.size();
    }
    if (level_) {
        lagged_ = decay_ * lagged_ + (1.0 - decay_) * delayed;
        output_ = std::clamp(output_ + step_ * gain_ * (lagged_ - balance_), minimum_, maximum_);
        return output_;
    }
    output_ = decay_ * output_ + (1.0 - decay_) * gain_ * delayed;
    return output_;
}

}  // namespace halvetra::plant
