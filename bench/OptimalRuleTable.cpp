// The optimal rule against the other rules on K e^(-s) / (T s + 1), T = 0.2,
// 1, 5 and 20, Ts = 0.05: for Ms targets 1.4, 1.6 and 2.0 (slider positions
// 5, 10 and 20), the load IAE of the optimal PI and PID controllers beside
// the least load IAE that any other rule (0 .. 5, 7, 8) reaches at any
// slider position 0 .. 20 with an Ms of at most the target, all by the loop
// figures. Prints a Markdown table.
//
//   build/NAME/bench/optimal-rule-table
#include <cstdio>
#include <string>

#include "controller/ControllerCalculation.h"
#include "controller/LoopFigures.h"
#include "controller/OptimalRule.h"

using namespace halvetra;

namespace {

constexpr double Ts = 0.05;

// "IAE (rule, position, Ms)" of the best other rule for one controller type.
std::string BestOtherRule(const ModelParameters& m, int type, double target, double& iae) {
    iae = 0.0;
    std::string text = "none";
    for (int method : {0, 1, 2, 3, 4, 5, int{Simc}, int{Amigo}}) {
        for (int position = 0; position <= 20; ++position) {
            ControllerTuning t;
            try {
                t = TuneController(method, position, false, m, m, Ts);
            } catch (const HalvetraError&) {
                continue;
            }
            const auto f = ComputeControllerFigures(t, Ts, m, m)[static_cast<std::size_t>(type)];
            if (!f || !f->Stable || !f->Ms || *f->Ms > target || !f->IaeDisturbance) continue;
            if (iae == 0.0 || *f->IaeDisturbance < iae) {
                iae = *f->IaeDisturbance;
                char buffer[160];
                std::snprintf(buffer, sizeof buffer, "%.3f (%s, %d, %.3f)", iae, TuningMethodName(method), position,
                              *f->Ms);
                text = buffer;
            }
        }
    }
    return text;
}

}  // namespace

int main() {
    std::printf(
        "| T/L | Ms target | optimal PI: IAE (Ms) | best other PI: IAE (rule, position, Ms) | less |"
        " optimal PID: IAE (Ms) | best other PID: IAE (rule, position, Ms) | less |\n"
        "|---|---|---|---|---|---|---|---|\n");
    for (const double T : {0.2, 1.0, 5.0, 20.0}) {
        for (const int position : {5, 10, 20}) {
            ModelParameters m;
            m.Gain = 1.0;
            m.TimeConstant = T;
            m.DeadTime = 1.0;
            const double target = OptimalMsTarget(position);
            const ControllerTuning optimal = TuneController(OptimalMs, position, false, m, m, Ts);
            const ControllerFigures figures = ComputeControllerFigures(optimal, Ts, m, m);
            std::printf("| %g | %.1f |", T, target);
            for (const int type : {int{TypePI}, int{TypePID}}) {
                const LoopFigures& f = *figures[static_cast<std::size_t>(type)];
                double other = 0.0;
                const std::string best = BestOtherRule(m, type, target, other);
                std::printf(" %.3f (%.3f) | %s | %.0f %% |", *f.IaeDisturbance, *f.Ms, best.c_str(),
                            other > 0.0 ? 100.0 * (1.0 - *f.IaeDisturbance / other) : 0.0);
            }
            std::printf("\n");
        }
    }
    return 0;
}
