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
//   F/L.events.txt  what happened to the plant link during the run (only
//            when something did; see RunEvents.h)
// The model and the controller are worked out only when the run wrote to the
// plant ("Don't write to OPC" unchecked) and the report's "Process model",
// respectively "Controller", is chosen. Nothing is ever written to the plant's
// controller.
//
// A run whose record holds samples that are not the plant's own (simulated
// after a lost link, repeated while the server hung, held while a signal had
// no usable value, or with an MV1 the plant refused) never gets a model made
// from them: when the Data page's window holds such samples, the model is
// identified from the window's plant samples before them, when enough remain
// (PlantOnlyWindow); otherwise no model and no controller are made. The
// report lists the run's events and says which of the two happened, and so
// do Warnings().
//
// A failing step ends the processing with its error; the files written before
// it stay, the pictures are removed all the same. When the data file itself
// cannot be written, the record is saved into the run's rescue folder first
// and the error says where it went.
#include <QString>
#include <QStringList>

#include "experiment/ExperimentSettings.h"
#include "experiment/RunEvents.h"
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
    // What happened to the plant link during the run; empty for a record
    // that did not come from a run just now.
    RunEvents Events;
};

// The status line and the message after an unattended run with events.
QString UnattendedRunStatusText(const QString& label, qsizetype events);
QString UnattendedRunMessage(const QString& label, const QStringList& warnings);

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

    // The run's events and what the processing did about them, one line
    // each (empty when the run had none); set also when Run fails.
    const QStringList& Warnings() const { return warnings_; }

private:
    void saveDataFile(const QString& path, const AutomaticRun& run);
    void model(const QString& folder, const QString& path, int start, int end);
    void controller(const QString& folder, const QString& path, const AutomaticExperimentSettings& settings);

    AppState& state_;
    ReportSources sources_;
    QStringList written_;
    QString rescued_;
    QStringList warnings_;
};

}  // namespace halvetra
