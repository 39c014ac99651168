#include "controller/LoopFigures.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <utility>
#include <vector>

#include "controller/LoopTerms.h"
#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/NumberText.h"

namespace halvetra {

namespace {

constexpr const char* DivisionByZero = "Floating point division by zero";
constexpr double Pi = std::numbers::pi;

// The simulation runs at most this many steps when it looks for the loop to
// settle.
constexpr int MaxIaeSamples = 1 << 20;

using Poly = std::vector<double>;  // coefficients of z^0, z^-1, z^-2, ...

Poly Multiply(const Poly& a, const Poly& b) {
    Poly r(a.size() + b.size() - 1, 0.0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t j = 0; j < b.size(); ++j) {
            r[i + j] += a[i] * b[j];
        }
    }
    return r;
}

Poly Add(Poly a, const Poly& b) {
    if (a.size() < b.size()) {
        a.resize(b.size(), 0.0);
    }
    for (std::size_t i = 0; i < b.size(); ++i) {
        a[i] += b[i];
    }
    return a;
}

Poly Scale(Poly a, double k) {
    for (double& v : a) {
        v *= k;
    }
    return a;
}

Poly Delay(long long samples, double gain) {
    Poly p(static_cast<std::size_t>(samples) + 1, 0.0);
    p.back() = gain;
    return p;
}

// The loop as polynomials in z^-1: controller Cn / Cd, process Pn / Pd.
struct LoopPolys {
    Poly Cn, Cd, Pn, Pd;
};

LoopPolys BuildPolys(const LoopDescription& s) {
    LoopPolys p;
    const bool hasP = s.Type == TypePI || s.Type == TypePID || s.Type == TypeP;
    const double ci = s.Type == TypeP ? 0.0 : s.Ki * s.Ts;
    const bool hasI = ci != 0.0;
    const LoopDerivative derivative = s.Type == TypePID ? LoopDerivativeTerm(s.Kp, s.Kd, s.Ts) : LoopDerivative{};
    const double kd = derivative.kd;
    const double a2 = derivative.a2;
    const bool hasD = kd != 0.0;
    const Poly integrator = hasI ? Poly{1.0, -1.0} : Poly{1.0};
    const Poly filter = hasD ? Poly{1.0, -a2} : Poly{1.0};
    p.Cd = Multiply(integrator, filter);
    p.Cn = Scale(p.Cd, hasP ? s.Kp : 0.0);
    if (hasI) {
        p.Cn = Add(p.Cn, Scale(filter, ci));
    }
    if (hasD) {
        p.Cn = Add(p.Cn, Scale(Multiply(integrator, Poly{1.0, -1.0}), kd));
    }

    const double a1 = LoopLagPole(s.Ts, s.T1);
    const long long d1 = LoopDeadTimeSamples(s.L1, s.Ts);
    const bool integrating1 = s.Process1 == ProcessType::Integrating;
    const bool integrating2 = s.Cascade && s.Process2 == ProcessType::Integrating;
    if (integrating1 || integrating2) {
        // Each process as numerator / denominator, an integrating one with
        // Ts / (1 - z^-1); the inner one without its measurement lag.
        Poly n1 = Delay(d1 + 1, s.K1 * (1.0 - a1));
        Poly d1p = {1.0, -a1};
        if (integrating1) {
            n1 = Scale(n1, s.Ts);
            d1p = Multiply(d1p, Poly{1.0, -1.0});
        }
        if (!s.Cascade) {
            p.Pn = Multiply(n1, Poly{0.0, 1.0});
            p.Pd = d1p;
            return p;
        }
        const double a3 = LoopLagPole(s.Ts, s.T2);
        const long long d2 = LoopDeadTimeSamples(s.L2, s.Ts);
        Poly n2 = Delay(d2 + 2, s.K2 * (1.0 - a3));
        Poly d2p = {1.0, -a3};
        if (integrating2) {
            n2 = Scale(n2, s.Ts);
            d2p = Multiply(d2p, Poly{1.0, -1.0});
        }
        // T1 = Kc n1 / (d1 + Kc z^-1 n1) in series with n2 / d2.
        p.Pn = Scale(Multiply(n1, n2), s.KpInner);
        p.Pd = Multiply(d2p, Add(d1p, Scale(Multiply(n1, Poly{0.0, 1.0}), s.KpInner)));
        return p;
    }
    if (!s.Cascade) {
        p.Pn = Delay(d1 + 2, s.K1 * (1.0 - a1));
        p.Pd = {1.0, -a1};
        return p;
    }
    const double a3 = LoopLagPole(s.Ts, s.T2);
    const long long d2 = LoopDeadTimeSamples(s.L2, s.Ts);
    const double innerGain = s.KpInner * s.K1 * (1.0 - a1);
    p.Pn = Delay(d1 + d2 + 3, innerGain * s.K2 * (1.0 - a3));
    p.Pd = Multiply(Poly{1.0, -a3}, Add(Poly{1.0, -a1}, Delay(d1 + 2, innerGain)));
    return p;
}

// Schur-Cohn step-down test on the characteristic polynomial c(z^-1): all
// roots in z inside the unit circle.
bool SchurStable(Poly c) {
    while (!c.empty() && c.back() == 0.0) {
        c.pop_back();
    }
    if (c.empty() || c.front() == 0.0) {
        return false;
    }
    for (std::size_t n = c.size() - 1; n > 0; --n) {
        const double k = c[n] / c[0];
        if (!(std::fabs(k) < 1.0)) {
            return false;
        }
        Poly next(n);
        for (std::size_t i = 0; i < n; ++i) {
            next[i] = c[i] - k * c[n - i];
        }
        const double lead = next[0];
        for (double& v : next) {
            v /= lead;
        }
        c = std::move(next);
    }
    return true;
}

// A polynomial by its nonzero terms: the dead times make the process
// polynomials long but sparse.
struct Term {
    double Power;
    double Coefficient;
};
using SparsePoly = std::vector<Term>;

SparsePoly Sparse(const Poly& p) {
    SparsePoly s;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] != 0.0) {
            s.push_back({static_cast<double>(i), p[i]});
        }
    }
    return s;
}

