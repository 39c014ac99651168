#include "model/ModelWorkflow.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/NumberText.h"
#include "data/TObdelava.h"

namespace halvetra {

TModel CalculateModel(const MeasuredData& data, IdentificationWindow& window, int first, int last) {
    const std::size_t capacity = std::min({data.SampleTimes.size(), data.ConditionedMV.size(),
                                           data.ConditionedU.size(), data.ConditionedY.size(),
                                           data.ConditionedY2.size(), window.WindowTime.size()});
    if (first < 1 || first > last) throw ListIndexError(first);
    if (static_cast<std::size_t>(last) > capacity) throw ListIndexError(last);

    window.WindowLength = last - first + 1;
    const double startTime = data.SampleTimes[static_cast<std::size_t>(first - 1)];
    const double endTime = data.SampleTimes[static_cast<std::size_t>(last - 1)];
    const double filterTimeConstant = 0.05 * (endTime - startTime);
    TObdelava().PrepareIdentificationWindow(data, window, first, last);

    TModel model;
    model.Identify(window, window.WindowLength, data.SamplingTime, filterTimeConstant);
    return model;
}

void StoreModelTexts(ModelParameters& set, std::string_view gain, std::string_view timeConstant,
                     std::string_view deadTime, char decimalSeparator) {
    set.Gain = TextToFloat(gain, decimalSeparator);
    set.TimeConstant = TextToFloat(timeConstant, decimalSeparator);
    set.DeadTime = TextToFloat(deadTime, decimalSeparator);
}

void UseModel(ModelParameters& set, IdentificationWindow& window, bool outer, double gain, double timeConstant,
              double deadTime, double samplingTime) {
    set.Gain = gain;
    set.TimeConstant = timeConstant;
    set.DeadTime = deadTime;

    const int n = window.WindowLength;
    const std::vector<double>& input = outer ? window.WindowY : window.WindowU;
    const std::vector<double>& reference = outer ? window.OuterReference : window.InnerReference;
    std::vector<double>& response = outer ? window.OuterResponse : window.InnerResponse;

    // A window longer than the arrays (a damaged model file) is refused before
    // any scratch storage is sized from it.
    if (n > 0 && static_cast<std::size_t>(n) > std::min({input.size(), reference.size(), response.size()}))
        throw ListIndexError(n);
    std::vector<double> derivative(static_cast<std::size_t>(std::max(n, 0)));
    FirstOrderResponse(1, n, input, gain, timeConstant, samplingTime, 0.0, deadTime, response, derivative);

    set.Std = std::sqrt(DifferenceVariance(response, reference, 1, n));
    const double variance = PopulationVariance(reference, 1, n);
    set.RelativeError = variance == 0.0 ? 1.0 : std::sqrt(MeanSquaredError(reference, response, 1, n) / variance);
}

bool SamplingTooSparse(const ModelParameters& inner, const ModelParameters& outer, double samplingTime) {
    // Rounding with the default mode: halves go to the even neighbour.
    const double innerSpan = std::nearbyint(inner.DeadTime + inner.TimeConstant);
    const double outerSpan = std::nearbyint(outer.TimeConstant + outer.DeadTime);
    const double threeSamples = 3.0 * samplingTime;
    return threeSamples >= innerSpan || threeSamples >= outerSpan;
}

AxisRange ModelChartRange(std::span<const double> reference, std::span<const double> response, int n) {
    double referenceMaximum = 0.0;
    double referenceMinimum = 0.0;
    double responseMaximum = 0.0;
    double responseMinimum = 0.0;
    MaxMin(reference, referenceMaximum, referenceMinimum, 1, n);
    MaxMin(response, responseMaximum, responseMinimum, 1, n);
    return ValueAxisRange(std::max(referenceMaximum, responseMaximum), std::min(referenceMinimum, responseMinimum));
}

}  // namespace halvetra
