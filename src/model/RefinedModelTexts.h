#pragma once
// The refined model as the Model page and the report show it: each figure
// with the half-width of its 95 % interval, in the formats of the identified
// figures, and the fit in per cent.
#include <string>

#include "model/ModelRefinement.h"

namespace halvetra {

struct RefinedModelTexts {
    std::string Gain;          // "1.250 ± 0.004": three decimals
    std::string TimeConstant;  // two decimals [s]
    std::string DeadTime;      // three decimals [s]: the dead time is continuous
    std::string Fit;           // "99.87": two decimals [%]
    std::string Reason;        // why the identified model stays; empty when refined
};

// Fixed texts with at most `precision` significant digits and the given
// separator. A figure that is not finite throws FloatingPointError.
RefinedModelTexts FormatRefinedModel(const RefinedModel& model, int precision, char decimalSeparator);

}  // namespace halvetra
