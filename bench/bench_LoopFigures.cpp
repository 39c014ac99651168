// One full Controller calculation with the loop figures of its four
// controllers: tuning, the chart's simulations and the figures, for a loop
// whose dead time is 100 closed-loop samples.
#include <benchmark/benchmark.h>

#include "controller/ControllerCalculation.h"
#include "controller/LoopFigures.h"

namespace {

halvetra::ModelParameters Model(double K, double T, double L) {
    halvetra::ModelParameters m;
    m.Gain = K;
    m.TimeConstant = T;
    m.DeadTime = L;
    return m;
}

void CalculationWithFigures(benchmark::State& state, int method, bool cascade) {
    const halvetra::ModelParameters inner = Model(1.5, 60.0, 100.0);
    const halvetra::ModelParameters outer = Model(0.8, 120.0, 20.0);
    for (auto _ : state) {
        const auto tuning = halvetra::TuneController(method, 10, cascade, inner, outer, 1.0);
        const auto simulation = halvetra::SimulateController(tuning, 0, 1.0, inner, outer);
        const auto figures = halvetra::ComputeControllerFigures(tuning, 1.0, inner, outer);
        benchmark::DoNotOptimize(simulation);
        benchmark::DoNotOptimize(figures);
    }
}

void BM_CalculationWithFigures(benchmark::State& state) { CalculationWithFigures(state, 0, false); }
void BM_CalculationWithFiguresSimc(benchmark::State& state) { CalculationWithFigures(state, 7, false); }
void BM_CascadeCalculationWithFigures(benchmark::State& state) { CalculationWithFigures(state, 0, true); }

}  // namespace

BENCHMARK(BM_CalculationWithFigures)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalculationWithFiguresSimc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CascadeCalculationWithFigures)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
