#include "data/MeasuredData.h"

#include "data/Errors.h"

namespace halvetra {

MeasuredData::MeasuredData()
    : RawColumns(MaxColumns, std::vector<double>(MaxSamples, 0.0)),
      SampleTimes(MaxSamples, 0.0),
      ConditionedMV(MaxSamples, 0.0),
      ConditionedU(MaxSamples, 0.0),
      ConditionedY(MaxSamples, 0.0),
      ConditionedY2(MaxSamples, 0.0) {}

std::vector<double>& MeasuredData::Column(int c) {
    if (c < 1 || c > MaxColumns) throw ListIndexError(c);
    return RawColumns[static_cast<std::size_t>(c - 1)];
}

const std::vector<double>& MeasuredData::Column(int c) const {
    if (c < 1 || c > MaxColumns) throw ListIndexError(c);
    return RawColumns[static_cast<std::size_t>(c - 1)];
}

}  // namespace halvetra
