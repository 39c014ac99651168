// The optimal rule on loops whose dead time is 20 and 100 closed-loop
// samples: one PI optimisation, the four controllers of a method-9 tuning
// (PI, PID, I and P), and the cascade's.
#include <benchmark/benchmark.h>

#include "controller/OptimalRule.h"

namespace {

halvetra::LoopDescription Process(double deadTimeSamples)
{
    halvetra::LoopDescription s;
    s.Ts = 1.0;
    s.K1 = 1.5;
    s.T1 = 60.0;
    s.L1 = deadTimeSamples;
    return s;
}

void BM_OptimalPi(benchmark::State& state)
{
    const halvetra::LoopDescription process = Process(static_cast<double>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::OptimiseController(process, halvetra::TypePI, 1.6));
    }
}

void BM_OptimalPid(benchmark::State& state)
{
    const halvetra::LoopDescription process = Process(static_cast<double>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::OptimiseController(process, halvetra::TypePID, 1.6));
    }
}

void BM_OptimalTuningAllTypes(benchmark::State& state)
{
    const double L = static_cast<double>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::TuneOptimalLoop(1.6, 1.0, 1.5, 60.0, L));
    }
}

void BM_OptimalCascadeAllTypes(benchmark::State& state)
{
    const double L = static_cast<double>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::TuneOptimalCascade(1.6, 1.0, 1.5, 30.0, 10.0, 0.8, 120.0, L));
    }
}

}  // namespace

BENCHMARK(BM_OptimalPi)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimalPid)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimalTuningAllTypes)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimalCascadeAllTypes)->Arg(20)->Arg(90)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
