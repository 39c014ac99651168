#include "controller/OptimalRule.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <string>
#include <vector>

#include "controller/LoopTerms.h"
#include "data/GlobalProcedures.h"
#include "data/NumberText.h"

namespace halvetra {

namespace {

constexpr const char* DivisionByZero = "Floating point division by zero";
constexpr double Pi = std::numbers::pi;
constexpr double Infinity = std::numeric_limits<double>::infinity();

// The value of a candidate that is unstable, does not settle or has no scale.
constexpr double Worst = 1e300;

// As the loop figures: the longest run that is searched for the loop to
// settle.
constexpr long long MaxIaeSamples = 1 << 20;

// During the search a candidate is followed for at most this many times the
// first horizon (512 dead times and more); one that has not settled by then
// counts with the error summed so far, already far above the optimum's.
constexpr long long SearchHorizonFactor = 64;

// The largest scale a shape is given when nothing on the grid limits it.
constexpr double MaxScale = 1e12;

const char* TypeName(int type) {
    switch (type) {
    case TypeI: return "I";
    case TypePI: return "PI";
    case TypePID: return "PID";
    default: return "P";
    }
}

// Gains of the parallel controller; a shape is the same with Kp = 1 (Ki = 1
// for the I controller), and the gains are sign * scale * shape.
struct Gains {
    double Kp = 0.0;
    double Ki = 0.0;
    double Kd = 0.0;
};

// The derivative term of the simulation's controller law for the gains.
LoopDerivative DerivativeOf(const Gains& g, double Ts) { return LoopDerivativeTerm(g.Kp, g.Kd, Ts); }

// Golden-section search for the minimum of f on [a, b] in `iterations`
// steps. Returns the better of the last two points, with its value in `best`.
template <class F>
double GoldenMinimum(F f, double a, double b, int iterations, double& best) {
    const GoldenPoints g = GoldenSection(f, a, b, iterations);
    best = std::min(g.Fc, g.Fd);
    return g.Fc < g.Fd ? g.C : g.D;
}

// Nelder-Mead on two variables from x0 with a first step of `step`.
template <class F>
std::array<double, 2> NelderMead(F f, std::array<double, 2> x0, double step, int maxEvaluations, double& best) {
    using Point = std::array<double, 2>;
    std::array<Point, 3> x = {x0, Point{x0[0] + step, x0[1]}, Point{x0[0], x0[1] + step}};
    std::array<double, 3> fx = {f(x[0]), f(x[1]), f(x[2])};
    int evaluations = 3;
    const auto along = [](const Point& from, const Point& to, double t) {
        return Point{from[0] + t * (to[0] - from[0]), from[1] + t * (to[1] - from[1])};
    };
    while (evaluations < maxEvaluations) {
        // Order: x[0] best, x[2] worst.
        for (int i = 0; i < 2; ++i) {
            for (int j = 0; j < 2 - i; ++j) {
                if (fx[static_cast<std::size_t>(j + 1)] < fx[static_cast<std::size_t>(j)]) {
                    std::swap(fx[static_cast<std::size_t>(j)], fx[static_cast<std::size_t>(j + 1)]);
                    std::swap(x[static_cast<std::size_t>(j)], x[static_cast<std::size_t>(j + 1)]);
                }
            }
        }
        const double size = std::max({std::fabs(x[1][0] - x[0][0]), std::fabs(x[1][1] - x[0][1]),
                                      std::fabs(x[2][0] - x[0][0]), std::fabs(x[2][1] - x[0][1])});
        if (size < 1e-3 && fx[2] - fx[0] <= 1e-7 * std::fabs(fx[0])) {
            break;
        }
        const Point centre = {0.5 * (x[0][0] + x[1][0]), 0.5 * (x[0][1] + x[1][1])};
        const Point reflected = along(centre, x[2], -1.0);
        const double fr = f(reflected);
        ++evaluations;
        if (fr < fx[0]) {
            const Point expanded = along(centre, x[2], -2.0);
            const double fe = f(expanded);
            ++evaluations;
            if (fe < fr) {
                x[2] = expanded;
                fx[2] = fe;
            } else {
                x[2] = reflected;
                fx[2] = fr;
            }
        } else if (fr < fx[1]) {
            x[2] = reflected;
            fx[2] = fr;
        } else {
            const bool outside = fr < fx[2];
            const Point contracted = along(centre, outside ? reflected : x[2], 0.5);
            const double fc = f(contracted);
            ++evaluations;
            if (fc < (outside ? fr : fx[2])) {
                x[2] = contracted;
                fx[2] = fc;
            } else {
                for (std::size_t i = 1; i < 3; ++i) {
                    x[i] = along(x[0], x[i], 0.5);
                    fx[i] = f(x[i]);
                }
                evaluations += 2;
            }
        }
    }
    const auto i = static_cast<std::size_t>(std::min_element(fx.begin(), fx.end()) - fx.begin());
    best = fx[i];
    return x[i];
}

// The search on one process: its frequency response on a grid, computed once,
// and a simulation of the load step that stops as soon as the candidate is
// known to be worse than twice the best one found.
class Search {
public:
    Search(const LoopDescription& loop, double msTarget) : loop_(loop), target_(msTarget) {
        if (!(loop.Ts > 0.0) || loop.K1 == 0.0) {
            throw FloatingPointError(DivisionByZero);
        }
        Ts_ = loop.Ts;
        a1_ = LoopLagPole(Ts_, loop.T1);
        d1_ = LoopDeadTimeSamples(loop.L1, Ts_);
        i1_ = loop.Process1 == ProcessType::Integrating ? Ts_ : 0.0;
        if (loop.Cascade) {
            a3_ = LoopLagPole(Ts_, loop.T2);
            d2_ = LoopDeadTimeSamples(loop.L2, Ts_);
            i2_ = loop.Process2 == ProcessType::Integrating ? Ts_ : 0.0;
        }
        // The controller sees an integrator when its own process integrates;
        // an integrating inner process sits inside the cascade's P loop.
        integrating_ = (loop.Cascade ? i2_ : i1_) > 0.0;

        // The loop of a P controller with gain 0: its characteristic
        // polynomial is the process's own denominator. An integrator the
        // controller sees is a root at z = 1, on the circle, which any small
        // gain of the right sign moves inside: the rest of the process must
        // be stable, which is the loop with that process self-regulating.
        LoopDescription process = loop;
        process.Type = TypeP;
        process.Kp = 0.0;
        process.Ki = 0.0;
        process.Kd = 0.0;
        (loop.Cascade ? process.Process2 : process.Process1) = ProcessType::SelfRegulating;
        feasible_ = LoopIsStable(process) && msTarget > 1.0;

        // At most a thirty-second of a turn of the longest delay term between
        // grid points, as the loop figures' grid. Through an integrator the
        // curve turns between the lowest point and the next as well (from
        // along the negative real axis towards the phase of the integral
        // term's zero): eight points a decade there.
        const long long degree = d1_ + d2_ + 4;
        const int N = static_cast<int>(std::max<long long>(1024, 16 * degree));
        theta_.push_back(Pi * 1e-6 / N);
        if (integrating_) {
            for (int i = 1; i < 48; ++i) {
                theta_.push_back(Pi * 1e-6 / N * std::pow(10.0, i / 8.0));
            }
        }
        for (int i = 1; i <= N; ++i) {
            theta_.push_back(Pi * i / N);
        }
        grid_.reserve(theta_.size());
        for (const double theta : theta_) {
            const Point& p = grid_.emplace_back(PointAt(theta));
            if (!std::isfinite(p.Process.real()) || !std::isfinite(p.Process.imag())) {
                feasible_ = false;
            }
        }
        // The direction of action: the sign of the static gain or, through
        // an integrator, of the slope: the low-frequency response times
        // 1 - z^-1.
        const Point& low = grid_.front();
        const double staticGain = (integrating_ ? low.Process * low.Difference : low.Process).real();
        sign_ = staticGain < 0.0 ? -1.0 : 1.0;
        if (!(std::fabs(staticGain) > 0.0)) {
            feasible_ = false;
        }
    }

