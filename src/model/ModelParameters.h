#pragma once
// One process model with its quality figures: self-regulating, the
// first-order-plus-dead-time model T dy/dt + y = K u(t - L), or integrating,
// G(s) = K e^(-L s) / (s (T s + 1)) with K the slope gain (output units per
// second per input unit) and T an optional lag (0 for a pure integrator).
#include <string>
#include <string_view>

namespace halvetra {

enum class ProcessType { SelfRegulating, Integrating };

// "Self-regulating" / "Integrating", as the pages and the report name them.
const char* ProcessTypeName(ProcessType type);

// How the model and controller files mark an integrating model: its gain line
// starts with the marker, which a reader of the first layout refuses as a
// number (so no such reader takes a slope gain for a static gain), and the
// version line reads IntegratingFileVersion.
inline constexpr std::string_view IntegratingGainMarker = "integrating ";
inline constexpr const char* IntegratingFileVersion = "V1.1";
// "self-regulating" / "integrating", as the command line and JSON name them.
const char* ProcessTypeKey(ProcessType type);

struct ModelParameters {
    double Gain = 0.0;                   // K
    double TimeConstant = 0.0;           // T [s], never negative after identification
    double DeadTime = 0.0;               // L [s], a whole number of samples after identification
    double Std = 0.0;                    // standard deviation of the model error
    double RelativeError = 0.0;          // RMS model error / standard deviation of the reference
    double GainDeviation = 0.0;          // +- figure of Gain
    double TimeConstantDeviation = 0.0;  // +- figure of TimeConstant [s]
    ProcessType Type = ProcessType::SelfRegulating;

    bool operator==(const ModelParameters&) const = default;
};

// The rating of a model by its relative error, with the image that shows it.
enum class ModelQuality { VeryGood, Good, Fair, Bad };

// e < 0.01 "Very good"; else e < 0.05 "Good"; else e < 0.12 "Fair"; else
// (also when e is not a number) "Bad".
ModelQuality RateModelQuality(double relativeError);
std::string QualityText(ModelQuality quality);

}  // namespace halvetra
