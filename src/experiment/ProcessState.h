#pragma once
// The long-lived results of the work on one loop, without any window: the
// measured data set, the process models with the window they were identified
// from, and the last tuning. The main window's state extends it; the
// automatic processing chain works on it.
#include "controller/ControllerCalculation.h"
#include "controller/TRegulator.h"
#include "data/IdentificationWindow.h"
#include "data/MeasuredData.h"
#include "experiment/RunEvents.h"
#include "model/ModelParameters.h"

namespace halvetra {

struct ProcessState {
    MeasuredData Data;  // the measured data set every page works on

    // The identified (or loaded, or edited) process models and the window
    // they were identified from.
    ModelParameters InnerModel;
    ModelParameters OuterModel;
    IdentificationWindow Window;

    // The last tuning: the robustness factor of its slider position, the
    // closed-loop sampling time (0 until a valid one is entered), and the
    // tuned gains of the single loop and of the cascade (outer controller and
    // inner P gain), all before the robustness factor.
    double RobustnessFactor = 1.0;
    double LoopSamplingTime = 0.0;
    TuningResult SingleLoopResult;
    TuningResult CascadeResult;
    double KpInner = 0.0;

    // What happened to the plant link during the last experiment run (its
    // window fills it at the end of every run).
    RunEvents LastRunEvents;

    // Tunes the loop on the models (TuneController) and stores the factor and
    // the gains of the single loop or of the cascade; a tuning that is not
    // finite throws FloatingPointError before anything changes.
    ControllerTuning Tune(int method, int robustPosition, bool cascade) {
        const ControllerTuning tuning = TuneController(method, robustPosition, cascade, InnerModel, OuterModel);
        RequireFiniteTuning(tuning);
        RobustnessFactor = tuning.Factor;
        if (cascade) {
            KpInner = tuning.KpInner;
            CascadeResult = tuning.Result;
        } else {
            SingleLoopResult = tuning.Result;
        }
        return tuning;
    }
};

}  // namespace halvetra
