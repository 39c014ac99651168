#pragma once
// The long-lived state of the main window: what the pages compute and share.
// One instance, owned by the main window and handed to every page.
#include <QString>
#include <QStringList>
#include <array>

#include "controller/TRegulator.h"
#include "data/IdentificationWindow.h"
#include "data/MeasuredData.h"
#include "experiment/RunEvents.h"
#include "model/ModelParameters.h"
#include "opc/PlantAccess.h"

namespace halvetra {

class WriteLog;

struct AppState {
    MeasuredData Data;  // the measured data set every page works on

    // The identified (or loaded, or edited) process models and the window
    // they were identified from.
    ModelParameters InnerModel;
    ModelParameters OuterModel;
    IdentificationWindow Window;

    // The Controller page's last calculation: the robustness factor of its
    // slider position, the closed-loop sampling time (0 until a valid one is
    // entered), and the tuned gains of the single loop and of the cascade
    // (outer controller and inner P gain), all before the robustness factor.
    double RobustnessFactor = 1.0;
    double LoopSamplingTime = 0.0;
    TuningResult SingleLoopResult;
    TuningResult CascadeResult;
    double KpInner = 0.0;

    // The folder in which the user last saved experiment settings, without a
    // trailing separator; the process's working directory at start.
    QString WorkingFolder;
    // For each queued automatic experiment, the WorkingFolder at its activation.
    QStringList QueuedExperimentFolders;
    // The plant group "SkupReg", created once at start-up, through which the
    // controller parameters are written, and its items of the inner
    // controller's P, I and D terms (replaced at every "Load to controller").
    PlantGroup* ControllerGroup = nullptr;
    std::array<ItemHandle, 3> ControllerItems;
    // The write log of the user's commands that write to the plant (not
    // owned); none: writes are not recorded.
    WriteLog* Writes = nullptr;

    // What happened to the plant link during the last experiment run (its
    // window fills it at the end of every run).
    RunEvents LastRunEvents;

    // True while the scheduler copies automatic-experiment settings into the
    // pages: change handlers then skip their recalculation.
    bool ApplyingAutomaticSettings = false;
};

}  // namespace halvetra