    OptimalGains Optimise(int type, double maxNoiseGain) {
        // An I controller on an integrating process leaves two integrators
        // in the loop, whose phase lies below -180 degrees at every
        // frequency: none is stable.
        if (!feasible_ || (type == TypeI && integrating_)) {
            Fail(type);
        }
        type_ = type;
        noiseBound_ = maxNoiseGain > 0.0 ? maxNoiseGain : Infinity;
        best_ = Infinity;
        Gains shape;
        switch (type) {
        case TypeP: shape = {1.0, 0.0, 0.0}; return Finish(shape, ScaleRange(shape).High);
        case TypeI: shape = {0.0, 1.0, 0.0}; break;
        case TypePI: shape = BestPiShape(); break;
        default: shape = BestPidShape(); break;
        }
        return Finish(shape, BestScale(shape));
    }

private:
    // The process as the loop figures write it (LoopFrequencyResponse of a P
    // controller with gain 1), in closed form from the inner process
    // N1 / M1 = K1 (1 - a1) z^-(d1 + 1) / (1 - a1 z^-1) and the outer one
    // N2 / M2 = K2 (1 - a3) z^-(d2 + 2) / (1 - a3 z^-1), an integrating one
    // times Ts / (1 - z^-1): single loop z^-1 N1 / M1 (the measurement's
    // sample), cascade Kc N1 N2 / (M2 (M1 + Kc z^-1 N1)), Kc = KpInner.
    std::complex<double> ProcessResponse(double theta) const {
        const auto delay = [theta](long long samples) {
            return std::polar(1.0, -theta * static_cast<double>(samples));
        };
        const std::complex<double> z = delay(1);
        const std::complex<double> difference = 1.0 - z;
        const std::complex<double> n1 = (i1_ > 0.0 ? i1_ : 1.0) * loop_.K1 * (1.0 - a1_) * delay(d1_ + 1);
        const std::complex<double> m1 = (1.0 - a1_ * z) * (i1_ > 0.0 ? difference : 1.0);
        if (!loop_.Cascade) {
            return z * n1 / m1;
        }
        const std::complex<double> n2 = (i2_ > 0.0 ? i2_ : 1.0) * loop_.K2 * (1.0 - a3_) * delay(d2_ + 2);
        const std::complex<double> m2 = (1.0 - a3_ * z) * (i2_ > 0.0 ? difference : 1.0);
        return loop_.KpInner * n1 * n2 / (m2 * (m1 + loop_.KpInner * z * n1));
    }