std::complex<double> Evaluate(const SparsePoly& p, double theta) {
    std::complex<double> r = 0.0;
    for (const Term& t : p) {
        r += t.Coefficient * std::polar(1.0, -theta * t.Power);
    }
    return r;
}

class Response {
public:
    explicit Response(const LoopDescription& loop)
        : p_(BuildPolys(loop)), cn_(Sparse(p_.Cn)), cd_(Sparse(p_.Cd)), pn_(Sparse(p_.Pn)), pd_(Sparse(p_.Pd)) {}

    std::complex<double> operator()(double theta) const {
        return Evaluate(cn_, theta) * Evaluate(pn_, theta) / (Evaluate(cd_, theta) * Evaluate(pd_, theta));
    }

    const LoopPolys& Polys() const { return p_; }

private:
    LoopPolys p_;
    SparsePoly cn_, cd_, pn_, pd_;
};

// Golden-section search for the maximum of f on [lo, hi], at most `best`.
template <class F>
double RefineMaximum(F f, double lo, double hi, double best) {
    const GoldenPoints g = GoldenSection([&](double t) { return -f(t); }, lo, hi, 60, 1e-13);
    return std::max({best, -g.Fc, -g.Fd});
}

// The root of g between lo and hi where g changes sign.
template <class G>
double Bisect(G g, double lo, double hi) {
    double glo = g(lo);
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double gm = g(mid);
        if ((gm <= 0.0) == (glo <= 0.0)) {
            lo = mid;
            glo = gm;
        } else {
            hi = mid;
        }
    }
    return 0.5 * (lo + hi);
}

