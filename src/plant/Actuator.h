#pragma once
// A valve or drive between the controller's output and the process: its
// position follows the command within a fixed range and at most at the speed
// of one full stroke in a given time.

namespace halvetra::plant {

class Actuator {
public:
    Actuator(double minimum, double maximum, double fullStrokeSeconds, double stepSeconds);

    void reset(double position);
    // Moves one step towards the command (limited to the range) and returns the position.
    double step(double command);

    double position() const { return position_; }
    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }

private:
    double minimum_;
    double maximum_;
    double maxMovePerStep_;
    double position_;
};

}  // namespace halvetra::plant