    struct Point {
        std::complex<double> Z;           // z^-1 = e^(-j theta)
        std::complex<double> Difference;  // 1 - z^-1
        std::complex<double> Sum;         // 1 / (1 - z^-1)
        std::complex<double> Process;     // the process P(e^(j theta))
    };

    Point PointAt(double theta) const {
        Point p;
        p.Z = std::polar(1.0, -theta);
        p.Difference = 1.0 - p.Z;
        p.Sum = 1.0 / p.Difference;
        p.Process = ProcessResponse(theta);
        return p;
    }

    // The characteristic time of the process: the sum of its lags and of the
    // dead times as simulated, with the loop's two samples of delay.
    double ProcessTime() const {
        const double deadTime = static_cast<double>(d1_ + d2_ + 2) * Ts_;
        const double t = std::fabs(loop_.T1) + (loop_.Cascade ? std::fabs(loop_.T2) : 0.0) + deadTime;
        return std::isfinite(t) ? t : deadTime;
    }

    [[noreturn]] void Fail(int type) const {
        throw OptimalTuningError(std::string("No stabilising ") + TypeName(type) +
                                 " controller keeps the maximum sensitivity at or below " +
                                 FormatFixed(target_, 15, 2, '.'));
    }

    Gains Scaled(const Gains& shape, double k) const {
        const double s = sign_ * k;
        return {s * shape.Kp, s * shape.Ki, s * shape.Kd};
    }

