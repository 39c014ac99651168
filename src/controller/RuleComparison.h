#pragma once
// The comparison of the tuning rules for one model: every method of the list
// tuned at the same robustness position, with the gains of one controller
// type (PI or PID) and the figures of its closed loop at the same sampling
// time. The Controller page's "Compare rules" window and the command-line
// companion's compare show it.
#include <optional>
#include <string>
#include <vector>

#include "controller/ControllerCalculation.h"
#include "controller/LoopFigures.h"

namespace halvetra {

struct RuleComparisonRow {
    int Method = 0;
    std::string Name;   // the method list's item text
    std::string Error;  // the system's text when the rule has no tuning for the model; then nothing else is set
    double Kp = 0.0;    // the gains as shown (times the robustness factor)
    double Ki = 0.0;
    double Kd = 0.0;
    std::optional<LoopFigures> Figures;  // empty for a controller the rule does not define
};

// One row per method of the list except NoMethod, in the list's order. A rule
// that fails for the model keeps its row with the failure's text; the other
// rules still compare. Throws FloatingPointError "Floating point division by
// zero" when Ts is not above 0.
std::vector<RuleComparisonRow> CompareRules(int type, int robustPosition, bool cascade, const ModelParameters& inner,
                                            const ModelParameters& outer, double Ts);

}  // namespace halvetra
