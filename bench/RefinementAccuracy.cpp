// The accuracy of the identified and the refined models on synthetic cascade
// step records with known gains, time constants and dead times, clean and
// noisy: prints the mean error (and its spread over the noisy records) of K,
// T and L, identified and refined side by side. The truths are in the
// models' convention: the inner dead time plus one sampling period, the outer
// one plus half a sampling period (its input is measured, not held).
//
//   build/NAME/bench/refinement-accuracy [RECORDS]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "model/ModelRefinement.h"
#include "model/TModel.h"

namespace {

using namespace halvetra;

struct Process {
    double K, T, L;
};

struct Scenario {
    const char* name;
    double ts;
    int n, step;
    Process inner, outer;
    double innerNoise, outerNoise;  // standard deviations as fractions of each output's change
    bool outerRow;                  // the row reports the outer process
};

// The continuous inner output at time t for a step of 1 at time t0.
double InnerAt(const Process& p, double t, double t0) {
    const double s = t - t0 - p.L;
    return s > 0 ? p.K * -std::expm1(-s / p.T) : 0.0;
}

// A record sampled from the continuous cascade: the held input steps to 1 at
// sample `step`; the outer process is driven by the continuous inner output,
// integrated on a grid 200 times finer than the sampling with the input
// taken as linear over each fine step.
IdentificationWindow Record(const Scenario& s, std::mt19937& random) {
    IdentificationWindow w;
    w.WindowLength = s.n;
    const double t0 = s.step * s.ts;
    const int fine = 200;
    const double h = s.ts / fine;
    const double a = std::exp(-h / s.outer.T);
    // Exact response over one fine step to an input linear from v0 to v1.
    const double b1 = 1.0 - s.outer.T / h * (1.0 - a);
    std::normal_distribution<double> e(0.0, 1.0);
    double y2 = 0.0;
    for (int k = 0; k < s.n; ++k) {
        const double t = k * s.ts;
        w.WindowTime[k] = t;
        w.WindowU[k] = k >= s.step ? 1.0 : 0.0;
        w.WindowY[k] = InnerAt(s.inner, t, t0) + s.innerNoise * s.inner.K * e(random);
        w.WindowY2[k] = y2 + s.outerNoise * s.inner.K * s.outer.K * e(random);
        for (int f = 0; f < fine; ++f) {
            const double tf = t + f * h - s.outer.L;
            const double v0 = InnerAt(s.inner, tf, t0), v1 = InnerAt(s.inner, tf + h, t0);
            y2 = a * y2 + s.outer.K * ((1.0 - a - b1) * v0 + b1 * v1);
        }
    }
    return w;
}

struct Errors {
    double sum[6] = {}, squares[6] = {};  // identified K, T, L, refined K, T, L [%, %, s]
    int records = 0, kept = 0;
    void Add(const double (&e)[6]) {
        for (int i = 0; i < 6; ++i) {
            sum[i] += e[i];
            squares[i] += e[i] * e[i];
        }
        ++records;
    }
    double Mean(int i) const { return sum[i] / records; }
    double Spread(int i) const {
        return records > 1 ? std::sqrt(std::max(0.0, (squares[i] - sum[i] * sum[i] / records) / (records - 1))) : 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int noisyRecords = argc > 1 ? std::atoi(argv[1]) : 100;
    const Scenario scenarios[] = {
        {"inner, clean, T/Ts 10, L 3 Ts", 1.0, 300, 10, {2.0, 10.0, 3.0}, {0.5, 15.0, 5.0}, 0.0, 0.0, false},
        {"inner, clean, T 4, Ts 0.5, L 1.3", 0.5, 200, 10, {1.5, 4.0, 1.3}, {0.8, 6.0, 2.0}, 0.0, 0.0, false},
        {"inner, 1 % noise, T/Ts 10, L 3.4 Ts", 1.0, 300, 10, {2.0, 10.0, 3.4}, {0.5, 15.0, 5.0}, 0.01, 0.01, false},
        {"outer, clean, Ts 0.1, T 20, L 5", 0.1, 3000, 50, {1.5, 5.0, 2.0}, {0.8, 20.0, 5.0}, 0.0, 0.0, true},
        {"outer, 5 % noise, Ts 0.1, T 20, L 5", 0.1, 3000, 50, {1.5, 5.0, 2.0}, {0.8, 20.0, 5.0}, 0.01, 0.05, true},
        {"outer, 5 % noise, Ts 0.02, T 20, L 5", 0.02, 5000, 100, {1.5, 5.0, 2.0}, {0.8, 20.0, 5.0}, 0.01, 0.05, true},
    };
    std::printf("%-38s %9s | %21s %21s %21s | %21s %21s %21s | %s\n", "record", "records", "identified K [%]", "T [%]",
                "L [s]", "refined K [%]", "T [%]", "L [s]", "kept");
    for (const Scenario& s : scenarios) {
        const bool noisy = s.innerNoise > 0 || s.outerNoise > 0;
        const int records = noisy ? noisyRecords : 1;
        Errors errors;
        std::mt19937 random(2026);
        for (int r = 0; r < records; ++r) {
            IdentificationWindow w = Record(s, random);
            TModel model;
            model.Identify(w, s.n, s.ts, 0.05 * (s.n - 1) * s.ts);
            const RefinedModels refined = RefineModels(w, s.ts, model.Inner, model.Outer);
            const ModelParameters& id = s.outerRow ? model.Outer : model.Inner;
            const RefinedModel& rf = s.outerRow ? refined.Outer : refined.Inner;
            const Process& p = s.outerRow ? s.outer : s.inner;
            const double L = p.L + (s.outerRow ? 0.5 : 1.0) * s.ts;
            const double e[6] = {100 * (id.Gain / p.K - 1), 100 * (id.TimeConstant / p.T - 1), id.DeadTime - L,
                                 100 * (rf.Gain / p.K - 1), 100 * (rf.TimeConstant / p.T - 1), rf.DeadTime - L};
            errors.Add(e);
            errors.kept += !rf.Refined;
        }
        std::printf("%-38s %9d |", s.name, records);
        for (int i = 0; i < 6; ++i) {
            if (noisy)
                std::printf(" %+10.3f +- %8.3f", errors.Mean(i), errors.Spread(i));
            else
                std::printf(" %+21.3g", errors.Mean(i));
            if (i == 2) std::printf(" |");
        }
        std::printf(" | %d\n", errors.kept);
    }
    return 0;
}
