#pragma once
// The built-in process that stands in for the plant while there is no
// connection: two first-order stages in series, each of unit gain, with
// measurement noise on both outputs. It lets the whole work flow be tried
// without a plant.
#include <cstdint>
#include <random>

namespace halvetra {

// Normally distributed random numbers: a Mersenne twister and the polar
// Box-Muller method. The second number of each generated pair is kept for the
// next draw. Reproducible from its seed.
class GaussianRandom {
public:
    explicit GaussianRandom(std::uint32_t seed);

    void Seed(std::uint32_t seed);
    // A sample of N(0, 1).
    double Standard();
    // A sample of N(mean, sigma).
    double Normal(double mean, double sigma) { return mean + sigma * Standard(); }

private:
    double UniformSymmetric();  // uniform in the open interval (-1, 1)

    std::mt19937 engine_;
    bool hasSpare_ = false;
    double spare_ = 0.0;
};

// The simulated loop. MV1 drives the process input U1 = MV1 - 10 (0 when
// nothing may be written); the inner stage s1 follows U1, the outer stage s2
// follows s1, each with one sample of delay on the measured output:
//   p1 := s1; p2 := s2;
//   s1 := 0.9 s1 + 0.1 U1;  s2 := 0.95 s2 + 0.05 p1;
//   Y1 := p1 + 20 + N(0, 0.2);  Y2 := p2 + 30 + N(0, 0.1).
//
// In general the simulation runs around an operating point (MV0, U0, Y10,
// Y20), the states being deviations from it:
//   U1 := U0 + (MV1 - MV0) (U0 when nothing may be written);
//   s1 := 0.9 s1 + 0.1 (U1 - U0);  Y1 := Y10 + p1 + N(0, 0.2); likewise Y2.
// The rest point of Reset() is (10, 0, 20, 30), which gives the formulas
// above; a run's simulation starts settled at its initial MV1 (SettleAt). StartFrom() takes a plant's last values as
// the operating point, so that a simulation taking over from the plant in the middle of a run goes on from where the
// plant was, at rest there, and then follows MV1's changes with the simulation's own unit-gain dynamics.
class ProcessSimulation {
public:
    struct Output {
        double U1 = 0.0;
        double Y1 = 0.0;
        double Y2 = 0.0;
    };
    struct OperatingPoint {
        double MV = 10.0;
        double U1 = 0.0;
        double Y1 = 20.0;
        double Y2 = 30.0;
    };

    explicit ProcessSimulation(std::uint32_t seed) : random_(seed) {}

    // Both states to 0 and the rest point (10, 0, 20, 30); the random sequence goes on.
    void Reset() {
        s1_ = s2_ = 0.0;
        point_ = OperatingPoint{};
    }
    // Both states to 0 around the given operating point, which must be finite;
    // the random sequence goes on.
    void StartFrom(const OperatingPoint& point) {
        s1_ = s2_ = 0.0;
        point_ = point;
    }
    // Both stages at rest for a constant manipulated signal mv (the deviation
    // mv - MV0 in both states, none when nothing may be written), so that a
    // run starting at mv records no settling before its first step.
    void SettleAt(double mv, bool noWrite) { s1_ = s2_ = noWrite ? 0.0 : mv - point_.MV; }
    // One sample for the manipulated signal mv.
    Output Step(double mv, bool noWrite);

    double State1() const { return s1_; }
    double State2() const { return s2_; }
    const OperatingPoint& Point() const { return point_; }

private:
    GaussianRandom random_;
    double s1_ = 0.0;
    double s2_ = 0.0;
    OperatingPoint point_;
};

}  // namespace halvetra