    // C(e^(j theta)) of the shape at one grid point.
    std::complex<double> Controller(const Point& p, const Gains& shape, const LoopDerivative& d) const {
        std::complex<double> c = 0.0;
        if (type_ != TypeI) {
            c += shape.Kp;
        }
        if (type_ != TypeP) {
            c += shape.Ki * Ts_ * p.Sum;
        }
        if (type_ == TypePID && d.kd != 0.0) {
            c += d.kd * p.Difference / (1.0 - d.a2 * p.Z);
        }
        return c;
    }

    // The scales k at which the point k L of one frequency lies inside the
    // circle |1 + k L| < 1 / target: between the roots of |1 + k L|^2 = r^2,
    // Enter and Exit; Enter is MaxScale where the ray k L misses the circle.
    struct Crossing {
        double Enter = MaxScale;
        double Exit = MaxScale;
    };

    Crossing CrossingAt(const Point& p, const Gains& shape, const LoopDerivative& d) const {
        const std::complex<double> l = sign_ * Controller(p, shape, d) * p.Process;
        const double q = 1.0 - 1.0 / (target_ * target_);
        const double re = l.real();
        const double disc = re * re - std::norm(l) * q;
        if (!(re < 0.0 && disc >= 0.0)) {
            return {};
        }
        const double root = -re + std::sqrt(disc);
        return {q / root, root / std::norm(l)};
    }

    double EntryScale(const Point& p, const Gains& shape, const LoopDerivative& d) const {
        return CrossingAt(p, shape, d).Enter;
    }

    // The scales of the shape whose loop keeps |1 + k L| >= 1 / target at
    // every frequency, (Low, High]. High is the least entry scale above Low,
    // refined between the neighbours of its point as the loop figures refine
    // their peak; for a PID also the noise bound. Low is 0 unless the
    // controller sees an integrator and the curve comes from infinity along
    // the negative real axis (an integral term on an integrating process):
    // then the run of points from the lowest frequency on shuts out every
    // scale up to its largest exit scale, and so does any interval that
    // holds that. Every loop from scale 0 to High, or within (Low, High],
    // keeps the curve off -1: it is stable throughout when it is stable at
    // one scale.
    struct Scales {
        double Low = 0.0;
        double High = 0.0;
    };

    Scales ScaleRange(const Gains& shape) {
        const LoopDerivative d = DerivativeOf(shape, Ts_);
        crossings_.resize(grid_.size());
        for (std::size_t i = 0; i < grid_.size(); ++i) {
            crossings_[i] = CrossingAt(grid_[i], shape, d);
        }
        double low = 0.0;
        if (integrating_ && crossings_.front().Enter < MaxScale) {
            std::size_t lowAt = 0;
            for (std::size_t i = 0; i < crossings_.size() && crossings_[i].Enter < MaxScale; ++i) {
                if (crossings_[i].Exit > low) {
                    low = crossings_[i].Exit;
                    lowAt = i;
                }
            }
            order_.clear();
            for (std::size_t i = 0; i < crossings_.size(); ++i) {
                if (crossings_[i].Enter < MaxScale) {
                    order_.push_back(i);
                }
            }
            std::sort(order_.begin(), order_.end(),
                      [&](std::size_t a, std::size_t b) { return crossings_[a].Enter < crossings_[b].Enter; });
            // The exit scale that sets Low is refined between the neighbours
            // of its point (where the ray grazes the circle, between grid
            // points), as the figures refine their peak; a larger one may
            // reach further intervals.
            const auto exitScale = [&](double t) {
                const Crossing c = CrossingAt(PointAt(t), shape, d);
                return c.Enter < MaxScale ? -c.Exit : 0.0;
            };
            for (int round = 0; round < 8; ++round) {
                for (const std::size_t i : order_) {
                    if (crossings_[i].Enter > low) {
                        break;
                    }
                    if (crossings_[i].Exit > low) {
                        low = crossings_[i].Exit;
                        lowAt = i;
                    }
                }
                double refined = 0.0;
                GoldenMinimum(exitScale, theta_[lowAt == 0 ? 0 : lowAt - 1],
                              theta_[std::min(lowAt + 1, theta_.size() - 1)], 40, refined);
                if (!(-refined > low)) {
                    break;
                }
                low = -refined;
            }
        }
        double k = MaxScale;
        std::size_t at = 0;
        for (std::size_t i = 0; i < crossings_.size(); ++i) {
            const double ki = crossings_[i].Enter;
            if (ki > low && ki < k) {
                k = ki;
                at = i;
            }
        }
        if (k < MaxScale) {
            double refined = k;
            GoldenMinimum([&](double t) { return EntryScale(PointAt(t), shape, d); }, theta_[at == 0 ? 0 : at - 1],
                          theta_[std::min(at + 1, theta_.size() - 1)], 40, refined);
            if (refined > low) {
                k = std::min(k, refined);
            }
        }
        if (type_ == TypePID && std::isfinite(noiseBound_)) {
            const double nyquist = std::fabs(shape.Kp + 0.5 * shape.Ki * Ts_ + 2.0 * d.kd / (1.0 + d.a2));
            if (nyquist > 0.0) {
                k = std::min(k, noiseBound_ / nyquist);
            }
        }
        if (!(std::isfinite(k) && k > low)) {
            return {low, 0.0};
        }
        return {low, k};
    }

