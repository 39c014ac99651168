#include "model/RefinedModelTexts.h"

#include <array>

#include "data/NumberText.h"

namespace halvetra {

namespace {

// The figure and the half-width of its interval, with the same decimals.
std::string WithHalfWidth(double value, const std::array<double, 2>& interval, int precision, int decimals,
                          char separator) {
    const double halfWidth = 0.5 * (interval[1] - interval[0]);
    return FormatFixedFinite(value, precision, decimals, separator) + " \u00B1 " +
           FormatFixedFinite(halfWidth, precision, decimals, separator);
}

}  // namespace

RefinedModelTexts FormatRefinedModel(const RefinedModel& model, int precision, char decimalSeparator) {
    RefinedModelTexts texts;
    texts.Gain = WithHalfWidth(model.Gain, model.GainCI95, precision, 3, decimalSeparator);
    texts.TimeConstant = WithHalfWidth(model.TimeConstant, model.TimeConstantCI95, precision, 2, decimalSeparator);
    texts.DeadTime = WithHalfWidth(model.DeadTime, model.DeadTimeCI95, precision, 3, decimalSeparator);
    texts.Fit = FormatFixedFinite(model.FitPercent, precision, 2, decimalSeparator);
    texts.Reason = model.Refined ? std::string() : model.Reason;
    return texts;
}

}  // namespace halvetra
