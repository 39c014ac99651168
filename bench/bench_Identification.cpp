// Identification of the inner and outer process together over windows of
// 500 .. 5000 samples: the fast scans against the step-by-step procedure.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "model/LiteralIdentification.h"
#include "model/TModel.h"

namespace {

using namespace halvetra;

// A noisy cascade step response: inner K 1.8, T 40 s, L 7 s; outer K 0.6,
// T 90 s, L 12 s; Ts 0.5 s; the step at sample 200.
IdentificationWindow Record(int n) {
    IdentificationWindow w;
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 0.05);
    const double ts = 0.5;
    double y = 0, y2 = 0;
    for (int k = 0; k < n; ++k) {
        w.WindowU[k] = k >= 200 ? 10.0 : 0.0;
        const int ku = k - 14;
        y += (1 - std::exp(-ts / 40.0)) * (1.8 * (ku >= 200 ? 10.0 : 0.0) - y);
        w.WindowY[k] = y + noise(random);
        const int ky = k - 24;
        y2 += (1 - std::exp(-ts / 90.0)) * (0.6 * (ky >= 0 ? w.WindowY[ky] : 0.0) - y2);
        w.WindowY2[k] = y2 + noise(random);
    }
    w.WindowLength = n;
    return w;
}

void BM_Identify(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    IdentificationWindow w = Record(n);
    for (auto _ : state) {
        TModel model;
        model.Identify(w, n, 0.5, 0.05 * (n - 1) * 0.5);
        benchmark::DoNotOptimize(model.Inner.Gain);
    }
}
BENCHMARK(BM_Identify)->Arg(500)->Arg(1000)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_IdentifyStepByStep(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    IdentificationWindow w = Record(n);
    for (auto _ : state) {
        TModel model;
        LiteralIdentify(model, w, n, 0.5, 0.05 * (n - 1) * 0.5);
        benchmark::DoNotOptimize(model.Inner.Gain);
    }
}
BENCHMARK(BM_IdentifyStepByStep)->Arg(500)->Arg(1000)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
