#include "data/MeasuredData.h"

#include "data/Errors.h"

namespace halvetra {

MeasuredData::MeasuredData()
    : SampleTimes(MaxSamples, 0.0),
      ConditionedMV(MaxSamples, 0.0),
      ConditionedU(MaxSamples, 0.0),
      ConditionedY(MaxSamples, 0.0),
      ConditionedY2(MaxSamples, 0.0) {
    // Each column sized on its own: a copy of one would write every zero.
    RawColumns.reserve(MaxColumns);
    for (int c = 0; c < MaxColumns; ++c) RawColumns.emplace_back(MaxSamples);
}

RawColumn& MeasuredData::Column(int c) {
    if (c < 1 || c > MaxColumns) throw ListIndexError(c);
    return RawColumns[static_cast<std::size_t>(c - 1)];
}

const RawColumn& MeasuredData::Column(int c) const {
    if (c < 1 || c > MaxColumns) throw ListIndexError(c);
    return RawColumns[static_cast<std::size_t>(c - 1)];
}

}  // namespace halvetra