    // The load IAE of the gains, simulated as ComputeLoopFigures does it (the
    // same doubling horizons, sums and settling test, continued rather than
    // started again); a sum above `cap`, or one still unsettled at the
    // search horizon, is returned as it stands.
    double Iae(const Gains& g, double cap) {
        const LoopDerivative der = DerivativeOf(g, Ts_);
        const bool cascade = loop_.Cascade;
        const double D = 1.0 / loop_.K1;
        long long n = std::max<long long>(256, 8 * (d1_ + d2_ + 2));
        const long long horizon = std::min(MaxIaeSamples, SearchHorizonFactor * n);
        y1_.assign(static_cast<std::size_t>(d1_ + n + 1), 0.0);
        y2_.assign(cascade ? static_cast<std::size_t>(d2_ + n + 1) : 0, 0.0);
        std::vector<double>& Y = cascade ? y2_ : y1_;

        double e = 0.0;  // the controller law's error, integral and derivative terms
        double I = 0.0;
        double Dt = 0.0;
        double x1 = 0.0;  // process lag states, integrator states and the measurements
        double x2 = 0.0;
        double w1 = 0.0;
        double w2 = 0.0;
        double y1 = 0.0;
        double y = 0.0;
        double sum = 0.0;
        double peak = 0.0;
        long long summed = 0;  // samples already in the sum
        long long i = 0;       // steps already simulated
        for (;;) {
            for (; i < n; ++i) {
                const auto k = static_cast<std::size_t>(i);
                const double eOld = e;
                e = -y;
                const double P = g.Kp * e;
                I = I + g.Ki * e * Ts_;
                Dt = (e - eOld) * der.kd + der.a2 * Dt;
                double u = 0.0;
                switch (type_) {
                case TypeI: u = I; break;
                case TypePI: u = I + P; break;
                case TypePID: u = I + P + Dt; break;
                default: u = P; break;
                }
                // An integrating process integrates its lag's output.
                if (cascade) {
                    const double v = loop_.KpInner * (u - y1);
                    x1 = (v + D) * (1.0 - a1_) + a1_ * x1;
                    w1 = i1_ > 0.0 ? w1 + i1_ * x1 : x1;
                    y1_[static_cast<std::size_t>(d1_ + i + 1)] = loop_.K1 * w1;
                    y1 = y1_[k];
                    x2 = (1.0 - a3_) * y1 + a3_ * x2;
                    w2 = i2_ > 0.0 ? w2 + i2_ * x2 : x2;
                    y2_[static_cast<std::size_t>(d2_ + i + 1)] = loop_.K2 * w2;
                    y = y2_[k];
                } else {
                    x1 = (u + D) * (1.0 - a1_) + a1_ * x1;
                    w1 = i1_ > 0.0 ? w1 + i1_ * x1 : x1;
                    y1_[static_cast<std::size_t>(d1_ + i + 1)] = loop_.K1 * w1;
                    y = y1_[k];
                }
            }
            double tail = 0.0;
            for (long long k = n / 2; k < n; ++k) {
                tail = std::max(tail, std::fabs(Y[static_cast<std::size_t>(k)]));
            }
            // The sum and the peak over the samples new in this round.
            for (long long k = summed; k < n; ++k) {
                const double ek = std::fabs(Y[static_cast<std::size_t>(k)]);
                sum += ek;
                peak = std::max(peak, ek);
            }
            summed = n;
            if (!std::isfinite(sum)) {
                return Worst;
            }
            if (tail <= 1e-6 * peak) {
                return sum * Ts_;
            }
            if (sum * Ts_ > cap || 2 * n > horizon) {
                return sum * Ts_;
            }
            n *= 2;
            y1_.resize(static_cast<std::size_t>(d1_ + n + 1), 0.0);
            if (cascade) {
                y2_.resize(static_cast<std::size_t>(d2_ + n + 1), 0.0);
            }
        }
    }

