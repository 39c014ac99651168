#include "ui/ReportPage.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QButtonGroup>
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

#include "data/Errors.h"
#include "report/TPorocilo.h"
#include "experiment/AutomaticProcessing.h"
#include "ui/AppState.h"
#include "ui/ChartExport.h"
#include "ui/Command.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/MainDialogs.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"

namespace halvetra {

namespace {

const char* const ReportFileFilter = "OpenDocument text (*.odt)|*.odt|PDF document (*.pdf)|*.pdf";
constexpr int PdfFilterIndex = 2;

void requireSources(const ReportSources& s) {
    if (!s.Data || !s.Model || !s.Controller || !s.Opc || !s.Histogram || !s.Enlarged)
        throw HalvetraError("The report is missing a page or a chart window.");
}

// The summary block: the data as the Data page shows it, the tuning as the
// Controller page does; in a cascade also the model the Model page does not show.
void fillSummary(ReportInputs& inputs, const DataPage& data, const ModelPage& model, const ControllerPage& controller,
                 const AppState& state, const QString& plant) {
    const auto shown = [](const QLabel* label) {
        const QString text = label->text();
        return text == QStringLiteral("\u2014") ? std::string() : text.toStdString();
    };
    ReportSummaryFacts facts;
    facts.Date = shown(data.Label_Datum);
    facts.Time = shown(data.Label_Ura);
    facts.DataFile = shown(data.Label_Ime);
    facts.SamplingTime = state.Data.SamplingTime;
    if (state.Data.SampleCount > 0) {
        facts.WindowStart = data.ScrollBar3->value();
        facts.WindowEnd = data.ScrollBar4->value();
        facts.SampleTimes = &state.Data.SampleTimes;
    }
    facts.Plant = plant.toStdString();
    facts.Method = controller.ComboBox1->currentIndex();
    facts.RobustPosition = controller.ScrollBar_Robust->value();
    facts.Factor = state.RobustnessFactor;
    facts.Form = controller.ComboBox_Regulator->currentIndex();
    facts.ControllerType = controller.izbiraTipaRegItems->checkedId();
    facts.LoopSamplingTime = state.LoopSamplingTime;
    FillReportSummary(inputs.Summary, facts, LocaleDecimalSeparator());
    // A cascade has two processes: the one the Model page does not show follows.
    if (controller.CheckBox_CascadeReg->isChecked()) {
        const bool outerShown = model.CheckBox_Model_Outer->isChecked();
        FillReportModel(inputs.OtherModel,
                        outerShown ? QStringLiteral("Inner process model") : QStringLiteral("Outer process model"),
                        outerShown ? state.InnerModel : state.OuterModel, LocaleDecimalSeparator());
    }
}

}  // namespace

// --- Shared with the automatic processing ---

void DescribeSignals(PictureTitles& titles, const OpcPage& opc) {
    const int rows[4] = {0, 2, 4, 5};  // the OPC table's rows of MV1, U1, Y1 and Y2
    for (std::size_t k = 0; k < titles.Descriptions.size(); ++k)
        titles.Descriptions[k] = QString::fromStdString(opc.CellText(rows[k], 1));
}

QStringList ExportDataPictures(const ReportSources& sources, const MeasuredData& data, const PictureTitles& titles,
                               const QString& folder) {
    requireSources(sources);
    const int start = sources.Data->ScrollBar3->value();
    const int end = sources.Data->ScrollBar4->value();
    PictureTitles described = titles;
    DescribeSignals(described, *sources.Opc);
    QStringList written = ExportSignalPictures(*sources.Enlarged, data, start, end, described, folder);
    written << ExportHistogramPictures(*sources.Histogram, data, start, end, described, folder);
    return written;
}

void WriteReportDocument(const ReportSources& sources, const ReportRequest& request) {
    requireSources(sources);
    const DataPage& data = *sources.Data;
    const ModelPage& model = *sources.Model;
    const ControllerPage& controller = *sources.Controller;
    const OpcPage& opc = *sources.Opc;

    ReportInputs inputs;
    inputs.Caption = sources.WindowCaption;
    inputs.Model.Gain = model.Edit_Gain->text();
    inputs.Model.TimeConstant = model.Edit_Time->text();
    inputs.Model.DeadTime = model.Edit_Delay->text();
    inputs.Model.ModelStd = model.Label_STD->text();
    inputs.Model.RelativeError = model.Label_Rel_Pogresek->text();
    inputs.Model.ModelQuality = model.Label_Kvaliteta->text();
    inputs.RefinedGain = model.Label_RefinedGain->text();
    inputs.RefinedTimeConstant = model.Label_RefinedTime->text();
    inputs.RefinedDeadTime = model.Label_RefinedDelay->text();
    inputs.RefinedFit = model.Label_RefinedFit->text();
    inputs.RefinedReason = model.Label_RefinedReason->text();
    if (request.State) {
        // An integrating model: its type named, and no refined model (the
        // refinement is of the self-regulating model only).
        const AppState& state = *request.State;
        const ModelParameters& shown = model.CheckBox_Model_Outer->isChecked() ? state.OuterModel : state.InnerModel;
        if (shown.Type == ProcessType::Integrating) {
            inputs.Model.ProcessType = QString::fromLatin1(IntegratingProcessText);
            inputs.RefinedGain.clear();
        }
    }
    inputs.I_Ki = controller.Label_Ki->text();
    inputs.P_Kp = controller.Label_Kp_P->text();
    inputs.PI_Kp = controller.Label_PI_Kp->text();
    inputs.PI_Ki = controller.Label_PI_Ti->text();
    inputs.PID_Kp = controller.Label_PID_Kp->text();
    inputs.PID_Ki = controller.Label_PID_Ti->text();
    inputs.PID_Kd = controller.Label_PID_Td->text();
    const FigureTableTexts figures = FormatFigureTable(controller.Figures(), LocaleDecimalSeparator());
    for (std::size_t row = 0; row < figures.size(); ++row)
        for (std::size_t column = 0; column < figures[row].size(); ++column)
            inputs.Figures[row][column] = QString::fromStdString(figures[row][column]);
    inputs.ScaledP = controller.Edit_Reg_Kp->text();
    inputs.ScaledI = controller.Edit_Reg_Ki->text();
    inputs.ScaledD = controller.Edit_Reg_Kd->text();
    inputs.ScaledNote = controller.ScaledValuesNote();
    inputs.Statistics = {{{data.Label_MaksMV1->text(), data.Label_MinMV1->text(), data.Label_STDMV1->text()},
                          {data.Label_MaksU1->text(), data.Label_MinU1->text(), data.Label_STDU1->text()},
                          {data.Label_MaksY1->text(), data.Label_MinY1->text(), data.Label_STDY1->text()},
                          {data.Label_MaksY2->text(), data.Label_MinY2->text(), data.Label_STDY2->text()}}};
    inputs.ServerName = QString::fromStdString(opc.ServerName());
    for (int row = 0; row < ReportInputs::OpcRows; ++row)
        inputs.OpcTable[static_cast<std::size_t>(row)] = {QString::fromStdString(opc.CellText(row, 0)),
                                                          QString::fromStdString(opc.CellText(row, 1))};

    if (request.State) fillSummary(inputs, data, model, controller, *request.State, request.Plant);

    inputs.RunEvents = request.RunEvents;
    inputs.IncludeData = request.Data;
    inputs.IncludeModel = request.Model;
    inputs.IncludeController = request.Controller;
    inputs.TemplateName = request.Template;
    inputs.ReportFileName = request.FileName;
    inputs.PictureFolder = QFileInfo(request.FileName).absolutePath();
    TPorocilo().Make(inputs);
}

// --- The page ---

ReportPage::ReportPage(PageContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    auto* contentBox = new QGroupBox("Report content", this);
    contentBox->setObjectName("GroupBox_Porocilo");
    CheckBox1 = new QCheckBox("Measured data", contentBox);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox2 = new QCheckBox("Process model", contentBox);
    CheckBox2->setObjectName("CheckBox2");
    CheckBox3 = new QCheckBox("Controller", contentBox);
    CheckBox3->setObjectName("CheckBox3");
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3}) box->setChecked(true);
    auto* contentLayout = new QVBoxLayout(contentBox);
    contentLayout->addWidget(CheckBox1);
    contentLayout->addWidget(CheckBox2);
    contentLayout->addWidget(CheckBox3);

    auto* templateBox = new QGroupBox("Template", this);
    Label63 = new QLabel(TPorocilo::DefaultTemplateName(), templateBox);
    Label63->setObjectName("Label63");
    Label63->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label63->setWordWrap(true);
    Button_IzberiPredlogo = new QPushButton("Select dot file", templateBox);
    Button_IzberiPredlogo->setObjectName("Button_IzberiPredlogo");
    auto* templateLayout = new QHBoxLayout(templateBox);
    templateLayout->addWidget(Label63, 1);
    templateLayout->addWidget(Button_IzberiPredlogo);

    Button_Naredi_porocilo = new QPushButton("Make report", this);
    Button_Naredi_porocilo->setObjectName("Button_Naredi_porocilo");

    auto* column = new QVBoxLayout;
    column->addWidget(contentBox);
    column->addWidget(templateBox);
    column->addWidget(Button_Naredi_porocilo, 0, Qt::AlignLeft);
    column->addStretch(1);
    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(8, 8, 8, 8);
    page->addLayout(column);
    page->addStretch(1);

    OpenDocument = [](const QString& fileName) { QDesktopServices::openUrl(QUrl::fromLocalFile(fileName)); };

    connect(Button_IzberiPredlogo, &QPushButton::clicked, this, &ReportPage::Button_IzberiPredlogoClick);
    connect(Button_Naredi_porocilo, &QPushButton::clicked, this, &ReportPage::Button_Naredi_porociloClick);
}

