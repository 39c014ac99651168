#include "plant/GaussianNoise.h"

#include <cmath>

namespace halvetra::plant {

double GaussianNoise::uniformSymmetric() {
    // 32 random bits mapped onto the open interval (-1, 1).
    return (static_cast<double>(engine_()) + 0.5) / 2147483648.0 - 1.0;
}

double GaussianNoise::next(double sigma) {
    if (sigma == 0.0) return 0.0;
    if (hasSpare_) {
        hasSpare_ = false;
        return sigma * spare_;
    }
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = uniformSymmetric();
        v = uniformSymmetric();
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double factor = std::sqrt(-2.0 * std::log(s) / s);
    spare_ = v * factor;
    hasSpare_ = true;
    return sigma * u * factor;
}

}  // namespace halvetra::plant
