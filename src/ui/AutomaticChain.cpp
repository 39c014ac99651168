#include "ui/AutomaticChain.h"

#include <QCheckBox>
#include <QDir>

#include "data/Errors.h"
#include "data/NumberText.h"
#include "ui/AppState.h"
#include "ui/ChartExport.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"

namespace halvetra {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QStringList NativePaths(const std::vector<std::string>& paths) {
    QStringList list;
    for (const std::string& path : paths) list << QDir::toNativeSeparators(Q(path));
    return list;
}

// The pictures, drawn where the pages and chart windows show them.
class WindowPictures final : public ProcessingPictures {
public:
    WindowPictures(const AppState& state, const ReportSources& sources) : state_(state), sources_(sources) {}

    void DataPictures(int start, int end, const std::string& folder) override {
        PictureTitles titles = AutomaticPictureTitles();
        DescribeSignals(titles, *sources_.Opc);
        ExportSignalPictures(*sources_.Enlarged, state_.Data, start, end, titles, Q(folder));
        ExportHistogramPictures(*sources_.Histogram, state_.Data, start, end, titles, Q(folder));
    }
    void ModelPicture(bool outer, const std::string& folder) override {
        ModelPage& page = *sources_.Model;
        page.ShowCalculatedModel(outer);
        ExportPageChartPicture(*page.Chart_Model, Q(folder), ModelPictureName);
    }
    void ControllerPicture(const AutomaticExperimentSettings& s, const std::string& folder) override {
        ControllerPage& page = *sources_.Controller;
        page.CalculateController(s.ComboBox_Sam_IzbMetode, s.ScrollBar_Sam_Robust, s.RadioGroup_Sam_Prikaz,
                                 Q(s.Edit_Sam_Ts), s.CheckBox_Sam_Cascade);
        page.ShowControllerParameters(s.ComboBox_Sam_TipReg, s.RadioGroup_Sam_PID, s.CheckBox_Sam_Cascade);
        ExportPageChartPicture(*page.Chart1, Q(folder), ControllerPictureName);
    }
    void RemovePictures(const std::string& folder) override { DeleteReportPictures(Q(folder)); }

private:
    const AppState& state_;
    const ReportSources& sources_;
};

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

AutomaticChain::AutomaticChain(AppState& state, ReportSources sources) : state_(state), sources_(std::move(sources)) {
    if (!sources_.Data || !sources_.Model || !sources_.Controller || !sources_.Opc || !sources_.Histogram ||
        !sources_.Enlarged)
        throw HalvetraError("The automatic processing is missing a page or a chart window.");
}

QStringList AutomaticChain::Run(const AutomaticRun& run) {
    written_.clear();
    rescued_.clear();
    warnings_.clear();
    ProcessingRun processing;
    processing.Folder = QDir::toNativeSeparators(run.Folder).toStdString();
    processing.Label = run.Label.toStdString();
    processing.NoWrite = run.NoWrite;
    processing.Settings = run.Settings;
    processing.RescueFolder = QDir::toNativeSeparators(run.RescueFolder).toStdString();
    processing.Events = run.Events;
    processing.PdfReport = run.PdfReport;

    const OpcPage& opc = *sources_.Opc;
    ProcessingReportTexts texts;
    texts.Caption = sources_.WindowCaption.toStdString();
    texts.ServerName = opc.ServerName();
    for (std::size_t row = 0; row < texts.OpcTable.size(); ++row)
        texts.OpcTable[row] = {opc.CellText(static_cast<int>(row), 0), opc.CellText(static_cast<int>(row), 1)};
    texts.ShowOuterModel = sources_.Model->CheckBox_Model_Outer->isChecked();
    texts.Plant = run.Plant.toStdString();

    const ControllerPage& controller = *sources_.Controller;
    WindowPictures pictures(state_, sources_);
    AutomaticProcessing chain(
        state_, pictures, [&controller](bool cascade) { return controller.NonLinearityGain(cascade); },
        LocaleDecimalSeparator());
    ProcessingRecord record;
    try {
        record = sources_.Data->Record();
    } catch (...) {
        // Nothing written, but the run's events are still to be told.
        warnings_ = RunEventWarnings(run.Events, LocaleDecimalSeparator());
        throw;
    }
    struct Results {
        AutomaticChain& self;
        AutomaticProcessing& chain;
        ~Results() {
            self.written_ = chain.FilesWritten();
            self.rescued_ = chain.RescuedDataFile();
            self.warnings_ = chain.Warnings();
            // The Data page names the file the record now lies in.
            const std::string saved = !self.rescued_.empty()   ? self.rescued_
                                      : !self.written_.empty() ? self.written_.front()
                                                               : std::string();
            if (!saved.empty()) self.sources_.Data->ShowSavedFile(QDir::toNativeSeparators(Q(saved)));
        }
    } results{*this, chain};
    return NativePaths(chain.Run(processing, record, texts));
}

QStringList AutomaticChain::FilesWritten() const { return NativePaths(written_); }

QString AutomaticChain::RescuedDataFile() const { return QDir::toNativeSeparators(Q(rescued_)); }

QStringList AutomaticChain::Warnings() const {
    QStringList list;
    for (const std::string& line : warnings_) list << Q(line);
    return list;
}

}  // namespace halvetra
