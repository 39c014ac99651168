#pragma once
// The commands of the Model page without the page: identification of a window
// of the measured data, re-scoring a hand-edited model, the check that the
// sampling is fine enough for the identified models, and the value range of
// the model chart. The page, the command-line companion and the automatic
// chain all run these.
#include <span>
#include <string_view>

#include "data/IdentificationWindow.h"
#include "data/MeasuredData.h"
#include "data/SignalWindow.h"
#include "model/ModelParameters.h"
#include "model/TModel.h"

namespace halvetra {

// Identifies the inner and outer process from samples first .. last (counted
// from 1) of the conditioned signals: sets window.WindowLength, prepares the
// window arrays and runs TModel::Identify with the data's sampling time and an
// initial filter time constant of 5 % of the window's duration. Returns the
// identified object; the caller copies its sets into its long-lived models.
// A window outside the data arrays (first < 1, last beyond their capacity) or
// with first > last throws ListIndexError before anything changes; a window
// value or model figure that is not finite (extreme data) throws
// FloatingPointError ("Floating point overflow" / "Invalid floating point
// operation") with the window as it was.
TModel CalculateModel(const MeasuredData& data, IdentificationWindow& window, int first, int last);

// Throw FloatingPointError for the first figure of the model, or value of
// samples 1 .. n of the window's arrays, that is not finite.
void RequireFiniteModel(const ModelParameters& model);
void RequireFiniteWindow(const IdentificationWindow& window, int n);

// Converts the texts of a hand-edited model with the locale-aware conversion
// and stores gain, time constant and dead time in this order, each as soon as
// it is converted: a text that is not a number throws ConversionError and
// leaves the figures before it stored.
void StoreModelTexts(ModelParameters& set, std::string_view gain, std::string_view timeConstant,
                     std::string_view deadTime, char decimalSeparator);

// "Use model" for one set: stores gain, time constant and dead time,
// re-simulates the set's response (the integrating one for an integrating
// set, whose type stays) over samples 1 .. WindowLength from 0 (input
// WindowU for the inner set, WindowY for the outer set) and scores it against
// the set's reference: Std and RelativeError are replaced, the deviation
// figures are left as they are. All or nothing: a window longer than the
// arrays (ListIndexError) or a response value or score that is not finite
// (FloatingPointError) ends it before the set or the window changes.
void UseModel(ModelParameters& set, IdentificationWindow& window, bool outer, double gain, double timeConstant,
              double deadTime, double samplingTime);

// True when the sampling is too sparse for the models: three sampling times
// reach the rounded (halves to even) sum of dead time and time constant of
// the inner or of the outer model.
bool SamplingTooSparse(const ModelParameters& inner, const ModelParameters& outer, double samplingTime);

// The fixed value-axis range of the model chart over samples 1 .. n of the
// reference and the response: both arrays' extremes with a tenth of their
// joint range beyond each; a range of 0 (also a window of fewer than two
// samples) is taken as 1.
AxisRange ModelChartRange(std::span<const double> reference, std::span<const double> response, int n);

}  // namespace halvetra
