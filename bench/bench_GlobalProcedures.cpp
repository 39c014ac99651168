// Shared numeric procedures over a full signal of 5000 samples:
// the procedures the Data page runs on every scroll-bar movement, and the
// filter and actuator model of the conditioning.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "data/GlobalProcedures.h"

namespace {

constexpr int Samples = 5000;

const std::vector<double>& Signal() {
    static const std::vector<double> signal = [] {
        std::mt19937 rng(42);
        std::normal_distribution<double> noise(0.0, 0.5);
        std::vector<double> x(Samples);
        for (int i = 0; i < Samples; ++i) {
            x[i] = (i / 500 % 2 == 0 ? 20.0 : 80.0) + noise(rng);  // steps with noise
        }
        return x;
    }();
    return signal;
}

void BM_SampleVariance(benchmark::State& state) {
    const auto& x = Signal();
    for (auto _ : state) {
        benchmark::DoNotOptimize(halvetra::SampleVariance(x, 1, Samples));
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}
BENCHMARK(BM_SampleVariance);

void BM_MaxMin(benchmark::State& state) {
    const auto& x = Signal();
    double maximum = 0.0;
    double minimum = 0.0;
    for (auto _ : state) {
        halvetra::MaxMin(x, maximum, minimum, 1, Samples);
        benchmark::DoNotOptimize(maximum);
        benchmark::DoNotOptimize(minimum);
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}
BENCHMARK(BM_MaxMin);

void BM_FirstOrderResponse(benchmark::State& state) {
    const auto& x = Signal();
    std::vector<double> output(Samples);
    std::vector<double> derivative(Samples);
    for (auto _ : state) {
        halvetra::FirstOrderResponse(1, Samples, x, 1.5, 12.0, 0.5, x[0], 3.0, output, derivative);
        benchmark::DoNotOptimize(output.data());
        benchmark::DoNotOptimize(derivative.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}
BENCHMARK(BM_FirstOrderResponse);

void BM_ApplyActuatorConstraints(benchmark::State& state) {
    const auto& x = Signal();
    std::vector<double> output(Samples);
    for (auto _ : state) {
        halvetra::ApplyActuatorConstraints(x, output, Samples, 75.0, 25.0, 30.0, 0.5);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}
BENCHMARK(BM_ApplyActuatorConstraints);

}  // namespace
BENCHMARK_MAIN();
