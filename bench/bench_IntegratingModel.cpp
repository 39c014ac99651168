// The integrating fit and the automatic choice for both processes of one
// identified window, after identification (which is not timed): a noisy
// record of 500 .. 5000 samples whose inner process is a level driven by a
// pulse (K 0.02 /s, lag 6 s, L 4.3 s) and whose outer process is
// self-regulating. Ts 0.5 s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "model/IntegratingModel.h"
#include "model/TModel.h"

namespace {

using namespace halvetra;

IdentificationWindow Record(int n) {
    IdentificationWindow w;
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 0.02);
    const double ts = 0.5;
    for (int k = 0; k < n; ++k) w.WindowU[k] = k >= 100 && k < 100 + n / 5 ? 10.0 : 0.0;
    std::vector<double> y(n), y2(n);
    IntegratingResponse(w.WindowU, n, ts, 0.02, 6.0, 4.3, y);
    double state = 0;
    for (int k = 0; k < n; ++k) {
        w.WindowY[k] = y[k] + noise(random);
        const int ky = k - 10;
        state += (1 - std::exp(-ts / 30.0)) * (0.6 * (ky >= 0 ? y[ky] : 0.0) - state);
        w.WindowY2[k] = state + noise(random);
    }
    w.WindowLength = n;
    return w;
}

void BM_IntegratingFitAndAutoChoice(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const IdentificationWindow identified = [&] {
        IdentificationWindow w = Record(n);
        TModel model;
        model.Identify(w, n, 0.5, 0.05 * (n - 1) * 0.5);
        return w;
    }();
    TModel model;
    IdentificationWindow w = identified;
    model.Identify(w, n, 0.5, 0.05 * (n - 1) * 0.5);
    const TModel identifiedModel = model;
    for (auto _ : state) {
        TModel chosen = identifiedModel;
        IdentificationWindow window = identified;
        const ProcessFits fits = ApplyProcessChoice(chosen, window, 0.5, ProcessChoice::Auto, ProcessChoice::Auto);
        benchmark::DoNotOptimize(fits.Inner.Model.Gain);
        state.counters["inner_integrating"] = chosen.Inner.Type == ProcessType::Integrating;
    }
}

BENCHMARK(BM_IntegratingFitAndAutoChoice)->ArgName("n")->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
