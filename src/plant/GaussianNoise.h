#pragma once
// Normally distributed measurement noise: a Mersenne twister and the polar
// Box-Muller method, reproducible from its seed.
#include <cstdint>
#include <random>

namespace halvetra::plant {

class GaussianNoise {
public:
    explicit GaussianNoise(std::uint32_t seed) : engine_(seed) {}

    // A sample of N(0, sigma); 0 when sigma is 0.
    double next(double sigma);

private:
    double uniformSymmetric();  // uniform in (-1, 1)

    std::mt19937 engine_;
    bool hasSpare_ = false;
    double spare_ = 0.0;
};

}  // namespace halvetra::plant
