// The optimal rule on loops whose dead time is 20 and 100 closed-loop
// samples: one PI optimisation, the four controllers of a method-9 tuning
// (PI, PID, I and P), the cascade's, and the controllers of an integrating
// process (PI, PID and P).
#include <benchmark/benchmark.h>

#include "controller/OptimalRule.h"

namespace {

halvetra::LoopDescription Process(double deadTimeSamples) {
    halvetra::LoopDescription s;
    s.Ts = 1.0;
    s.K1 = 1.5;
    s.T1 = 60.0;
    s.L1 = deadTimeSamples;
    return s;
}

halvetra::ModelParameters Model(double K, double T, double L,
                                halvetra::ProcessType type = halvetra::ProcessType::SelfRegulating) {
    halvetra::ModelParameters m;
    m.Gain = K;
    m.TimeConstant = T;
    m.DeadTime = L;
    m.Type = type;
    return m;
}

void BM_OptimalPi(benchmark::State& state) {
    const halvetra::LoopDescription process = Process(static_cast<double>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::OptimiseController(process, halvetra::TypePI, 1.6));
    }
}

void BM_OptimalPid(benchmark::State& state) {
    const halvetra::LoopDescription process = Process(static_cast<double>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::OptimiseController(process, halvetra::TypePID, 1.6));
    }
}

void BM_OptimalTuningAllTypes(benchmark::State& state) {
    const halvetra::ModelParameters process = Model(1.5, 60.0, static_cast<double>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::TuneOptimalLoop(1.6, 1.0, process));
    }
}

void BM_OptimalCascadeAllTypes(benchmark::State& state) {
    const halvetra::ModelParameters inner = Model(1.5, 30.0, 10.0);
    const halvetra::ModelParameters outer = Model(0.8, 120.0, static_cast<double>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::TuneOptimalCascade(1.6, 1.0, inner, outer));
    }
}

// An integrating process, slope 0.02 per second, lag 20 s.
void BM_OptimalIntegratingAllTypes(benchmark::State& state) {
    const halvetra::ModelParameters process =
        Model(0.02, 20.0, static_cast<double>(state.range(0)), halvetra::ProcessType::Integrating);
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::TuneOptimalLoop(1.6, 1.0, process));
    }
}

}  // namespace

BENCHMARK(BM_OptimalPi)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimalPid)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimalTuningAllTypes)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimalCascadeAllTypes)->Arg(20)->Arg(90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimalIntegratingAllTypes)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
