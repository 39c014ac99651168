#include "experiment/AutomaticProcessing.h"

#include <QFileInfo>
#include <filesystem>

#include "controller/ControllerForms.h"
#include "controller/OptimalRule.h"
#include "data/Errors.h"
#include "data/NumberText.h"
#include "data/SignalWindow.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "model/ModelWorkflow.h"
#include "model/RefinedModelTexts.h"
#include "model/TModel.h"
#include "report/TPorocilo.h"

namespace halvetra {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Removes the pictures when it goes out of scope, so that no step that fails
// leaves any behind.
class PictureCleanup {
public:
    PictureCleanup(ProcessingPictures& pictures, std::string folder)
        : pictures_(pictures), folder_(std::move(folder)) {}
    ~PictureCleanup() {
        try {
            pictures_.RemovePictures(folder_);
        } catch (...) {
            // A picture that cannot be removed is no reason to lose the run's result.
        }
    }
    PictureCleanup(const PictureCleanup&) = delete;
    PictureCleanup& operator=(const PictureCleanup&) = delete;

private:
    ProcessingPictures& pictures_;
    std::string folder_;
};

}  // namespace

void SaveRecordFile(const std::string& path, const ProcessingRecord& record, const MeasuredData& data,
                    char decimalSeparator) {
    std::array<std::string, 6> descriptions;
    for (std::size_t k = 0; k < record.Columns.size(); ++k)
        descriptions[k] = data.SignalDescriptions.at(static_cast<std::size_t>(record.Columns[k] - 1));
    TObdelava().SaveDataFile(path, record.Date, record.Time, data.SamplingTime, data.SampleCount, record.WindowStart,
                             record.WindowEnd, record.Columns, record.Filter, record.ActuatorMaximum,
                             record.ActuatorMinimum, record.ActuatorOpening, descriptions, data, decimalSeparator);
}

std::string RunFile(const std::string& folder, const std::string& label, const std::string& extension) {
    return (std::filesystem::path(folder) / (label + '.' + extension)).string();
}

AutomaticProcessing::AutomaticProcessing(ProcessState& state, ProcessingPictures& pictures,
                                         std::function<double(bool)> nonLinearityGain, char decimalSeparator)
    : state_(state),
      pictures_(pictures),
      nonLinearityGain_(std::move(nonLinearityGain)),
      separator_(decimalSeparator) {}

std::vector<std::string> AutomaticProcessing::Run(const ProcessingRun& run, const ProcessingRecord& record,
                                                  const ProcessingReportTexts& texts) {
    written_.clear();
    rescued_.clear();
    warnings_ = RunEventWarnings(run.Events, separator_);
    scaled_ = {};
    labels_ = {};
    figures_ = {};
    dataFile_.clear();
    const std::string& folder = run.Folder;
    const AutomaticExperimentSettings& settings = run.Settings;
    // The pictures are temporary: none stays behind, whichever step fails.
    const PictureCleanup cleanup(pictures_, folder);

    // 1. The measured data, and beside it the run's events.
    saveDataFile(RunFile(folder, run.Label, "hvd"), run, record);
    if (!run.Events.Empty()) {
        const std::string events = RunFile(folder, run.Label, "events.txt");
        WriteTextFile(events, RunEventsFileLines(run.Events, run.Label));
        written_.push_back(events);
    }

    // 2, 3. Signal charts and histograms over the record's window.
    pictures_.DataPictures(record.WindowStart, record.WindowEnd, folder);

    // 4, 5. Model and controller, only for a run that wrote to the plant, and
    // only from the plant's own samples.
    bool makeModel = !run.NoWrite && settings.CheckBox_Sam_PorocMod;
    bool makeController = !run.NoWrite && settings.CheckBox_Sam_PorocReg;
    const int start = record.WindowStart;
    int end = record.WindowEnd;
    if (makeModel || makeController) {
        const PlantSampleWindow window = PlantOnlyWindow(run.Events, start, end);
        if (!window.Clean) warnings_.push_back(window.Reason);
        if (!window.Usable) makeModel = makeController = false;
        end = window.End;
    }
    if (makeModel) {
        model(RunFile(folder, run.Label, "hvm"), start, end);
        pictures_.ModelPicture(texts.ShowOuterModel, folder);
    }
    if (makeController) {
        controller(RunFile(folder, run.Label, "hvc"), settings);
        pictures_.ControllerPicture(settings, folder);
    }

    // 6. The report: measured data only for a run that did not write to the
    // plant, otherwise the parts the settings choose.
    report(run, record, texts, makeModel, makeController);

    // 7. The pictures go with `cleanup`.
    return written_;
}

