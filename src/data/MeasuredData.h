#pragma once
// The one set of sampled signals the system works on: filled by an experiment
// or a file load, conditioned, shown, identified and reported.
#include <array>
#include <string>
#include <vector>

#include "data/ZeroedAllocator.h"

namespace halvetra {

inline constexpr int MaxSamples = 5000;
inline constexpr int MaxColumns = 40;

// One raw column: MaxSamples values, zero until written (see ZeroedAllocator).
using RawColumn = std::vector<double, ZeroedAllocator<double>>;

struct MeasuredData {
    MeasuredData();

    double SamplingTime = 0.0;  // Ts [s]
    int SampleCount = 0;        // N, at most MaxSamples
    int ColumnCount = 0;        // raw columns that hold data
    int MinWindowSpan = 0;      // smallest distance between window start and end

    // RawColumns[c - 1][i - 1] is raw column c, sample i (both counted from 1).
    std::vector<RawColumn> RawColumns;
    std::vector<double> SampleTimes;                         // [i - 1]: time of sample i; sample 1 is at 0
    std::array<std::string, MaxColumns> SignalDescriptions;  // [c - 1]

    // The selected columns after conditioning, [i - 1].
    std::vector<double> ConditionedMV;
    std::vector<double> ConditionedU;
    std::vector<double> ConditionedY;
    std::vector<double> ConditionedY2;

    // Raw column c (1 .. MaxColumns) as a whole array of MaxSamples values.
    RawColumn& Column(int c);
    const RawColumn& Column(int c) const;
};

}  // namespace halvetra