    // The loop of the gains, as the loop figures take it.
    LoopDescription LoopOf(const Gains& g) const {
        LoopDescription l = loop_;
        l.Type = type_;
        l.Kp = g.Kp;
        l.Ki = g.Ki;
        l.Kd = g.Kd;
        return l;
    }

    // The load IAE of a shape at its largest scale; the best is kept. (A
    // scale range that starts above 0 may hold unstable loops: their error
    // grows, and the search passes them by.)
    double Value(const Gains& shape) {
        const double k = ScaleRange(shape).High;
        if (!(k > 0.0)) {
            return Worst;
        }
        return ValueAt(shape, k);
    }

    double ValueAt(const Gains& shape, double k) {
        const double v = Iae(Scaled(shape, k), 2.0 * best_);
        best_ = std::min(best_, v);
        return v;
    }

    static Gains PiShape(double logTi) { return {1.0, std::exp(-logTi), 0.0}; }
    static Gains PidShape(double logTi, double logTd) { return {1.0, std::exp(-logTi), std::exp(logTd)}; }

    // Ti over a thousandfold range around the process time, in steps of a
    // third, then refined between the neighbours of the best: from a
    // hundredth to ten times it, or from a tenth to a hundred times it when
    // the controller sees an integrator (whose PI needs a long Ti to stay
    // within the target).
    Gains BestPiShape() {
        const double centre = std::log(ProcessTime());
        const double lo = centre + std::log(integrating_ ? 0.1 : 0.01);
        const double hi = centre + std::log(integrating_ ? 100.0 : 10.0);
        const int steps = 24;
        const double h = (hi - lo) / steps;
        double bestX = lo;
        double bestV = Infinity;
        for (int i = 0; i <= steps; ++i) {
            const double x = lo + h * i;
            const double v = Value(PiShape(x));
            if (v < bestV) {
                bestV = v;
                bestX = x;
            }
        }
        double refined = Infinity;
        const double x = GoldenMinimum([&](double t) { return Value(PiShape(t)); }, bestX - h, bestX + h, 24, refined);
        piLogTi_ = refined < bestV ? x : bestX;
        return PiShape(piLogTi_);
    }

