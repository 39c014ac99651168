#pragma once
// The window's side of the automatic processing of a record (see
// experiment/AutomaticProcessing.h, where every step and rule lives): it
// reads the pages' controls into the processing's inputs, draws the pictures
// in the pages' and chart windows' charts (so the pages show what was
// computed), and hands back the files and warnings as the window uses them.
#include <QString>
#include <QStringList>

#include "experiment/AutomaticProcessing.h"
#include "settings/ExperimentSettings.h"
#include "experiment/RunEvents.h"
#include "ui/ReportPage.h"

namespace halvetra {

struct AppState;

// One run to process.
struct AutomaticRun {
    QString Folder;        // F, the run's working folder
    QString Label;         // L, the run's label
    bool NoWrite = false;  // the run's "Don't write to OPC"
    // The automatic-experiment settings of the run: tuning, controller form,
    // report content and template.
    AutomaticExperimentSettings Settings;
    // Where the record goes when its data file cannot be written into Folder;
    // empty: no second attempt.
    QString RescueFolder;
    // What happened to the plant link during the run; empty for a record
    // that did not come from a run just now.
    RunEvents Events;
    // The plant the record came from: the server's URL, BuiltInSimulationName,
    // or empty when not known (a record read from a file).
    QString Plant;
    bool PdfReport = false;  // the report as NAME.pdf instead of NAME.odt
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
    // events, model, controller, report, in that order of those written).
    // Throws the error of a failing step.
    QStringList Run(const AutomaticRun& run);

    // The files the last Run wrote, also when it failed.
    QStringList FilesWritten() const;
    // The data file written into the run's RescueFolder when the one in its
    // own folder could not be written; empty otherwise.
    QString RescuedDataFile() const;
    // The run's events and what the processing did about them, one line
    // each (empty when the run had none); set also when Run fails.
    QStringList Warnings() const;

private:
    AppState& state_;
    ReportSources sources_;
    std::vector<std::string> written_;
    std::string rescued_;
    std::vector<std::string> warnings_;
};

}  // namespace halvetra