void AutomaticProcessing::saveDataFile(const std::string& path, const ProcessingRun& run,
                                       const ProcessingRecord& record) {
    const auto save = [&](const std::string& target) { SaveRecordFile(target, record, state_.Data, separator_); };
    try {
        save(path);
    } catch (const FileError& error) {
        // Nobody is there to save the record by hand, and the next queued
        // experiment replaces it: keep it in the rescue folder and end the
        // chain with a message that says where it is.
        std::string message = error.what();
        if (!run.RescueFolder.empty()) {
            const std::string rescue = RunFile(run.RescueFolder, run.Label, "hvd");
            try {
                std::error_code made;
                std::filesystem::create_directories(run.RescueFolder, made);
                if (made) throw FileError("Cannot create file " + rescue);
                save(rescue);
                rescued_ = rescue;
                message += "; the measured data were saved to " + rescue + " instead";
            } catch (const HalvetraError&) {
                message += "; the measured data are only on the Data page";
            }
        } else {
            message += "; the measured data are only on the Data page";
        }
        throw FileError(message);
    }
    written_.push_back(path);
    dataFile_ = path;
}

void AutomaticProcessing::model(const std::string& path, int start, int end) {
    state_.IdentifyModels(start, end);
    const double samplingTime = state_.Data.SamplingTime;
    // The process types go with the sets: a slope gain must never be read
    // back as a static gain.
    TModel().SaveModelFile(path, state_.Window.WindowLength, TModel::SetOf(state_.InnerModel, samplingTime),
                           TModel::SetOf(state_.OuterModel, samplingTime), state_.Window, separator_,
                           state_.InnerModel.Type, state_.OuterModel.Type);
    written_.push_back(path);
}

void AutomaticProcessing::controller(const std::string& path, const AutomaticExperimentSettings& s) {
    const bool cascade = s.CheckBox_Sam_Cascade;
    // The optimal rule tunes the loop at its sampling time, so for it that is read first.
    const double tuningTs = s.ComboBox_Sam_IzbMetode == OptimalMs
                                ? ResolveLoopSamplingTime(s.Edit_Sam_Ts, state_.LoopSamplingTime, separator_)
                                : state_.LoopSamplingTime;
    const ControllerTuning tuning = state_.Tune(s.ComboBox_Sam_IzbMetode, s.ScrollBar_Sam_Robust, cascade, tuningTs);
    labels_ = FormatControllerLabels(tuning, separator_);
    state_.LoopSamplingTime = ResolveLoopSamplingTime(s.Edit_Sam_Ts, state_.LoopSamplingTime, separator_);
    // A loop that cannot be simulated ends the step before its file, as on the page.
    SimulateController(tuning, s.RadioGroup_Sam_Prikaz, state_.LoopSamplingTime, state_.InnerModel, state_.OuterModel);
    figures_ = ComputeControllerFigures(tuning, state_.LoopSamplingTime, state_.InnerModel, state_.OuterModel);

    // The scaled values of the chosen form and type.
    ParametersBoxState box;
    ShowControllerParameters(s.ComboBox_Sam_TipReg, s.RadioGroup_Sam_PID, cascade, tuning.Result, tuning.Factor,
                             nonLinearityGain_ ? nonLinearityGain_(cascade) : 1.0,
                             ScaleTexts(s.Edit_Sam_SkalP, s.Edit_Sam_SkalI, s.Edit_Sam_SkalD, separator_), separator_,
                             box);
    scaled_ = {box.Text(ParametersText::EditKp), box.Text(ParametersText::EditKi), box.Text(ParametersText::EditKd)};

    ControllerSettings settings;
    settings.SamplingTimeText = s.Edit_Sam_Ts;
    settings.Method = s.ComboBox_Sam_IzbMetode;
    settings.ResponseType = s.RadioGroup_Sam_Prikaz;
    settings.Form = s.ComboBox_Sam_TipReg;
    settings.ControllerType = s.RadioGroup_Sam_PID;
    settings.RobustPosition = s.ScrollBar_Sam_Robust;
    settings.ScaleP = s.Edit_Sam_SkalP;
    settings.ScaleI = s.Edit_Sam_SkalI;
    settings.ScaleD = s.Edit_Sam_SkalD;
    settings.Cascade = cascade;
    TRegulator::SaveControllerFile(path, state_.InnerModel, state_.OuterModel, settings, separator_);
    written_.push_back(path);
}