    // Nelder-Mead on log Ti and log Td from the PI optimum with a small
    // derivative, and from the PID tunings of SIMC and AMIGO; the PI optimum
    // itself (Td = 0) competes as well.
    Gains BestPidShape() {
        const int savedType = type_;
        type_ = TypePI;
        const Gains pi = BestPiShape();
        type_ = savedType;
        std::vector<std::array<double, 2>> starts = {{piLogTi_, piLogTi_ + std::log(0.125)}};
        for (int method : {int{Simc}, int{Amigo}}) {
            try {
                ModelParameters model;
                model.Gain = loop_.K1;
                model.TimeConstant = loop_.T1;
                model.DeadTime = loop_.L1;
                model.Type = loop_.Process1;
                const TuningResult r = TRegulator::TuneLoop(method, model, MaxLoopGain);
                const double Ti = r.KpPID / r.KiPID;
                const double Td = r.KdPID / r.KpPID;
                if (Ti > 0.0 && Td > 0.0 && std::isfinite(Ti) && std::isfinite(Td)) {
                    starts.push_back({std::log(Ti), std::log(Td)});
                }
            } catch (const HalvetraError&) {
                // no such tuning for this model: one start fewer
            }
        }
        Gains best = pi;
        double bestV = Value(pi);  // the PID shape with Td = 0 is the PI
        for (const auto& start : starts) {
            double v = Infinity;
            const auto x = NelderMead([&](const std::array<double, 2>& p) { return Value(PidShape(p[0], p[1])); },
                                      start, 0.3, 80, v);
            if (v < bestV) {
                bestV = v;
                best = PidShape(x[0], x[1]);
            }
        }
        return best;
    }

    // The scale at the shape: the largest one, unless the IAE falls when the
    // gains are a little smaller; then a golden-section search below it.
    double BestScale(const Gains& shape) {
        const Scales range = ScaleRange(shape);
        const double kMax = range.High;
        if (!(kMax > 0.0) || (range.Low > 0.0 && !LoopIsStable(LoopOf(Scaled(shape, kMax))))) {
            Fail(type_);
        }
        const double kMin = std::max(kMax / 30.0, range.Low);
        const double atMax = ValueAt(shape, kMax);
        if (!(0.97 * kMax > kMin)) {
            return kMax;
        }
        const double below = ValueAt(shape, 0.97 * kMax);
        if (!(below < atMax)) {
            return kMax;
        }
        double v = Infinity;
        const double x =
            GoldenMinimum([&](double t) { return ValueAt(shape, std::exp(t)); }, std::log(kMin), std::log(kMax), 30, v);
        return v < below ? std::exp(x) : 0.97 * kMax;
    }

    // The exact constraint: the gains are scaled down until the maximum
    // sensitivity of the loop figures is at most the target.
    OptimalGains Finish(const Gains& shape, double k) {
        if (!(k > 0.0)) {
            Fail(type_);
        }
        const auto ms = [&](double scale) { return LoopMaxSensitivity(LoopOf(Scaled(shape, scale))); };
        const auto meets = [&](const std::optional<double>& m) { return m && *m <= target_; };
        // The search's scale is refined as the figures' peak is, so it is off
        // by rounding at most: steps down from a millionth, doubling, find a
        // scale that meets the target; after a longer step, halvings bring it
        // back to within a hundred-thousandth.
        std::optional<double> m = ms(k);
        if (!meets(m)) {
            double hi = k;
            double lo = k;
            double step = 1e-6;
            std::optional<double> mLo;
            for (int i = 0; i < 64 && !meets(mLo); ++i, step = std::min(2.0 * step, 0.5)) {
                hi = lo;
                lo *= 1.0 - step;
                mLo = ms(lo);
            }
            if (!meets(mLo)) {
                Fail(type_);
            }
            while (hi - lo > 1e-5 * hi) {
                const double mid = 0.5 * (lo + hi);
                const std::optional<double> mMid = ms(mid);
                if (meets(mMid)) {
                    lo = mid;
                    mLo = mMid;
                } else {
                    hi = mid;
                }
            }
            k = lo;
            m = mLo;
        }
        const Gains g = Scaled(shape, k);
        if (!std::isfinite(g.Kp) || !std::isfinite(g.Ki) || !std::isfinite(g.Kd)) {
            Fail(type_);
        }
        return {g.Kp, g.Ki, g.Kd, *m};
    }

