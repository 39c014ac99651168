// The comparison of the tuning rules: each rule tuned and its loop's figures
// computed independently, so one rule's failure leaves the others' rows.
#include "controller/RuleComparison.h"

#include <exception>

#include "data/Errors.h"

namespace halvetra {

std::vector<RuleComparisonRow> CompareRules(int type, int robustPosition, bool cascade, const ModelParameters& inner,
                                            const ModelParameters& outer, double Ts) {
    if (!(Ts > 0.0)) {
        throw FloatingPointError("Floating point division by zero");
    }
    std::vector<RuleComparisonRow> rows;
    for (int method = 0; method < TuningMethodCount; ++method) {
        if (method == NoMethod) {
            continue;
        }
        RuleComparisonRow row;
        row.Method = method;
        row.Name = TuningMethodName(method);
        try {
            const ControllerTuning tuning = TuneController(method, robustPosition, cascade, inner, outer, Ts);
            RequireFiniteTuning(tuning);
            const ControllerFigures figures = ComputeControllerFigures(tuning, Ts, inner, outer);
            const TuningResult& g = tuning.Result;
            const double f = tuning.Factor;
            row.Kp = (type == TypePID ? g.KpPID : g.KpPI) * f;
            row.Ki = (type == TypePID ? g.KiPID : g.KiPI) * f;
            row.Kd = type == TypePID ? g.KdPID * f : 0.0;
            row.Figures = figures[static_cast<std::size_t>(type)];
        } catch (const std::exception& e) {
            RuleComparisonRow failed;
            failed.Method = method;
            failed.Name = row.Name;
            failed.Error = e.what();
            row = std::move(failed);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace halvetra
