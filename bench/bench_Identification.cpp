// Identification of the inner and outer process together over windows of
// 500 .. 5000 samples: the fast scans against the step-by-step procedure in
// one run, and the worst case for the fast scans, a step late in the window,
// where no dead time can be ruled out before the step. Wall-clock time: the
// outer process runs on a second thread.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "model/LiteralIdentification.h"
#include "model/TModel.h"

namespace {

using namespace halvetra;

// A noisy cascade step response: inner K 1.8, T 40 s, L 7 s; outer K 0.6,
// T 90 s, L 12 s; Ts 0.5 s; the step at sample stepAt.
IdentificationWindow Record(int n, int stepAt) {
    IdentificationWindow w;
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 0.05);
    const double ts = 0.5;
    double y = 0, y2 = 0;
    for (int k = 0; k < n; ++k) {
        w.WindowU[k] = k >= stepAt ? 10.0 : 0.0;
        const int ku = k - 14;
        y += (1 - std::exp(-ts / 40.0)) * (1.8 * (ku >= stepAt ? 10.0 : 0.0) - y);
        w.WindowY[k] = y + noise(random);
        const int ky = k - 24;
        y2 += (1 - std::exp(-ts / 90.0)) * (0.6 * (ky >= 0 ? w.WindowY[ky] : 0.0) - y2);
        w.WindowY2[k] = y2 + noise(random);
    }
    w.WindowLength = n;
    return w;
}

// The step at sample 200, or in the last fifth of the window.
int StepAt(const benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    return state.range(1) ? n - n / 5 : std::min(200, n / 4);
}

void BM_Identify(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    IdentificationWindow w = Record(n, StepAt(state));
    for (auto _ : state) {
        TModel model;
        model.Identify(w, n, 0.5, 0.05 * (n - 1) * 0.5);
        benchmark::DoNotOptimize(model.Inner.Gain);
    }
}

void BM_IdentifyStepByStep(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    IdentificationWindow w = Record(n, StepAt(state));
    for (auto _ : state) {
        TModel model;
        LiteralIdentify(model, w, n, 0.5, 0.05 * (n - 1) * 0.5);
        benchmark::DoNotOptimize(model.Inner.Gain);
    }
}

void Windows(benchmark::internal::Benchmark* b) {
    b->ArgNames({"n", "late"});
    for (int n : {500, 1000, 2000, 5000}) b->Args({n, 0});
    b->Args({5000, 1});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Identify)->Apply(Windows);
BENCHMARK(BM_IdentifyStepByStep)->Apply(Windows);

}  // namespace

BENCHMARK_MAIN();
