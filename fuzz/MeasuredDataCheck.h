#pragma once
// The data set the data-file targets read into: every value marked, so that
// a value the reader should not touch but does shows up in the comparison.
#include "FuzzCheck.h"
#include "data/MeasuredData.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace halvetra::fuzz {

inline const MeasuredData& MarkedData() {
    static const MeasuredData marked = [] {
        MeasuredData d;
        d.SamplingTime = 0.25;
        d.SampleCount = 3;
        d.ColumnCount = 2;
        d.MinWindowSpan = 2;
        for (std::size_t c = 0; c < d.RawColumns.size(); ++c) {
            std::fill(d.RawColumns[c].begin(), d.RawColumns[c].end(), -1000.0 - static_cast<double>(c));
            d.SignalDescriptions[c] = "column " + std::to_string(c + 1);
        }
        std::fill(d.SampleTimes.begin(), d.SampleTimes.end(), -1.0);
        for (auto* v : {&d.ConditionedMV, &d.ConditionedU, &d.ConditionedY, &d.ConditionedY2})
            std::fill(v->begin(), v->end(), -2.0);
        return d;
    }();
    return marked;
}

// The data set each input is read into. One set for all inputs, because a
// fresh copy of MaxColumns x MaxSamples values per input would cost more than
// the reading: PutBackMarks returns it to MarkedData() after a successful
// read (a failed one must leave it unchanged, which the targets check).
inline MeasuredData& WorkingData() {
    static MeasuredData work = MarkedData();
    return work;
}

// Restores what a read of `samples` samples may change; the targets have
// checked that nothing else changed.
inline void PutBackMarks(MeasuredData& data, std::size_t samples) {
    const MeasuredData& marked = MarkedData();
    data.SamplingTime = marked.SamplingTime;
    data.SampleCount = marked.SampleCount;
    data.ColumnCount = marked.ColumnCount;
    data.SignalDescriptions = marked.SignalDescriptions;
    const auto n = static_cast<std::ptrdiff_t>(samples);
    for (std::size_t c = 0; c < data.RawColumns.size(); ++c)
        std::copy(marked.RawColumns[c].begin(), marked.RawColumns[c].begin() + n, data.RawColumns[c].begin());
    std::copy(marked.SampleTimes.begin(), marked.SampleTimes.begin() + n, data.SampleTimes.begin());
}

inline bool SameData(const MeasuredData& a, const MeasuredData& b) {
    if (a.SamplingTime != b.SamplingTime || a.SampleCount != b.SampleCount || a.ColumnCount != b.ColumnCount ||
        a.MinWindowSpan != b.MinWindowSpan || a.SignalDescriptions != b.SignalDescriptions ||
        a.RawColumns.size() != b.RawColumns.size() || !SameBits(a.SampleTimes, b.SampleTimes) ||
        !SameBits(a.ConditionedMV, b.ConditionedMV) || !SameBits(a.ConditionedU, b.ConditionedU) ||
        !SameBits(a.ConditionedY, b.ConditionedY) || !SameBits(a.ConditionedY2, b.ConditionedY2))
        return false;
    for (std::size_t c = 0; c < a.RawColumns.size(); ++c)
        if (!SameBits(a.RawColumns[c], b.RawColumns[c])) return false;
    return true;
}

// Samples from `samples` on, columns from `columns` on and the conditioned
// signals are as they were; MinWindowSpan too (the reader does not set it).
inline bool SameBeyond(const MeasuredData& a, const MeasuredData& b, std::size_t samples, std::size_t columns) {
    const auto tail = [samples](std::span<const double> v) { return v.subspan(samples); };
    if (a.RawColumns.size() != b.RawColumns.size() || a.SampleTimes.size() != b.SampleTimes.size() ||
        !SameBits(tail(a.SampleTimes), tail(b.SampleTimes)))
        return false;
    for (std::size_t c = 0; c < a.RawColumns.size(); ++c) {
        if (a.RawColumns[c].size() != b.RawColumns[c].size()) return false;
        if (!(c < columns ? SameBits(tail(a.RawColumns[c]), tail(b.RawColumns[c]))
                          : SameBits(a.RawColumns[c], b.RawColumns[c])))
            return false;
    }
    return a.MinWindowSpan == b.MinWindowSpan && SameBits(a.ConditionedMV, b.ConditionedMV) &&
           SameBits(a.ConditionedU, b.ConditionedU) && SameBits(a.ConditionedY, b.ConditionedY) &&
           SameBits(a.ConditionedY2, b.ConditionedY2);
}

}  // namespace halvetra::fuzz