void ReportPage::Button_IzberiPredlogoClick() {
    RunCommand(ctx_.Dialog, [this] { selectTemplate(); });
}

void ReportPage::Button_Naredi_porociloClick() {
    RunCommand(ctx_.Dialog, [this] { makeReport(); });
}

void ReportPage::selectTemplate() {
    FileDialog& dialog = ctx_.Files.OpenDialog2;
    if (!ctx_.Dialog.execute(dialog)) return;
    Label63->setText(QDir::toNativeSeparators(dialog.FileName));
}

void ReportPage::makeReport() {
    FileDialog& dialog = ctx_.Files.SaveDialog_Porocilo;
    dialog.Filter = ReportFileFilter;
    dialog.DefaultExt = "odt";
    dialog.OverwritePrompt = true;
    if (!ctx_.Dialog.execute(dialog)) return;
    requireSources(sources_);

    // A name without extension takes the one of the chosen file type.
    const QString defaultExt = dialog.FilterIndex == PdfFilterIndex ? QStringLiteral("pdf") : dialog.DefaultExt;
    const QString fileName =
        QDir::toNativeSeparators(QFileInfo(WithDefaultExtension(dialog.FileName, defaultExt)).absoluteFilePath());
    const QString folder = QFileInfo(fileName).absolutePath();
    // A template that cannot be read ends the command before anything is
    // drawn or written into the folder.
    TPorocilo::CheckTemplate(Label63->text(), folder);

    {
        // The pictures are temporary, also when the report fails.
        const ReportPictureCleanup cleanup(folder);
        ExportDataPictures(sources_, ctx_.State.Data, ReportPictureTitles(), folder);
        ExportPageChartPicture(*sources_.Model->Chart_Model, folder, ModelPictureName);
        ExportPageChartPicture(*sources_.Controller->Chart1, folder, ControllerPictureName);

        ReportRequest request;
        request.Data = CheckBox1->isChecked();
        request.Model = CheckBox2->isChecked();
        request.Controller = CheckBox3->isChecked();
        request.Template = Label63->text();
        request.FileName = fileName;
        request.State = &ctx_.State;
        if (ctx_.Plant.IsConnected()) request.Plant = QString::fromStdString(sources_.Opc->ServerName());
        WriteReportDocument(sources_, request);
    }
    if (ctx_.ShowStatus) ctx_.ShowStatus(QStringLiteral("Report written to ") + fileName);
    if (OpenDocument) OpenDocument(fileName);
}

}  // namespace halvetra
