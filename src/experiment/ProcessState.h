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
#include "model/IntegratingModel.h"
#include "model/ModelParameters.h"
#include "model/ModelRefinement.h"
#include "model/ModelWorkflow.h"
#include "model/TModel.h"

namespace halvetra {

struct ProcessState {
    MeasuredData Data;  // the measured data set every page works on

    // The identified (or loaded, or edited) process models and the window
    // they were identified from.
    ModelParameters InnerModel;
    ModelParameters OuterModel;
    IdentificationWindow Window;
    // The refinement of both processes from the window: gain, time constant
    // and a continuous dead time with their intervals, or the identified
    // figures and the reason they stay. Formed after every identification
    // and every load of a model file; "Use refined model" takes its figures.
    RefinedModels Refined;
    // The process type chosen for each process (the Model page's choice;
    // self-regulating unless the user chose otherwise), and the
    // self-regulating models behind integrating ones.
    ProcessChoice InnerChoice = ProcessChoice::SelfRegulating;
    ProcessChoice OuterChoice = ProcessChoice::SelfRegulating;
    ModelParameters SelfRegulatingInner;
    ModelParameters SelfRegulatingOuter;
    // The integrating fits of the last identification or choice (their
    // confidence intervals and fit in per cent); empty for a process that was
    // not fitted.
    ProcessFits Fits;

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

    // Identifies both processes from samples first .. last (CalculateModel,
    // whose figures are kept as they are) and refines them. Throws what
    // identification throws, before anything changes.
    // A process chosen integrating (or auto) then gets its type as chosen.
    void IdentifyModels(int first, int last) {
        if (InnerChoice == ProcessChoice::SelfRegulating && OuterChoice == ProcessChoice::SelfRegulating) {
            const TModel identified = CalculateModel(Data, Window, first, last);
            InnerModel = identified.Inner;
            OuterModel = identified.Outer;
            SelfRegulatingInner = identified.Inner;
            SelfRegulatingOuter = identified.Outer;
            Fits = {};
            RefineIdentifiedModels();
            return;
        }
        IdentificationWindow window = Window;
        TModel identified = CalculateModel(Data, window, first, last);
        const TModel selfRegulating = identified;
        const ProcessFits fits = ApplyProcessChoice(identified, window, Data.SamplingTime, InnerChoice, OuterChoice);
        Window = std::move(window);
        InnerModel = identified.Inner;
        OuterModel = identified.Outer;
        SelfRegulatingInner = selfRegulating.Inner;
        SelfRegulatingOuter = selfRegulating.Outer;
        Fits = fits;
        RefineIdentifiedModels();
    }

    // The Model page's choice for one process, applied to its model at once
    // (ChooseProcessModel); throws what that throws, before anything changes.
    void ChooseProcess(bool outer, ProcessChoice choice) {
        const IntegratingFit fit =
            ChooseProcessModel(outer ? OuterModel : InnerModel, outer ? SelfRegulatingOuter : SelfRegulatingInner,
                               Window, outer, Data.SamplingTime, choice);
        (outer ? OuterChoice : InnerChoice) = choice;
        (outer ? Fits.Outer : Fits.Inner) = fit;
    }
    void RefineIdentifiedModels() { Refined = RefineModels(Window, Data.SamplingTime, InnerModel, OuterModel); }

    // Tunes the loop on the models (TuneController; the optimal rule at the
    // closed-loop sampling time samplingTime) and stores the factor and the
    // gains of the single loop or of the cascade; a tuning that is not finite
    // throws FloatingPointError before anything changes.
    ControllerTuning Tune(int method, int robustPosition, bool cascade, double samplingTime) {
        const ControllerTuning tuning =
            TuneController(method, robustPosition, cascade, InnerModel, OuterModel, samplingTime);
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
