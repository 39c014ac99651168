#pragma once
// The long-lived state of the main window: what the pages compute and share.
// One instance, owned by the main window and handed to every page.
#include <QString>
#include <QStringList>
#include <array>

#include "experiment/ProcessState.h"
#include "opc/PlantAccess.h"

namespace halvetra {

class WriteLog;

// The state of the main window: the process state (data, models, tuning)
// and what only the window keeps.
struct AppState : ProcessState {
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

    // True while the scheduler copies automatic-experiment settings into the
    // pages: change handlers then skip their recalculation.
    bool ApplyingAutomaticSettings = false;
};

}  // namespace halvetra