// Sum |R - y| Ts of the simulated loop run until the error has settled: the
// horizon doubles until the second half of the run stays below a millionth
// of the largest error. Empty when it has not settled within MaxIaeSamples.
std::optional<double> SimulatedIae(const LoopDescription& s, double R, double D) {
    const long long d = LoopDeadTimeSamples(s.L1, s.Ts) + (s.Cascade ? LoopDeadTimeSamples(s.L2, s.Ts) : 0);
    int n = static_cast<int>(std::max<long long>(256, 8 * (d + 2)));
    std::vector<double> Y;
    std::vector<double> Y1;
    while (n <= MaxIaeSamples) {
        if (s.Cascade) {
            Y.assign(static_cast<std::size_t>(LoopArraySize(n, s.L2, s.Ts)), 0.0);
            Y1.assign(static_cast<std::size_t>(LoopArraySize(n, s.L1, s.Ts)), 0.0);
            TRegulator::SimulateCascade(s.Type, n, Y, Y1, s.Kp, s.Ki, s.Kd, s.KpInner, R, D, s.Ts, s.K1, s.T1, s.L1,
                                        s.K2, s.T2, s.L2, s.Process1, s.Process2);
        } else {
            Y.assign(static_cast<std::size_t>(LoopArraySize(n, s.L1, s.Ts)), 0.0);
            TRegulator::SimulateLoop(s.Type, n, Y, s.Kp, s.Ki, s.Kd, R, D, s.Ts, s.K1, s.T1, s.L1, s.Process1);
        }
        double sum = 0.0;
        double peak = 0.0;
        double tail = 0.0;
        for (int k = 0; k < n; ++k) {
            const double e = std::fabs(R - Y[static_cast<std::size_t>(k)]);
            sum += e;
            peak = std::max(peak, e);
            if (k >= n / 2) {
                tail = std::max(tail, e);
            }
        }
        if (!std::isfinite(sum)) {
            return std::nullopt;
        }
        if (tail <= 1e-6 * peak) {
            return sum * s.Ts;
        }
        n *= 2;
    }
    return std::nullopt;
}

std::optional<double> Finite(double v) { return std::isfinite(v) ? std::optional<double>(v) : std::nullopt; }

// A grid fine enough for the phase of the longest delay term (at most a
// thirty-second of a turn between points), with L at every point.
struct FrequencyGrid {
    std::vector<double> Theta;
    std::vector<std::complex<double>> Values;
};

FrequencyGrid MakeGrid(const Response& L) {
    const LoopPolys& p = L.Polys();
    const auto degree = static_cast<long long>(std::max({p.Pn.size(), p.Pd.size(), p.Cn.size(), p.Cd.size()}));
    const int N = static_cast<int>(std::max<long long>(1024, 16 * degree));
    FrequencyGrid g;
    g.Theta.resize(static_cast<std::size_t>(N) + 1);
    g.Values.resize(g.Theta.size());
    for (int i = 0; i <= N; ++i) {
        // theta[0] is a tiny positive frequency: L has a pole at 0 with an integrator.
        const auto k = static_cast<std::size_t>(i);
        g.Theta[k] = i == 0 ? Pi * 1e-6 / N : Pi * i / N;
        g.Values[k] = L(g.Theta[k]);
    }
    return g;
}

// The grid points on both sides of point i, where a peak found at i is refined.
std::pair<double, double> Bracket(const FrequencyGrid& g, std::size_t i) {
    return {g.Theta[i == 0 ? 0 : i - 1], g.Theta[std::min(i + 1, g.Values.size() - 1)]};
}

// The largest 1 / |1 + L|: the grid's peak, refined between its neighbours.
std::optional<double> MaxSensitivity(const Response& L, const FrequencyGrid& g) {
    std::size_t iS = 0;
    for (std::size_t i = 0; i < g.Values.size(); ++i) {
        if (std::abs(1.0 + g.Values[i]) < std::abs(1.0 + g.Values[iS])) {
            iS = i;
        }
    }
    const auto sensitivity = [&](double t) { return 1.0 / std::abs(1.0 + L(t)); };
    const auto [lo, hi] = Bracket(g, iS);
    return Finite(RefineMaximum(sensitivity, lo, hi, sensitivity(g.Theta[iS])));
}

}  // namespace