void AutomaticProcessing::report(const ProcessingRun& run, const ProcessingRecord& record,
                                 const ProcessingReportTexts& texts, bool withModel, bool withController) {
    const AutomaticExperimentSettings& settings = run.Settings;
    ReportInputs inputs;
    inputs.Caption = Q(texts.Caption);
    inputs.IncludeData = run.NoWrite || settings.CheckBox_Sam_PorocObd;
    inputs.IncludeModel = withModel;
    inputs.IncludeController = withController;

    if (withModel) {
        // As the Model page shows the identified set.
        const ModelParameters& m = texts.ShowOuterModel ? state_.OuterModel : state_.InnerModel;
        FillReportModel(inputs.Model, QString(), m, separator_);
        // A cascade has two processes: the other one's figures follow.
        if (settings.CheckBox_Sam_Cascade)
            FillReportModel(
                inputs.OtherModel,
                texts.ShowOuterModel ? QStringLiteral("Inner process model") : QStringLiteral("Outer process model"),
                texts.ShowOuterModel ? state_.InnerModel : state_.OuterModel, separator_);
        const RefinedModelTexts refined =
            FormatRefinedModel(texts.ShowOuterModel ? state_.Refined.Outer : state_.Refined.Inner, 15, separator_);
        inputs.RefinedGain = Q(refined.Gain);
        inputs.RefinedTimeConstant = Q(refined.TimeConstant);
        inputs.RefinedDeadTime = Q(refined.DeadTime);
        inputs.RefinedFit = Q(refined.Fit);
        inputs.RefinedReason = Q(refined.Reason);
        // The refinement is of the self-regulating model only.
        if (m.Type == ProcessType::Integrating) inputs.RefinedGain.clear();
    }
    if (withController) {
        inputs.I_Ki = Q(labels_.Label_Ki);
        inputs.P_Kp = Q(labels_.Label_Kp_P);
        inputs.PI_Kp = Q(labels_.Label_PI_Kp);
        inputs.PI_Ki = Q(labels_.Label_PI_Ti);
        inputs.PID_Kp = Q(labels_.Label_PID_Kp);
        inputs.PID_Ki = Q(labels_.Label_PID_Ti);
        inputs.PID_Kd = Q(labels_.Label_PID_Td);
        const FigureTableTexts figures = FormatFigureTable(figures_, separator_);
        for (std::size_t row = 0; row < figures.size(); ++row)
            for (std::size_t column = 0; column < figures[row].size(); ++column)
                inputs.Figures[row][column] = Q(figures[row][column]);
        inputs.ScaledP = Q(scaled_[0]);
        inputs.ScaledI = Q(scaled_[1]);
        inputs.ScaledD = Q(scaled_[2]);
    }

    // The statistics as the Data page shows them for the record's window; a
    // window they cannot be computed for shows the error's text instead.
    const MeasuredData& data = state_.Data;
    const std::vector<double>* conditioned[ReportInputs::Signals] = {&data.ConditionedMV, &data.ConditionedU,
                                                                     &data.ConditionedY, &data.ConditionedY2};
    for (int i = 0; i < ReportInputs::Signals; ++i) {
        ReportSignalStatistics& shown = inputs.Statistics[static_cast<std::size_t>(i)];
        try {
            const SignalStatisticsTexts t = FormatSignalStatistics(
                ComputeSignalStatistics(*conditioned[i], record.WindowStart, record.WindowEnd), separator_);
            shown = {Q(t.Maximum), Q(t.Minimum), Q(t.StandardDeviation)};
        } catch (const std::exception& e) {
            shown = {Q(e.what()), Q(e.what()), Q(e.what())};
        }
    }
    // A run on the built-in simulation names no server it did not use.
    inputs.ServerName =
        texts.Plant == BuiltInSimulationName ? QStringLiteral("none (built-in simulation)") : Q(texts.ServerName);
    ReportSummaryFacts facts;
    facts.Date = record.Date;
    facts.Time = record.Time;
    facts.DataFile = dataFile_;
    facts.SamplingTime = state_.Data.SamplingTime;
    facts.WindowStart = record.WindowStart;
    facts.WindowEnd = record.WindowEnd;
    facts.SampleTimes = &state_.Data.SampleTimes;
    facts.Plant = texts.Plant;
    if (withController) {
        facts.Method = settings.ComboBox_Sam_IzbMetode;
        facts.RobustPosition = settings.ScrollBar_Sam_Robust;
        facts.Factor = state_.RobustnessFactor;
        facts.Form = settings.ComboBox_Sam_TipReg;
        facts.ControllerType = settings.RadioGroup_Sam_PID;
        facts.LoopSamplingTime = state_.LoopSamplingTime;
    }
    FillReportSummary(inputs.Summary, facts, separator_);
    for (std::size_t row = 0; row < texts.OpcTable.size(); ++row)
        inputs.OpcTable[row] = {Q(texts.OpcTable[row][0]), Q(texts.OpcTable[row][1])};
    for (const std::string& line : warnings_) inputs.RunEvents << Q(line);
    inputs.TemplateName = Q(settings.Label13);
    const std::string reportFile = RunFile(run.Folder, run.Label, run.PdfReport ? "pdf" : "odt");
    inputs.ReportFileName = Q(reportFile);
    inputs.PictureFolder = QFileInfo(inputs.ReportFileName).absolutePath();
    TPorocilo().Make(inputs);
    written_.push_back(reportFile);
}

