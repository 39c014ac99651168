#pragma once
// The processing of an automatic experiment's record, run without a person
// once the experiment has ended: the data file, the signal and histogram
// pictures, the model and its file, the controller and its file, the report,
// and the removal of the pictures. It works on the process state and the
// automatic-experiment settings; the window's side only draws the pictures
// (and shows on its pages what was computed), through ProcessingPictures.
// The window and halvetra-cli run this same code.
//
// Files of a run with folder F and label L:
//   F/L.hvd  measured data (always)
//   F/L.events.txt  what happened to the plant link during the run (only
//            when something did; see RunEvents.h)
//   F/L.hvm  both process models with the identification window
//   F/L.hvc  controller settings
//   F/L.odt  the report
// The model and the controller are worked out only when the run wrote to the
// plant ("Don't write to OPC" unchecked) and the report's "Process model",
// respectively "Controller", is chosen. Nothing is ever written to the plant's
// controller.
//
// A run whose record holds samples that are not the plant's own (simulated
// after a lost link, repeated while the server hung, held while a signal had
// no usable value, or with an MV1 the plant refused) never gets a model made
// from them: when the record's window holds such samples, the model is
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
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "controller/ControllerCalculation.h"
#include "controller/LoopFigures.h"
#include "settings/ExperimentSettings.h"
#include "experiment/ProcessState.h"
#include "experiment/RunEvents.h"

namespace halvetra {

// One run to process.
struct ProcessingRun {
    std::string Folder;    // F, the run's working folder
    std::string Label;     // L, the run's label
    bool NoWrite = false;  // the run's "Don't write to OPC"
    // The automatic-experiment settings of the run: tuning, controller form,
    // scaling, report content and template.
    AutomaticExperimentSettings Settings;
    // Where the record goes when its data file cannot be written into Folder
    // (a folder removed or not writable, a full disk), so that an unattended
    // run never loses its measurements; empty: no second attempt.
    std::string RescueFolder;
    // What happened to the plant link during the run; empty for a record
    // that did not come from a run just now.
    RunEvents Events;
    // The report as a PDF (NAME.pdf) instead of an OpenDocument text (NAME.odt).
    bool PdfReport = false;
};

// How the record is kept and shown: the Data page's window, columns and
// conditioning, and the date and time the data file's header gives.
struct ProcessingRecord {
    int WindowStart = 1;  // samples counted from 1, both included
    int WindowEnd = 1;
    std::array<int, 6> Columns{1, 1, 3, 3, 5, 6};  // columns of MV1, MV1, U1, U1, Y1, Y2
    double Filter = 0.0;
    double ActuatorMaximum = 100.0;
    double ActuatorMinimum = 0.0;
    double ActuatorOpening = 1.0;
    std::string Date;
    std::string Time;
};

// What the report shows besides the results: the window's caption, the OPC
// server and the 20 rows of the OPC table (item, description).
struct ProcessingReportTexts {
    std::string Caption;
    std::string ServerName;
    std::array<std::array<std::string, 2>, 20> OpcTable{};
    bool ShowOuterModel = false;  // the report's model figures are the outer process's
    std::string Plant;            // the server's URL, BuiltInSimulationName, or empty when not known
};

// What a report names as the plant of a run without a server.
inline constexpr const char* BuiltInSimulationName = "built-in simulation";

// The pictures, drawn by the window's side into the run's folder under the
// report's picture names; each also shows what it draws on its page.
class ProcessingPictures {
public:
    virtual ~ProcessingPictures() = default;
    // The four conditioned signals and their histograms over start .. end.
    virtual void DataPictures(int start, int end, const std::string& folder) = 0;
    // The identified model's chart (the inner or the outer process).
    virtual void ModelPicture(bool outer, const std::string& folder) = 0;
    // The tuned loop's chart, tuned and scaled with these settings.
    virtual void ControllerPicture(const AutomaticExperimentSettings& settings, const std::string& folder) = 0;
    // Removes every picture from the folder; a missing one is skipped.
    virtual void RemovePictures(const std::string& folder) = 0;
};

class AutomaticProcessing {
public:
    // `nonLinearityGain(cascade)` is the largest gain of the non-linear
    // element between the loops (1 for none); read only when the controller
    // is worked out.
    AutomaticProcessing(ProcessState& state, ProcessingPictures& pictures,
                        std::function<double(bool cascade)> nonLinearityGain, char decimalSeparator);

