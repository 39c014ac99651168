#include "model/ModelRefinement.h"

#include <algorithm>

namespace halvetra {

namespace {

RefinedModel Kept(const ModelParameters& identified, const char* reason) {
    RefinedModel m;
    m.Gain = identified.Gain;
    m.TimeConstant = identified.TimeConstant;
    m.DeadTime = identified.DeadTime;
    m.GainCI95 = {m.Gain, m.Gain};
    m.TimeConstantCI95 = {m.TimeConstant, m.TimeConstant};
    m.DeadTimeCI95 = {m.DeadTime, m.DeadTime};
    m.Reason = reason;
    return m;
}

}  // namespace

RefinedModel RefineModel(std::span<const double>, std::span<const double>, int, double,
                         const ModelParameters& identified) {
    return Kept(identified, "not refined");
}

RefinedModels RefineModels(const IdentificationWindow& window, double samplingTime, const ModelParameters& inner,
                           const ModelParameters& outer) {
    const int n = window.WindowLength;
    return {RefineModel(window.WindowU, window.InnerReference, n, samplingTime, inner),
            RefineModel(window.WindowY, window.OuterReference, n, samplingTime, outer)};
}

void FractionalFirstOrderResponse(std::span<const double>, int n, double, double, double, double,
                                  std::span<double> response) {
    std::fill(response.begin(), response.begin() + std::max(n, 0), 0.0);
}

}  // namespace halvetra
