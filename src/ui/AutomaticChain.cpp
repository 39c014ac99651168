#include "ui/AutomaticChain.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QScrollBar>

#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/NumberText.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "experiment/Clock.h"
#include "model/TModel.h"
#include "ui/AppState.h"
#include "ui/ChartExport.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/ModelPage.h"

namespace halvetra {

namespace {

QString runFile(const QString& folder, const QString& label, const char* extension) {
    return QDir::toNativeSeparators(QDir(folder).filePath(label + '.' + extension));
}

}  // namespace

QString UnattendedRunStatusText(const QString& label, qsizetype events) {
    return QStringLiteral("Automatic experiment %1: %2 event(s) of the plant link; see %1.events.txt")
        .arg(label)
        .arg(events);
}

QString UnattendedRunMessage(const QString& label, const QStringList& warnings) {
    return QStringLiteral("Automatic experiment %1 did not run cleanly:\n- ").arg(label) +
           warnings.join(QStringLiteral("\n- "));
}

AutomaticChain::AutomaticChain(AppState& state, ReportSources sources)
    : state_(state), sources_(std::move(sources)) {
    if (!sources_.Data || !sources_.Model || !sources_.Controller || !sources_.Opc || !sources_.Histogram ||
        !sources_.Enlarged)
        throw HalvetraError("The automatic processing is missing a page or a chart window.");
}

QStringList AutomaticChain::Run(const AutomaticRun& run) {
    written_.clear();
    rescued_.clear();
    warnings_.clear();
    const QString folder = QDir::toNativeSeparators(run.Folder);
    const AutomaticExperimentSettings& settings = run.Settings;
    // The pictures are temporary: none stays behind, whichever step fails.
    const ReportPictureCleanup cleanup(folder);

    for (const std::string& line : RunEventWarnings(run.Events, LocaleDecimalSeparator()))
        warnings_ << QString::fromStdString(line);

    // 1. The measured data, and beside it the run's events.
    saveDataFile(runFile(folder, run.Label, "hvd"), run);
    if (!run.Events.Empty()) {
        const QString events = runFile(folder, run.Label, "events.txt");
        WriteTextFile(events.toStdString(), RunEventsFileLines(run.Events, run.Label.toStdString()));
        written_ << events;
    }

    // 2, 3. Signal charts and histograms over the Data page's window.
    ExportDataPictures(sources_, state_.Data, AutomaticPictureTitles(), folder);

    // 4, 5. Model and controller, only for a run that wrote to the plant, and
    // only from the plant's own samples.
    bool makeModel = !run.NoWrite && settings.CheckBox_Sam_PorocMod;
    bool makeController = !run.NoWrite && settings.CheckBox_Sam_PorocReg;
    const int start = sources_.Data->ScrollBar3->value();
    int end = sources_.Data->ScrollBar4->value();
    if (makeModel || makeController) {
        const PlantSampleWindow window = PlantOnlyWindow(run.Events, start, end);
        if (!window.Clean) warnings_ << QString::fromStdString(window.Reason);
        if (!window.Usable) makeModel = makeController = false;
        end = window.End;
    }
    if (makeModel) model(folder, runFile(folder, run.Label, "hvm"), start, end);
    if (makeController) controller(folder, runFile(folder, run.Label, "hvc"), settings);

    // 6. The report: measured data only for a run that did not write to the
    // plant, otherwise the parts the settings choose.
    ReportRequest report;
    report.Data = run.NoWrite || settings.CheckBox_Sam_PorocObd;
    report.Model = makeModel;
    report.Controller = makeController;
    report.RunEvents = warnings_;
    report.Template = QString::fromStdString(settings.Label13);
    report.FileName = runFile(folder, run.Label, "odt");
    WriteReportDocument(sources_, report);
    written_ << report.FileName;

    // 7. The pictures go with `cleanup`.
    return written_;
}

void AutomaticChain::saveDataFile(const QString& path, const AutomaticRun& run) {
    try {
        sources_.Data->SaveDataFile(path);
    } catch (const FileError& error) {
        // Nobody is there to save the record by hand, and the next queued
        // experiment replaces it on the Data page: keep it in the rescue
        // folder and end the chain with a message that says where it is.
        std::string message = error.what();
        if (!run.RescueFolder.isEmpty()) {
            const QString rescue = runFile(QDir::toNativeSeparators(run.RescueFolder), run.Label, "hvd");
            try {
                if (!QDir().mkpath(run.RescueFolder))
                    throw FileError("Cannot create file " + rescue.toStdString());
                sources_.Data->SaveDataFile(rescue);
                rescued_ = rescue;
                message += "; the measured data were saved to " + rescue.toStdString() + " instead";
            } catch (const HalvetraError&) {
                message += "; the measured data are only on the Data page";
            }
        } else {
            message += "; the measured data are only on the Data page";
        }
        throw FileError(message);
    }
    written_ << path;
}

void AutomaticChain::model(const QString& folder, const QString& path, int start, int end) {
    ModelPage& page = *sources_.Model;
    page.CalculateModel(start, end, page.CheckBox_Model_Outer->isChecked());
    const double samplingTime = state_.Data.SamplingTime;
    TModel().SaveModelFile(path.toStdString(), state_.Window.WindowLength,
                           TModel::SetOf(state_.InnerModel, samplingTime), TModel::SetOf(state_.OuterModel, samplingTime),
                           state_.Window, LocaleDecimalSeparator());
    written_ << path;
    ExportPageChartPicture(*page.Chart_Model, folder, ModelPictureName);
}

void AutomaticChain::controller(const QString& folder, const QString& path,
                                const AutomaticExperimentSettings& s) {
    ControllerPage& page = *sources_.Controller;
    page.CalculateController(s.ComboBox_Sam_IzbMetode, s.ScrollBar_Sam_Robust, s.RadioGroup_Sam_Prikaz,
                             QString::fromStdString(s.Edit_Sam_Ts), s.CheckBox_Sam_Cascade);
    page.ShowControllerParameters(s.ComboBox_Sam_TipReg, s.RadioGroup_Sam_PID, s.CheckBox_Sam_Cascade);

    // The file holds what the Controller page's controls show.
    ControllerSettings settings;
    settings.SamplingTimeText = page.Edit_Vzorcenje->text().toStdString();
    settings.Method = page.ComboBox1->currentIndex();
    settings.ResponseType = page.motnjaItems->checkedId();
    settings.Form = page.ComboBox_Regulator->currentIndex();
    settings.ControllerType = page.izbiraTipaRegItems->checkedId();
    settings.RobustPosition = page.ScrollBar_Robust->value();
    settings.ScaleP = page.Edit_Reg_ScaleP->text().toStdString();
    settings.ScaleI = page.Edit_Reg_ScaleI->text().toStdString();
    settings.ScaleD = page.Edit_Reg_ScaleD->text().toStdString();
    settings.Cascade = page.CheckBox_CascadeReg->isChecked();
    TRegulator::SaveControllerFile(path.toStdString(), state_.InnerModel, state_.OuterModel, settings,
                                   LocaleDecimalSeparator());
    written_ << path;
    ExportPageChartPicture(*page.Chart1, folder, ControllerPictureName);
}

}  // namespace halvetra
