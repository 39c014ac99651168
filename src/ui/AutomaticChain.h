#pragma once
// The processing of an automatic experiment's record, run without a person
// once the experiment window has closed: the data file, the signal and
// histogram pictures, the model and its file, the controller and its file,
// the report, and the removal of the pictures. It works through the pages'
// own commands, so what the files and the report hold is what the pages show.
//
// Files of a run with folder F and label L:
//   F/L.hvd  measured data (always)
//   F/L.hvm  both process models with the identification window
//   F/L.hvc  controller settings
//   F/L.odt  the report
// The model and the controller are worked out only when the run wrote to the
// plant ("Don't write to OPC" unchecked) and the report's "Process model",
// respectively "Controller", is chosen. Nothing is ever written to the plant's
// controller.
//
// A failing step ends the processing with its error; the files written before
// it stay, the pictures are removed all the same. When the data file itself
// cannot be written, the record is saved into the run's rescue folder first
// and the error says where it went.
#include <QString>
#include <QStringList>

#include "experiment/ExperimentSettings.h"
#include "ui/ReportPage.h"

namespace halvetra {

struct AppState;

// One run to process.
struct AutomaticRun {
    QString Folder;  // F, the run's working folder
    QString Label;   // L, the run's label
    bool NoWrite = false;  // the run's "Don't write to OPC"
    // The automatic-experiment settings of the run: tuning, controller form,
    // report content and template.
    AutomaticExperimentSettings Settings;
    // Where the record goes when its data file cannot be written into Folder
    // (a folder removed or not writable, a full disk), so that an unattended
    // run never loses its measurements; empty: no second attempt.
    QString RescueFolder;
};

class AutomaticChain {
public:
    // The pages and windows of `sources` must all be set; `state` is the
    // main window's state the pages share.
    AutomaticChain(AppState& state, ReportSources sources);

    // Runs every step; returns the full names of the files written (data,
    // model, controller, report, in that order of those written). Throws the
    // error of a failing step.
    QStringList Run(const AutomaticRun& run);

    // The files the last Run wrote, also when it failed.
    const QStringList& FilesWritten() const { return written_; }

    // The data file written into the run's RescueFolder when the one in its
    // own folder could not be written; empty otherwise.
    const QString& RescuedDataFile() const { return rescued_; }

private:
    void saveDataFile(const QString& path, const AutomaticRun& run);
    void model(const QString& folder, const QString& path);
    void controller(const QString& folder, const QString& path, const AutomaticExperimentSettings& settings);

    AppState& state_;
    ReportSources sources_;
    QStringList written_;
    QString rescued_;
};

}  // namespace halvetra