std::complex<double> LoopFrequencyResponse(const LoopDescription& loop, double theta) { return Response(loop)(theta); }

bool LoopIsStable(const LoopDescription& loop) {
    const LoopPolys p = BuildPolys(loop);
    return SchurStable(Add(Multiply(p.Cd, p.Pd), Multiply(p.Cn, p.Pn)));
}

std::optional<double> LoopMaxSensitivity(const LoopDescription& loop) {
    if (!(loop.Ts > 0.0) || loop.K1 == 0.0) {
        throw FloatingPointError(DivisionByZero);
    }
    const Response L(loop);
    const LoopPolys& p = L.Polys();
    if (!SchurStable(Add(Multiply(p.Cd, p.Pd), Multiply(p.Cn, p.Pn)))) {
        return std::nullopt;
    }
    return MaxSensitivity(L, MakeGrid(L));
}

LoopFigures ComputeLoopFigures(const LoopDescription& loop) {
    if (!(loop.Ts > 0.0) || loop.K1 == 0.0) {
        throw FloatingPointError(DivisionByZero);
    }
    LoopFigures fig;
    const Response L(loop);
    const LoopPolys& p = L.Polys();
    fig.Stable = SchurStable(Add(Multiply(p.Cd, p.Pd), Multiply(p.Cn, p.Pn)));
    if (!fig.Stable) {
        return fig;
    }

    const FrequencyGrid grid = MakeGrid(L);
    const std::vector<double>& theta = grid.Theta;
    const std::vector<std::complex<double>>& values = grid.Values;
    fig.Ms = MaxSensitivity(L, grid);
    const auto complementary = [&](double t) {
        const auto l = L(t);
        return std::abs(l / (1.0 + l));
    };
    std::size_t iT = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& l = values[i];
        const auto& lt = values[iT];
        if (std::abs(l / (1.0 + l)) > std::abs(lt / (1.0 + lt))) {
            iT = i;
        }
    }
    {
        const auto [lo, hi] = Bracket(grid, iT);
        fig.Mt = Finite(RefineMaximum(complementary, lo, hi, complementary(theta[iT])));
    }

    const auto magnitudeLess1 = [&](double t) { return std::abs(L(t)) - 1.0; };
    const auto imaginary = [&](double t) { return L(t).imag(); };
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        const auto& a = values[i];
        const auto& b = values[i + 1];
        if ((std::abs(a) - 1.0) * (std::abs(b) - 1.0) <= 0.0 && std::abs(a) != std::abs(b)) {
            const double t = Bisect(magnitudeLess1, theta[i], theta[i + 1]);
            double pm = 180.0 + std::arg(L(t)) * 180.0 / Pi;
            if (pm > 180.0) {
                pm -= 360.0;
            }
            if (!fig.PhaseMarginDeg || pm < *fig.PhaseMarginDeg) {
                fig.PhaseMarginDeg = pm;
            }
        }
        if (a.imag() * b.imag() <= 0.0 && a.imag() != b.imag() && (a.real() < 0.0 || b.real() < 0.0)) {
            const double t = Bisect(imaginary, theta[i], theta[i + 1]);
            const auto l = L(t);
            if (l.real() < 0.0) {
                const double gm = 1.0 / std::abs(l);
                if (!fig.GainMargin || gm < *fig.GainMargin) {
                    fig.GainMargin = gm;
                }
            }
        }
    }
    // At the Nyquist frequency L is real: a negative value is a -180 degree crossing.
    const auto lN = values.back();
    if (lN.real() < 0.0) {
        const double gm = 1.0 / std::abs(lN);
        if (!fig.GainMargin || gm < *fig.GainMargin) {
            fig.GainMargin = gm;
        }
    }
    if (fig.GainMargin) {
        fig.GainMargin = Finite(*fig.GainMargin);
    }

    if (loop.Type != TypeP) {
        fig.IaeSetpoint = SimulatedIae(loop, 1.0, 0.0);
        fig.IaeDisturbance = SimulatedIae(loop, 0.0, 1.0 / loop.K1);
    }
    return fig;
}

