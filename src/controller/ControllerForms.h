#pragma once
// The box "Calculation of scaled parameters": the tuned gains converted into
// the controller form and type the user selects, with the robustness factor,
// the user's per-term scaling and, in a cascade with a non-linear element
// between the loops, the correction for the element's largest gain.
//
// The calculation writes the box through `ParametersBox`, one control at a
// time and in a fixed order, so that a scaling factor that is not a number
// stops it with the controls already written showing their new texts and the
// others their old ones. The Controller page implements the box on its
// widgets; the automatic chain and tests use `ParametersBoxState`.
#include <array>
#include <functional>
#include <span>
#include <string>

#include "controller/TRegulator.h"

namespace halvetra {

// Item texts of the controller-form list and of the controller selection.
inline constexpr std::array<const char*, 4> ControllerFormItems = {
    "General parallel (Kp, Ki, Kd)",
    "Parallel (Kp, Ti, Td)",
    "Parallel (Kp, 1/Ti, Td)",
    "Serial (Kp, Ti, Td)",
};
inline constexpr std::array<const char*, 4> ControllerTypeItems = {"P", "I", "PI", "PID"};

// A form with the names and units of its scaled values, for the report's
// summary: "Serial (Kp, Ti [s], Td [s])"; no form selected (-1) is the
// general parallel form.
inline constexpr std::array<const char*, 4> ControllerFormDescriptions = {
    "General parallel (Kp, Ki [1/s], Kd [s])",
    "Parallel (Kp, Ti [s], Td [s])",
    "Parallel (Kp, 1/Ti [1/s], Td [s])",
    "Serial (Kp, Ti [s], Td [s])",
};

// The three rows of the box, also the three scaling factors sP, sI, sD.
enum class ControllerTerm { P = 0, I = 1, D = 2 };

// The texts the box shows.
enum class ParametersText {
    NLCaption,  // Label_LabOjacSekv
    NLValue,    // Label_OjacSekv
    NameKp,     // Label_Reg_Name_Kp
    NameKi,     // Label_Reg_Name_Ki
    NameKd,     // Label_Reg_Name_Kd
    EditKp,     // Edit_Reg_Kp
    EditKi,     // Edit_Reg_Ki
    EditKd,     // Edit_Reg_Kd
};

// Where the calculation writes its results.
class ParametersBox {
public:
    virtual ~ParametersBox() = default;
    virtual void SetText(ParametersText control, const std::string& text) = 0;
    // Shows or hides the value edit of the row.
    virtual void SetEditVisible(ControllerTerm row, bool visible) = 0;
};

// The box held in memory: every text (empty at first) and whether each value
// edit is visible (all at first).
class ParametersBoxState : public ParametersBox {
public:
    void SetText(ParametersText control, const std::string& text) override;
    void SetEditVisible(ControllerTerm row, bool visible) override;

    const std::string& Text(ParametersText control) const { return texts_[static_cast<std::size_t>(control)]; }
    bool EditVisible(ControllerTerm row) const { return visible_[static_cast<std::size_t>(row)]; }

private:
    std::array<std::string, 8> texts_{};
    std::array<bool, 3> visible_{true, true, true};
};

// Reads the scaling factor of a term; throws ConversionError when its text is
// not a number.
using ScaleReader = std::function<double(ControllerTerm term)>;

// A reader that converts the given texts of sP, sI and sD with TextToFloat
// when a factor is asked for (not before), so a text that is not a number
// fails only when its factor is needed.
ScaleReader ScaleTexts(std::string scaleP, std::string scaleI, std::string scaleD, char decimalSeparator);

// Fills the box for controller form `form` (0 general parallel, 1 parallel
// with Ti, 2 parallel with 1/Ti, 3 serial; below 0 taken as 0, above 3 the box
// is left as it is) and controller type `type` (0 P, 1 I, 2 PI, 3 PID; any
// other type sets only the NL labels) from the tuned gains G (in a cascade
// the outer controller's) and the robustness factor f.
//
// q is the largest gain of the non-linear element between the loops of a
// cascade (1 when there is none); the outer gains are multiplied by r = 1/q.
// A single loop uses neither. In a cascade a q of 0 throws FloatingPointError
// "Floating point division by zero" before anything is written.
//
// Order of writing: the NL caption and value; then the three names, the
// visibility of the three edits, and the texts of the Kp, Ki and Kd edits.
// Each scaling factor is read just before the value that needs it, and only
// for the values shown; a ConversionError from the reader leaves the rest of
// the box unwritten. A value that is not finite (an extreme scaling factor
// such as 1e308, gains whose product overflows, a q that is not finite)
// throws FloatingPointError before anything is written.
void ShowControllerParameters(int form, int type, bool cascade, const TuningResult& G, double f, double q,
                              const ScaleReader& readScale, char decimalSeparator, ParametersBox& box);

// Texts of one row of the non-linearity table: "Input" and "Output".
struct NLPointText {
    std::string Input;
    std::string Output;
};

// The table has ten rows; later rows are not read.
inline constexpr std::size_t NLTableRows = 10;

// The largest slope of the piecewise-linear characteristic given by the table
// over the range yMin .. yMax of its output. Points are read from the first
// row on while the Input cell is not empty; each cell is converted with
// TextToFloat (ConversionError when it is not a number). Fewer than two points
// give 1; a segment of zero input width has slope 1000. A slope of the range
// that is not finite throws FloatingPointError.
double MaxGainOfNL(std::span<const NLPointText> rows, double yMin, double yMax, char decimalSeparator);

}  // namespace halvetra
