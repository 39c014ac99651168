#pragma once
// The long-lived state of the main window: what the pages compute and share.
// One instance, owned by the main window and handed to every page.
#include <QString>
#include <QStringList>

#include "data/IdentificationWindow.h"
#include "data/MeasuredData.h"
#include "model/ModelParameters.h"

namespace halvetra {

struct AppState {
    MeasuredData Data;  // the measured data set every page works on

    // The identified (or loaded, or edited) process models and the window
    // they were identified from.
    ModelParameters InnerModel;
    ModelParameters OuterModel;
    IdentificationWindow Window;

    // The folder in which the user last saved experiment settings, without a
    // trailing separator; the process's working directory at start.
    QString WorkingFolder;
    // For each queued automatic experiment, the WorkingFolder at its activation.
    QStringList QueuedExperimentFolders;
    // True while the scheduler copies automatic-experiment settings into the
    // pages: change handlers then skip their recalculation.
    bool ApplyingAutomaticSettings = false;
};

}  // namespace halvetra