ControllerFigures ComputeControllerFigures(const ControllerTuning& tuning, double Ts, const ModelParameters& inner,
                                           const ModelParameters& outer) {
    if (!(Ts > 0.0) || inner.Gain == 0.0) {
        throw FloatingPointError(DivisionByZero);
    }
    const TuningResult& G = tuning.Result;
    const double f = tuning.Factor;
    ControllerFigures figures;
    for (int type = TypeI; type <= TypeP; ++type) {
        LoopDescription loop;
        loop.Type = type;
        switch (type) {
        case TypeI: loop.Ki = G.KiI * f; break;
        case TypePI:
            loop.Kp = G.KpPI * f;
            loop.Ki = G.KiPI * f;
            break;
        case TypePID:
            loop.Kp = G.KpPID * f;
            loop.Ki = G.KiPID * f;
            loop.Kd = G.KdPID * f;
            break;
        default: loop.Kp = G.KpP * f; break;
        }
        if (loop.Kp == 0.0 && loop.Ki == 0.0 && loop.Kd == 0.0) {
            continue;
        }
        if (!std::isfinite(loop.Kp) || !std::isfinite(loop.Ki) || !std::isfinite(loop.Kd)) {
            continue;
        }
        loop.Ts = Ts;
        loop.Cascade = tuning.Cascade;
        loop.KpInner = tuning.KpInner;
        loop.K1 = inner.Gain;
        loop.T1 = inner.TimeConstant;
        loop.L1 = inner.DeadTime;
        loop.K2 = outer.Gain;
        loop.T2 = outer.TimeConstant;
        loop.L2 = outer.DeadTime;
        loop.Process1 = inner.Type;
        loop.Process2 = outer.Type;
        figures[static_cast<std::size_t>(type)] = ComputeLoopFigures(loop);
    }
    return figures;
}

}  // namespace halvetra

namespace halvetra {

LoopFigureTexts FormatLoopFigures(const std::optional<LoopFigures>& figures, char decimalSeparator) {
    const std::string none = "\u2014";
    LoopFigureTexts texts;
    texts.fill(none);
    if (!figures) {
        return texts;
    }
    if (!figures->Stable) {
        texts[0] = "unstable";
        return texts;
    }
    const std::pair<const std::optional<double>*, int> cells[FigureColumns] = {{&figures->Ms, 2},
                                                                               {&figures->GainMargin, 2},
                                                                               {&figures->PhaseMarginDeg, 1},
                                                                               {&figures->IaeSetpoint, 3},
                                                                               {&figures->IaeDisturbance, 3}};
    for (int i = 0; i < FigureColumns; ++i) {
        const auto& [value, decimals] = cells[i];
        if (*value && std::isfinite(**value)) {
            texts[static_cast<std::size_t>(i)] = FormatFixed(**value, 15, decimals, decimalSeparator);
        }
    }
    return texts;
}

FigureTableTexts FormatFigureTable(const ControllerFigures& figures, char decimalSeparator) {
    FigureTableTexts rows{};
    bool any = false;
    for (const auto& f : figures) {
        any = any || f.has_value();
    }
    if (!any) {
        return rows;
    }
    const int order[4] = {TypeI, TypeP, TypePI, TypePID};
    for (std::size_t row = 0; row < rows.size(); ++row) {
        rows[row] = FormatLoopFigures(figures[static_cast<std::size_t>(order[row])], decimalSeparator);
    }
    return rows;
}

RobustnessBand BandOfMs(double ms) {
    if (ms < 1.4) {
        return RobustnessBand::Robust;
    }
    return ms <= 2.0 ? RobustnessBand::Normal : RobustnessBand::Aggressive;
}

}  // namespace halvetra
