#include "experiment/ProcessSimulation.h"

#include <cmath>

namespace halvetra {

GaussianRandom::GaussianRandom(std::uint32_t seed) : engine_(seed) {}

void GaussianRandom::Seed(std::uint32_t seed) {
    engine_.seed(seed);
    hasSpare_ = false;
    spare_ = 0.0;
}

double GaussianRandom::UniformSymmetric() {
    // 32 random bits onto (-1, 1); neither end is reachable.
    return (static_cast<double>(engine_()) + 0.5) / 2147483648.0 - 1.0;
}

double GaussianRandom::Standard() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = UniformSymmetric();
        v = UniformSymmetric();
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double factor = std::sqrt(-2.0 * std::log(s) / s);
    spare_ = v * factor;
    hasSpare_ = true;
    return u * factor;
}

ProcessSimulation::Output ProcessSimulation::Step(double mv, bool noWrite) {
    Output out;
    // At the rest point these are exactly U1 = MV1 - 10, Y1 = p1 + 20 + noise, ...
    const double deviation = noWrite ? 0.0 : mv - point_.MV;
    out.U1 = point_.U1 + deviation;
    const double p1 = s1_;
    const double p2 = s2_;
    s1_ = 0.9 * s1_ + 0.1 * deviation;
    s2_ = 0.95 * s2_ + 0.05 * p1;
    out.Y1 = p1 + point_.Y1 + random_.Normal(0.0, 0.2);
    out.Y2 = p2 + point_.Y2 + random_.Normal(0.0, 0.1);
    return out;
}

}  // namespace halvetra
