#include "model/ModelWorkflow.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/NumberText.h"
#include "data/TObdelava.h"
#include "model/IntegratingModel.h"

namespace halvetra {

TModel CalculateModel(const MeasuredData& data, IdentificationWindow& window, int first, int last) {
    const std::size_t capacity =
        std::min({data.SampleTimes.size(), data.ConditionedMV.size(), data.ConditionedU.size(),
                  data.ConditionedY.size(), data.ConditionedY2.size(), window.WindowTime.size()});
    if (first < 1 || first > last) throw ListIndexError(first);
    if (static_cast<std::size_t>(last) > capacity) throw ListIndexError(last);

    // Identified on a copy: extreme data whose window or models are not
    // finite end the command with the floating-point error and leave the
    // window as it was.
    IdentificationWindow identified = window;
    identified.WindowLength = last - first + 1;
    const double startTime = data.SampleTimes[static_cast<std::size_t>(first - 1)];
    const double endTime = data.SampleTimes[static_cast<std::size_t>(last - 1)];
    const double filterTimeConstant = 0.05 * (endTime - startTime);
    TObdelava().PrepareIdentificationWindow(data, identified, first, last);

    TModel model;
    model.Identify(identified, identified.WindowLength, data.SamplingTime, filterTimeConstant);
    RequireFiniteWindow(identified, identified.WindowLength);
    RequireFiniteModel(model.Inner);
    RequireFiniteModel(model.Outer);
    window = std::move(identified);
    return model;
}

void RequireFiniteModel(const ModelParameters& model) {
    for (const double figure : {model.Gain, model.TimeConstant, model.DeadTime, model.Std, model.RelativeError,
                                model.GainDeviation, model.TimeConstantDeviation})
        RequireFinite(figure);
}

void RequireFiniteWindow(const IdentificationWindow& window, int n) {
    const auto count = static_cast<std::size_t>(std::max(n, 0));
    for (const std::vector<double>* column :
         {&window.WindowTime, &window.WindowU, &window.WindowY, &window.WindowY2, &window.InnerReference,
          &window.OuterReference, &window.InnerResponse, &window.OuterResponse})
        for (std::size_t k = 0; k < std::min(count, column->size()); ++k) RequireFinite((*column)[k]);
}

void StoreModelTexts(ModelParameters& set, std::string_view gain, std::string_view timeConstant,
                     std::string_view deadTime, char decimalSeparator) {
    set.Gain = TextToFloat(gain, decimalSeparator);
    set.TimeConstant = TextToFloat(timeConstant, decimalSeparator);
    set.DeadTime = TextToFloat(deadTime, decimalSeparator);
}

void UseModel(ModelParameters& set, IdentificationWindow& window, bool outer, double gain, double timeConstant,
              double deadTime, double samplingTime) {
    const int n = window.WindowLength;
    const std::vector<double>& input = outer ? window.WindowY : window.WindowU;
    const std::vector<double>& reference = outer ? window.OuterReference : window.InnerReference;
    std::vector<double>& response = outer ? window.OuterResponse : window.InnerResponse;

    // A window longer than the arrays (a damaged model file) is refused before
    // any scratch storage is sized from it.
    if (n > 0 && static_cast<std::size_t>(n) > std::min({input.size(), reference.size(), response.size()}))
        throw ListIndexError(n);
    // The response and the scores are formed aside and taken over only when
    // all are finite: a model whose response overflows (a gain of 1e308, a
    // huge sampling time) ends the command with the floating-point error and
    // changes nothing.
    std::vector<double> simulated = response;
    std::vector<double> derivative(static_cast<std::size_t>(std::max(n, 0)));
    if (set.Type == ProcessType::Integrating)
        IntegratingResponse(input, n, samplingTime, gain, timeConstant, deadTime, simulated);
    else
        FirstOrderResponse(1, n, input, gain, timeConstant, samplingTime, 0.0, deadTime, simulated, derivative);
    for (int k = 0; k < n; ++k) RequireFinite(simulated[static_cast<std::size_t>(k)]);

    const double deviation = std::sqrt(DifferenceVariance(simulated, reference, 1, n));
    const double variance = PopulationVariance(reference, 1, n);
    const double relativeError =
        variance == 0.0 ? 1.0 : std::sqrt(MeanSquaredError(reference, simulated, 1, n) / variance);
    RequireFinite(deviation);
    RequireFinite(relativeError);

    set.Gain = gain;
    set.TimeConstant = timeConstant;
    set.DeadTime = deadTime;
    set.Std = deviation;
    set.RelativeError = relativeError;
    response = std::move(simulated);
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