    // Runs every step; returns the full names of the files written (data,
    // events, model, controller, report, in that order of those written).
    // Throws the error of a failing step.
    std::vector<std::string> Run(const ProcessingRun& run, const ProcessingRecord& record,
                                 const ProcessingReportTexts& texts);

    // The files the last Run wrote, also when it failed.
    const std::vector<std::string>& FilesWritten() const { return written_; }
    // The data file written into the run's RescueFolder when the one in its
    // own folder could not be written; empty otherwise.
    const std::string& RescuedDataFile() const { return rescued_; }
    // The run's events and what the processing did about them, one line
    // each (empty when the run had none); set also when Run fails.
    const std::vector<std::string>& Warnings() const { return warnings_; }

private:
    void saveDataFile(const std::string& path, const ProcessingRun& run, const ProcessingRecord& record);
    void model(const std::string& path, int start, int end);
    void controller(const std::string& path, const AutomaticExperimentSettings& settings);
    void report(const ProcessingRun& run, const ProcessingRecord& record, const ProcessingReportTexts& texts,
                bool withModel, bool withController);

    ProcessState& state_;
    ProcessingPictures& pictures_;
    std::function<double(bool)> nonLinearityGain_;
    char separator_;
    std::vector<std::string> written_;
    std::string rescued_;
    std::vector<std::string> warnings_;
    // The scaled values of the controller step, for the report.
    std::array<std::string, 3> scaled_{};
    ControllerLabels labels_;
    ControllerFigures figures_;  // of the controller step, for the report
    std::string dataFile_;       // the record's data file, for the report
};

struct ReportSummary;
struct ReportModelTexts;

// What the report says of an integrating model's figures.
inline constexpr const char* IntegratingProcessText =
    "Integrating, K e^(-L s) / (s (T s + 1)): the gain is the slope gain [1/s], the time constant the lag [s]";

// A model's figures as the Model page shows them, under a title.
void FillReportModel(ReportModelTexts& texts, const QString& title, const ModelParameters& model,
                     char decimalSeparator);

// The figures of a report's summary block as plain values.
struct ReportSummaryFacts {
    std::string Date;  // the record's date and time as the data file keeps them
    std::string Time;
    std::string DataFile;       // the data file's name; empty: not saved
    double SamplingTime = 0.0;  // 0: no data
    int WindowStart = 0;        // samples counted from 1; 0: no window
    int WindowEnd = 0;
    const std::vector<double>* SampleTimes = nullptr;  // [i - 1]: the time of sample i
    std::string Plant;                                 // the server's URL, "built-in simulation" or empty
    int Method = -1;                                   // -1: no tuning
    int RobustPosition = 10;
    double Factor = 1.0;
    int Form = -1;                  // the controller form; -1: general parallel
    int ControllerType = 2;         // 0 P, 1 I, 2 PI, 3 PID
    double LoopSamplingTime = 0.0;  // 0: none
};

// The summary block's texts; a figure that is not known stays empty (its row
// is left out).
void FillReportSummary(ReportSummary& summary, const ReportSummaryFacts& facts, char decimalSeparator);

// Writes the measured data file of the record: the data set's samples with
// the record's window, columns, conditioning, date and time.
void SaveRecordFile(const std::string& path, const ProcessingRecord& record, const MeasuredData& data,
                    char decimalSeparator);

// The path of `label.extension` in `folder`.
std::string RunFile(const std::string& folder, const std::string& label, const std::string& extension);

}  // namespace halvetra
