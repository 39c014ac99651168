#include "plant/Actuator.h"

#include <algorithm>
#include <stdexcept>

namespace halvetra::plant {

Actuator::Actuator(double minimum, double maximum, double fullStrokeSeconds, double stepSeconds)
    : minimum_(minimum), maximum_(maximum), position_(minimum) {
    if (!(maximum > minimum) || !(fullStrokeSeconds > 0.0) || !(stepSeconds > 0.0))
        throw std::invalid_argument("Actuator: empty range or non-positive stroke time or step");
    maxMovePerStep_ = (maximum - minimum) / fullStrokeSeconds * stepSeconds;
}

void Actuator::reset(double position) { position_ = std::clamp(position, minimum_, maximum_); }

double Actuator::step(double command) {
    const double target = std::clamp(command, minimum_, maximum_);
    position_ += std::clamp(target - position_, -maxMovePerStep_, maxMovePerStep_);
    return position_;
}

}  // namespace halvetra::plant
