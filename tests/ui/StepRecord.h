#pragma once
// A recorded cascade step response in an experiment's layout, as the
// experiment window leaves it in the measured data: columns MV1, MV2, U1, U2,
// Y1, Y2. The process input steps from 20 to 30 at sample 60; the inner
// output follows with gain 2, time constant 8 s and dead time 2 s, the outer
// output follows the inner one with gain 1.5, time constant 15 s and dead
// time 3 s. Sampling time 0.5 s, 400 samples.
#include <cmath>

#include "data/MeasuredData.h"

namespace halvetra::test {

inline constexpr int StepRecordSamples = 400;
inline constexpr double StepRecordTs = 0.5;

inline void FillStepRecord(MeasuredData& data) {
    const int n = StepRecordSamples;
    const double ts = StepRecordTs;
    data.SamplingTime = ts;
    data.SampleCount = n;
    data.ColumnCount = 6;
    const char* descriptions[] = {"Valve position", "Valve 2", "Flow controller output", "Output 2", "Flow", "Level"};
    for (int c = 1; c <= 6; ++c) data.SignalDescriptions[static_cast<std::size_t>(c - 1)] = descriptions[c - 1];

    const double a1 = std::exp(-ts / 8.0);
    const double a2 = std::exp(-ts / 15.0);
    const int d1 = 4;  // 2 s
    const int d2 = 6;  // 3 s
    std::vector<double> u(static_cast<std::size_t>(n)), y1(static_cast<std::size_t>(n)),
        y2(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) u[static_cast<std::size_t>(k)] = k >= 59 ? 30.0 : 20.0;
    double x1 = 0.0;
    double x2 = 0.0;
    for (int k = 0; k < n; ++k) {
        const auto i = static_cast<std::size_t>(k);
        y1[i] = 50.0 + x1;
        y2[i] = 40.0 + x2;
        const double du = (k - d1 >= 0 ? u[static_cast<std::size_t>(k - d1)] : 20.0) - 20.0;
        const double dy1 = k - d2 >= 0 ? y1[static_cast<std::size_t>(k - d2)] - 50.0 : 0.0;
        x1 = a1 * x1 + (1.0 - a1) * 2.0 * du;
        x2 = a2 * x2 + (1.0 - a2) * 1.5 * dy1;
    }
    data.SampleTimes.assign(MaxSamples, 0.0);
    for (int k = 0; k < n; ++k) {
        const auto i = static_cast<std::size_t>(k);
        data.SampleTimes[i] = ts * k;
        data.Column(1)[i] = u[i];
        data.Column(2)[i] = 0.0;
        data.Column(3)[i] = u[i];
        data.Column(4)[i] = 0.0;
        data.Column(5)[i] = y1[i];
        data.Column(6)[i] = y2[i];
    }
}

}  // namespace halvetra::test