void FillReportModel(ReportModelTexts& texts, const QString& title, const ModelParameters& model,
                     char decimalSeparator) {
    const auto fixed = [decimalSeparator](double v, int precision, int decimals) {
        return Q(FormatFixedFinite(v, precision, decimals, decimalSeparator));
    };
    const bool integrating = model.Type == ProcessType::Integrating;
    texts.Title = title;
    // A slope gain is small: six decimals, as the Model page shows it.
    texts.Gain = fixed(model.Gain, 15, integrating ? 6 : 3);
    texts.TimeConstant = fixed(model.TimeConstant, 15, 2);
    texts.DeadTime = fixed(model.DeadTime, 15, 1);
    texts.ModelStd = fixed(model.Std, 15, 5);
    texts.RelativeError = fixed(model.RelativeError, 12, 5);
    texts.ModelQuality = Q(QualityText(RateModelQuality(model.RelativeError)));
    texts.ProcessType = integrating ? QString::fromLatin1(IntegratingProcessText) : QString();
}

void FillReportSummary(ReportSummary& summary, const ReportSummaryFacts& facts, char decimalSeparator) {
    const auto number = [decimalSeparator](double value) { return Q(FormatGeneral(value, 15, decimalSeparator)); };
    summary = {};
    const std::string date = facts.Date + (facts.Date.empty() || facts.Time.empty() ? "" : " ") + facts.Time;
    summary.ExperimentDate = Q(date);
    // Beside the report: its name says which it is.
    summary.DataFile = Q(std::filesystem::path(facts.DataFile).filename().string());
    if (facts.SamplingTime > 0.0) summary.SamplingTime = number(facts.SamplingTime);
    const std::vector<double>* times = facts.SampleTimes;
    if (facts.WindowStart >= 1 && facts.WindowEnd >= facts.WindowStart && times &&
        static_cast<std::size_t>(facts.WindowEnd) <= times->size()) {
        const auto time = [&](int sample) {
            return Q(FormatGeneral((*times)[static_cast<std::size_t>(sample - 1)], 6, decimalSeparator));
        };
        summary.Window = QStringLiteral("samples %1 \u2013 %2 (%3 s \u2013 %4 s)")
                             .arg(facts.WindowStart)
                             .arg(facts.WindowEnd)
                             .arg(time(facts.WindowStart), time(facts.WindowEnd));
    }
    summary.Plant = Q(facts.Plant);
    if (facts.Method >= 0 && facts.Method < TuningMethodCount && facts.Method != NoMethod) {
        summary.TuningMethod = QString::fromUtf8(TuningMethodName(facts.Method));
        summary.RobustnessFactor =
            Q(FormatFixed(facts.Factor, 15, 4, decimalSeparator)) +
            (facts.Method == OptimalMs
                 ? QStringLiteral(" (Ms \u2264 %1 at slider position %2)")
                       .arg(Q(FormatFixed(OptimalMsTarget(facts.RobustPosition), 15, 2, decimalSeparator)))
                       .arg(facts.RobustPosition)
                 : QStringLiteral(" (slider position %1)").arg(facts.RobustPosition));
        const std::size_t form = facts.Form >= 0 && facts.Form < static_cast<int>(ControllerFormDescriptions.size())
                                     ? static_cast<std::size_t>(facts.Form)
                                     : 0;
        summary.ControllerForm = QString::fromUtf8(ControllerFormDescriptions[form]);
        if (facts.ControllerType >= 0 && facts.ControllerType < static_cast<int>(ControllerTypeItems.size()))
            summary.ControllerForm +=
                QStringLiteral(", %1 controller")
                    .arg(QString::fromUtf8(ControllerTypeItems[static_cast<std::size_t>(facts.ControllerType)]));
        if (facts.LoopSamplingTime > 0.0) summary.LoopSamplingTime = number(facts.LoopSamplingTime);
    }
}

}  // namespace halvetra
