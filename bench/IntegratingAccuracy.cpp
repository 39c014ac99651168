// The accuracy of the integrating model on synthetic records with known slope
// gain, lag and dead time, clean and noisy, and how often "auto" calls each
// record integrating (self-regulating records included): prints, per
// scenario, the mean error and its spread over the noisy records of K (per
// cent), T and L (in sampling periods). The truths are in the model's
// convention: the inner dead time plus one sampling period, the outer one
// plus half a sampling period (its input is measured, not held).
//
//   build/NAME/bench/integrating-accuracy [RECORDS]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "model/IntegratingModel.h"
#include "model/TModel.h"

namespace {

using namespace halvetra;

struct Process {
    double K, T, L;
    bool integrating;
};

struct Scenario {
    const char* name;
    double ts;
    int n, step, back;  // the input is 1 from `step`, 0 again from `back` (0: never)
    Process inner, outer;
    double noise;   // standard deviation as a fraction of the reported output's largest change
    bool outerRow;  // the row reports the outer process
};

// Step responses at time s after the step reaches the process: the inner
// process, and the integral of a self-regulating inner output (the level
// behind it, before its own gain).
double InnerStep(const Process& p, double s) {
    if (!(s > 0)) return 0.0;
    if (!p.integrating) return p.K * -std::expm1(-s / p.T);
    return p.K * (p.T > 0 ? s + p.T * std::expm1(-s / p.T) : s);
}
double IntegralOfInnerStep(const Process& p, double s) { return s > 0 ? p.K * (s + p.T * std::expm1(-s / p.T)) : 0.0; }

IdentificationWindow Record(const Scenario& s, std::mt19937& random) {
    IdentificationWindow w;
    w.WindowLength = s.n;
    std::normal_distribution<double> e(0.0, 1.0);
    std::vector<double> y(s.n), y2(s.n);
    for (int k = 0; k < s.n; ++k) {
        const double t = k * s.ts;
        const double up = t - s.step * s.ts, down = t - s.back * s.ts;
        w.WindowTime[k] = t;
        w.WindowU[k] = k >= s.step && (s.back == 0 || k < s.back) ? 1.0 : 0.0;
        y[k] = InnerStep(s.inner, up - s.inner.L) - (s.back ? InnerStep(s.inner, down - s.inner.L) : 0.0);
        // Only a level behind a self-regulating inner process has a closed form here.
        const double L = s.inner.L + s.outer.L;
        y2[k] = s.outer.K *
                (IntegralOfInnerStep(s.inner, up - L) - (s.back ? IntegralOfInnerStep(s.inner, down - L) : 0.0));
    }
    double span = 0.0;
    for (int k = 0; k < s.n; ++k) span = std::max(span, std::abs(s.outerRow ? y2[k] : y[k]));
    for (int k = 0; k < s.n; ++k) {
        w.WindowY[k] = y[k] + (s.outerRow ? 0.0 : s.noise * span * e(random));
        w.WindowY2[k] = y2[k] + (s.outerRow ? s.noise * span * e(random) : 0.0);
    }
    return w;
}

struct Stat {
    double sum = 0, squares = 0;
    int count = 0;
    void add(double v) { sum += v, squares += v * v, ++count; }
    double mean() const { return count ? sum / count : 0.0; }
    double spread() const { return count > 1 ? std::sqrt(std::max(squares / count - mean() * mean(), 0.0)) : 0.0; }
};

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 50;
    const Process flow{1.5, 4.0, 1.0, false};
    const Process level{0.01, 0.0, 4.0, true};
    const Process none{0.0, 1.0, 0.0, false};
    const Scenario scenarios[] = {
        {"pure, step", 1.0, 200, 10, 0, {0.02, 0.0, 3.0, true}, none, 0.0, false},
        {"pure, pulse, L 2.3 s, Ts 0.5 s", 0.5, 300, 10, 40, {0.05, 0.0, 2.3, true}, none, 0.0, false},
        {"lag 8 s, step", 1.0, 250, 10, 0, {0.01, 8.0, 4.0, true}, none, 0.0, false},
        {"lag 15 s, pulse, Ts 2 s", 2.0, 200, 5, 30, {0.004, 15.0, 6.8, true}, none, 0.0, false},
        {"negative gain, lag, pulse", 1.0, 200, 10, 50, {-0.03, 5.0, 2.5, true}, none, 0.0, false},
        {"level behind a flow (outer)", 1.0, 300, 10, 60, flow, level, 0.0, true},
        {"pure, pulse, 1 % noise", 1.0, 300, 10, 40, {0.05, 0.0, 3.0, true}, none, 0.01, false},
        {"lag, step, 1 % noise", 1.0, 300, 10, 0, {0.02, 6.0, 3.0, true}, none, 0.01, false},
        {"negative, lag, pulse, 2 % noise", 0.5, 400, 20, 100, {-0.04, 3.0, 2.0, true}, none, 0.02, false},
        {"level behind a flow (outer), 1 % noise", 1.0, 300, 10, 60, flow, level, 0.01, true},
        {"self-regulating, step, 1 % noise", 1.0, 300, 10, 0, {2.0, 20.0, 3.0, false}, none, 0.01, false},
        {"self-regulating, window 2 T, 1 % noise", 1.0, 110, 10, 0, {1.0, 50.0, 3.0, false}, none, 0.01, false},
        {"self-regulating, pulse, 2 % noise", 1.0, 200, 10, 60, {-2.0, 12.0, 4.0, false}, none, 0.02, false},
        {"self-regulating, window T / 2 (a ramp to the eye), 1 % noise",
         1.0,
         110,
         10,
         0,
         {1.0, 200.0, 3.0, false},
         none,
         0.01,
         false},
        {"self-regulating, window T, clean", 1.0, 110, 10, 0, {1.0, 100.0, 3.0, false}, none, 0.0, false},
    };
    std::printf("| Record | K error %% | T error [Ts] | L error [Ts] | called integrating |\n|---|---|---|---|---|\n");
    std::mt19937 random(2026);
    for (const Scenario& s : scenarios) {
        const int count = s.noise > 0 ? records : 1;
        const Process& truth = s.outerRow ? s.outer : s.inner;
        const double convention = s.outerRow ? 0.5 * s.ts : s.ts;
        Stat k, t, l;
        int integrating = 0;
        for (int r = 0; r < count; ++r) {
            IdentificationWindow w = Record(s, random);
            TModel model;
            model.Identify(w, s.n, s.ts, 0.05 * (s.n - 1) * s.ts);
            ApplyProcessChoice(model, w, s.ts, ProcessChoice::Auto, ProcessChoice::Auto);
            const ModelParameters& m = s.outerRow ? model.Outer : model.Inner;
            if (m.Type != ProcessType::Integrating) continue;
            ++integrating;
            k.add(100.0 * (m.Gain / truth.K - 1.0));
            t.add((m.TimeConstant - truth.T) / s.ts);
            l.add((m.DeadTime - truth.L - convention) / s.ts);
        }
        if (!truth.integrating || k.count == 0) {
            std::printf("| %s | | | | %d of %d |\n", s.name, integrating, count);
            continue;
        }
        std::printf("| %s | %+.4f ± %.4f | %+.4f ± %.4f | %+.4f ± %.4f | %d of %d |\n", s.name, k.mean(), k.spread(),
                    t.mean(), t.spread(), l.mean(), l.spread(), integrating, count);
    }
    return 0;
}