    LoopDescription loop_;
    double target_;
    double Ts_ = 1.0;
    double a1_ = 0.0;
    double a3_ = 0.0;
    long long d1_ = 0;
    long long d2_ = 0;
    double i1_ = 0.0;  // the integrator's gain Ts of an integrating process, else 0
    double i2_ = 0.0;
    bool integrating_ = false;
    double sign_ = 1.0;
    bool feasible_ = true;
    std::vector<Point> grid_;
    std::vector<double> theta_;

    int type_ = TypePI;
    double noiseBound_ = Infinity;
    double best_ = Infinity;
    double piLogTi_ = 0.0;
    std::vector<double> y1_;
    std::vector<double> y2_;
    std::vector<Crossing> crossings_;
    std::vector<std::size_t> order_;
};

}  // namespace

double OptimalMsTarget(int position) { return 1.2 + 0.04 * static_cast<double>(std::clamp(position, 0, 20)); }

OptimalGains OptimiseController(const LoopDescription& loop, int type, double msTarget, double maxNoiseGain) {
    Search search(loop, msTarget);
    return search.Optimise(type, maxNoiseGain);
}

namespace {

// The noise gain |C(e^(j pi))| of a PI controller at sampling time Ts.
double PiNoiseGain(const OptimalGains& pi, double Ts) { return std::fabs(pi.Kp + 0.5 * pi.Ki * Ts); }

// The loop of the (inner) process at sampling time Ts, without a controller.
LoopDescription ProcessLoop(double Ts, const ModelParameters& process) {
    LoopDescription loop;
    loop.Ts = Ts;
    loop.K1 = process.Gain;
    loop.T1 = process.TimeConstant;
    loop.L1 = process.DeadTime;
    loop.Process1 = process.Type;
    return loop;
}

// The four controllers' gains from the PI and PID optima and the I and P
// searches. No I controller holds an integrating process (the one the
// controller acts on): its gain stays 0, as with SIMC and AMIGO.
TuningResult AllControllers(Search& search, ProcessType controlled, const OptimalGains& pi, const OptimalGains& pid) {
    TuningResult r;
    if (controlled == ProcessType::SelfRegulating) {
        r.KiI = search.Optimise(TypeI, Infinity).Ki;
    }
    r.KpP = search.Optimise(TypeP, Infinity).Kp;
    r.KpPI = pi.Kp;
    r.KiPI = pi.Ki;
    r.KpPID = pid.Kp;
    r.KiPID = pid.Ki;
    r.KdPID = pid.Kd;
    return r;
}

}  // namespace

TuningResult TuneOptimalLoop(double msTarget, double Ts, const ModelParameters& process) {
    Search search(ProcessLoop(Ts, process), msTarget);
    const OptimalGains pi = search.Optimise(TypePI, Infinity);
    const OptimalGains pid = search.Optimise(TypePID, PidNoiseGainRatio * PiNoiseGain(pi, Ts));
    return AllControllers(search, process.Type, pi, pid);
}

CascadeTuning TuneOptimalCascade(double msTarget, double Ts, const ModelParameters& inner,
                                 const ModelParameters& outer) {
    if (!(Ts > 0.0) || inner.Gain == 0.0) {
        throw FloatingPointError(DivisionByZero);
    }
    CascadeTuning c;
    c.KpInner = TRegulator::TuneCascade(Simc, inner, outer, MaxLoopGain).KpInner;
    LoopDescription loop = ProcessLoop(Ts, inner);
    loop.Cascade = true;
    loop.KpInner = c.KpInner;
    loop.K2 = outer.Gain;
    loop.T2 = outer.TimeConstant;
    loop.L2 = outer.DeadTime;
    loop.Process2 = outer.Type;
    Search search(loop, msTarget);
    const OptimalGains pi = search.Optimise(TypePI, Infinity);
    // The outer PID of a cascade is its PI, as for every other rule.
    c.Outer = AllControllers(search, outer.Type, pi, pi);
    return c;
}

}  // namespace halvetra
