#include "model/ModelParameters.h"

namespace halvetra {

ModelQuality RateModelQuality(double relativeError) {
    // Strict comparisons; a relative error that is not a number fails them all.
    if (relativeError < 0.01) return ModelQuality::VeryGood;
    if (relativeError < 0.05) return ModelQuality::Good;
    if (relativeError < 0.12) return ModelQuality::Fair;
    return ModelQuality::Bad;
}

std::string QualityText(ModelQuality quality) {
    switch (quality) {
    case ModelQuality::VeryGood: return "Very good";
    case ModelQuality::Good: return "Good";
    case ModelQuality::Fair: return "Fair";
    case ModelQuality::Bad: break;
    }
    return "Bad";
}

const char* ProcessTypeName(ProcessType type) {
    return type == ProcessType::Integrating ? "Integrating" : "Self-regulating";
}

const char* ProcessTypeKey(ProcessType type) {
    return type == ProcessType::Integrating ? "integrating" : "self-regulating";
}

}  // namespace halvetra
