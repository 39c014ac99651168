// Refinement of the inner and the outer model of one identified window, after
// identification (which is not timed): a noisy cascade step record of 500 ..
// 5000 samples. Target: under 3 ms for both at 5000 samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "model/ModelRefinement.h"
#include "model/TModel.h"

namespace {

using namespace halvetra;

// A noisy cascade step response: inner K 1.8, T 40 s, L 7.3 s; outer K 0.6,
// T 90 s, L 12 s; Ts 0.5 s; the step at sample 200.
IdentificationWindow Record(int n) {
    IdentificationWindow w;
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 0.05);
    const double ts = 0.5;
    double y2 = 0;
    for (int k = 0; k < n; ++k) {
        w.WindowU[k] = k >= 200 ? 10.0 : 0.0;
        const double t = (k - 200) * ts - 7.3;
        w.WindowY[k] = (t > 0 ? 18.0 * -std::expm1(-t / 40.0) : 0.0) + noise(random);
        const int ky = k - 24;
        y2 += (1 - std::exp(-ts / 90.0)) * (0.6 * (ky >= 0 ? w.WindowY[ky] : 0.0) - y2);
        w.WindowY2[k] = y2 + noise(random);
    }
    w.WindowLength = n;
    return w;
}

void BM_RefineInnerAndOuter(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    IdentificationWindow w = Record(n);
    TModel model;
    model.Identify(w, n, 0.5, 0.05 * (n - 1) * 0.5);
    int iterations = 0;
    for (auto _ : state) {
        const RefinedModels refined = RefineModels(w, 0.5, model.Inner, model.Outer);
        iterations = refined.Inner.Iterations + refined.Outer.Iterations;
        benchmark::DoNotOptimize(refined.Inner.Gain);
    }
    state.counters["iterations"] = iterations;
}

BENCHMARK(BM_RefineInnerAndOuter)->ArgName("n")->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
