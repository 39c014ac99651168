#include "app/TForm1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDir>
#include <QSettings>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QTimer>

#include "data/NumberText.h"
#include "experiment/Clock.h"
#include "ui/AboutPage.h"
#include "ui/AutomaticChain.h"
#include "ui/Command.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/Dialogs.h"
#include "ui/ExperimentPage.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"
#include "ui/ReportPage.h"
#include "ui/SettingsMapping.h"
#include "ui/TEksperiment.h"
#include "ui/TForm_SamodNastav.h"

namespace halvetra {

TForm1::TForm1(Dialogs& dialogs, const Clock& clock, PlantAccess& plant, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), clock_(clock), plant_(plant) {
    setObjectName("Form1");
    setWindowTitle(MainWindowCaption);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    setStatusBar(StatusBar1);

    const PageContext context{State,
                              dialogs_,
                              Files,
                              clock_,
                              plant_,
                              [this](const QString& text) { StatusBar1->showMessage(text); },
                              [this](int index) { PageControl1->setCurrentIndex(index); }};

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    OpcPage_ = new OpcPage(context, PageControl1);
    ExperimentPage_ = new ExperimentPage(context, PageControl1);
    DataPage_ = new DataPage(context, PageControl1);
    ModelPage_ = new ModelPage(context, PageControl1);
    ControllerPage_ = new ControllerPage(context, PageControl1);
    ReportPage_ = new ReportPage(context, PageControl1);
    AboutPage_ = new AboutPage(PageControl1);
    const std::pair<QWidget*, const char*> pages[] = {
        {OpcPage_, "OPCTab"},        {ExperimentPage_, "EkspTab"}, {DataPage_, "ObdTab"},    {ModelPage_, "ModTab"},
        {ControllerPage_, "RegTab"}, {ReportPage_, "PorTab"},      {AboutPage_, "TabSheet1"}};
    const char* captions[] = {"OPC", "Experiment", "Data", "Model", "Controller", "Report", "About"};
    for (int i = 0; i < 7; ++i) {
        pages[i].first->setObjectName(pages[i].second);
        PageControl1->addTab(pages[i].first, captions[i]);
    }
    // "Calculate model" of the Data page identifies the window it shows and
    // turns to the Model page; a failed identification stays on the Data page.
    DataPage_->ModelCalculation = [this](int first, int last) {
        ModelPage_->CalculateModel(first, last, ModelPage_->CheckBox_Model_Outer->isChecked());
        PageControl1->setCurrentIndex(ModTab);
    };
    // "Calculate PID parameters" of the Model page tunes on the Controller
    // page at the measured data's sampling time.
    ModelPage_->ControllerCalculation = [this] {
        PageControl1->setCurrentIndex(RegTab);
        ControllerPage_->Edit_Vzorcenje->setText(
            QString::fromStdString(FormatGeneral(State.Data.SamplingTime, 12, LocaleDecimalSeparator())));
        ControllerPage_->CalculateController();
        ControllerPage_->ShowControllerParameters();
    };
    // The scaled parameters of a cascade allow for the non-linear element
    // between the loops over the range of measurement 1.
    ControllerPage_->NonLinearity = [this] {
        ControllerPage::NonLinearityTexts nl;
        nl.Active = ExperimentPage_->CheckBox_Sekvencer->isChecked();
        const QTableWidget* table = ExperimentPage_->StringGrid_Sekvencer;
        const auto cell = [table](int row, int column) {
            const QTableWidgetItem* item = table->item(row, column);
            return item ? item->text().toStdString() : std::string();
        };
        for (int row = 0; row < table->rowCount(); ++row) nl.Table.push_back({cell(row, 0), cell(row, 1)});
        nl.MinimumY1 = DataPage_->Label_MinY1->text();
        nl.MaximumY1 = DataPage_->Label_MaksY1->text();
        return nl;
    };
    // "Load to controller" writes to the items of the OPC page's table.
    ControllerPage_->SignalItem = [this](SignalRole role) { return OpcPage_->ItemId(role); };
    // The report prints what the pages show; its chart windows come later.
    ReportSources report;
    report.Data = DataPage_;
    report.Model = ModelPage_;
    report.Controller = ControllerPage_;
    report.Opc = OpcPage_;
    report.WindowCaption = windowTitle();
    ReportPage_->attachSources(report);
    PageControl1->setCurrentIndex(EkspTab);  // the first screen
    setCentralWidget(PageControl1);

    Timer_ExperimentScheduler = new QTimer(this);
    Timer_ExperimentScheduler->setObjectName("Timer_ExperimentScheduler");
    Timer_ExperimentScheduler->setInterval(500);
    connect(Timer_ExperimentScheduler, &QTimer::timeout, this, &TForm1::Timer_ExperimentSchedulerTimer);
    wireExperimentPage();

    Timer_FirstScreen = new QTimer(this);
    Timer_FirstScreen->setObjectName("Timer_FirstScreen");
    Timer_FirstScreen->setInterval(5000);
    connect(Timer_FirstScreen, &QTimer::timeout, this, &TForm1::Timer_FirstScreenTimer);
    Timer_FirstScreen->start();

    FormCreate();
    // Resizable down to the size at which no page overlaps itself; opens at
    // the size it had when it was last closed.
    setMinimumSize(minimumSizeHint().expandedTo(QSize(914, 0)));
    resize(QSize(914, 601 + StatusBar1->sizeHint().height()).expandedTo(minimumSize()));
    restoreGeometry(QSettings(QStringLiteral("Halvetra"), QStringLiteral("Halvetra"))
                        .value(QStringLiteral("MainWindow/Geometry"))
                        .toByteArray());
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    State.ApplyingAutomaticSettings = false;
    // A failure here is shown, and start-up goes on without that step.
    RunCommand(dialogs_, [this] { OpcPage_->FillServerList(); });
    ExperimentPage_->DateTimePicker1->setDate(clock_.now().date());
    RunCommand(dialogs_, [this] { OpcPage_->SetUpControllerGroup(); });
    State.QueuedExperimentFolders.clear();
    State.WorkingFolder = QDir::toNativeSeparators(QDir::currentPath());
    ModelPage_->hideQualityImages();
    AboutPage_->Label_Verzija->setText(windowTitle());
    AboutPage_->Label83->setText(VersionNumber);
}

void TForm1::closeEvent(QCloseEvent* event) {
    QSettings(QStringLiteral("Halvetra"), QStringLiteral("Halvetra"))
        .setValue(QStringLiteral("MainWindow/Geometry"), saveGeometry());
    QMainWindow::closeEvent(event);
    emit closed();
}

void TForm1::Timer_FirstScreenTimer() {
    Timer_FirstScreen->stop();
    PageControl1->setCurrentIndex(OPCTab);
}

void TForm1::Timer_ExperimentSchedulerTimer() { ExperimentPage_->SchedulerTick(); }

// --- The Experiment page's connections ---

void TForm1::wireExperimentPage() {
    ExperimentPage_->attachOpcPage(OpcPage_);
    ExperimentPage_->EnableScheduler = [this](bool on) {
        if (on)
            Timer_ExperimentScheduler->start();
        else
            Timer_ExperimentScheduler->stop();
    };
    ExperimentPage_->CopyAutomaticSettings = [this] { copyAutomaticSettings(); };
}

void TForm1::attachExperimentWindows(TEksperiment* experiment, TForm_SamodNastav* automaticSettings) {
    ExperimentPage_->attachSettingsWindow(automaticSettings);
    if (!experiment) return;
    ExperimentPage_->PrepareExperiment = [experiment](const ExperimentStart& start) {
        experiment->PrepareRun(start.Parameters, start.Items, start.Automatic);
    };
    ExperimentPage_->RunExperiment = [this, experiment](const ExperimentStart& start) {
        QRadioButton* manual = ExperimentPage_->RadioRocno;
        State.LastRunEvents.Reset();
        experiment->RunModal(
            start.Slider, start.Automatic, [manual] { return manual->isChecked(); },
            [manual] { manual->setChecked(true); });
        State.LastRunEvents = experiment->Run().Events();
    };
}

void TForm1::attachChartWindows(TForm_Histogram* histogram, TForm_Obdelava_Large* enlarged) {
    DataPage_->attachWindows(histogram, enlarged);
    ReportSources report = ReportPage_->Sources();
    report.Histogram = histogram;
    report.Enlarged = enlarged;
    ReportPage_->attachSources(report);
    if (histogram && enlarged)
        ExperimentPage_->ProcessAutomaticRun = [this](const QString& folder, const QString& label, bool noWrite) {
            processAutomaticRun(folder, label, noWrite);
        };
    else
        ExperimentPage_->ProcessAutomaticRun = nullptr;
}

void TForm1::processAutomaticRun(const QString& folder, const QString& label, bool noWrite) {
    AutomaticRun run;
    run.Folder = folder;
    run.Label = label;
    run.NoWrite = noWrite;
    run.RescueFolder = RescueFolder;
    if (const TForm_SamodNastav* window = ExperimentPage_->SettingsWindow()) run.Settings = window->Values();
    run.Events = State.LastRunEvents;
    run.Plant = plant_.IsConnected() ? QString::fromStdString(OpcPage_->ServerName())
                                     : QString::fromLatin1(BuiltInSimulationName);
    AutomaticChain chain(State, ReportPage_->Sources());
    // Nobody watched the run: what happened to the plant link is said in the
    // status line and in a message, also when the processing failed.
    const auto tell = [this, &chain, &label] {
        const QStringList& warnings = chain.Warnings();
        if (warnings.isEmpty()) return;
        StatusBar1->showMessage(UnattendedRunStatusText(label, warnings.size()));
        // Without waiting for OK: the queue's next experiments go on.
        dialogs_.notify(UnattendedRunMessage(label, warnings));
    };
    QStringList written;
    try {
        written = chain.Run(run);
    } catch (...) {
        tell();
        throw;
    }
    // Where the report went, unless the run's events hold the status line.
    for (const QString& file : written)
        if (chain.Warnings().isEmpty() && (file.endsWith(".odt") || file.endsWith(".pdf")))
            StatusBar1->showMessage(QStringLiteral("Report written to ") + file);
    tell();
}

void TForm1::copyAutomaticSettings() {
    const TForm_SamodNastav* window = ExperimentPage_->SettingsWindow();
    if (!window) return;
    // The pages' guarded handlers see the flag and leave their recalculation.
    const QScopedValueRollback<bool> applying(State.ApplyingAutomaticSettings, true);
    CopyAutomaticSettings(window->Values(), *DataPage_, *ModelPage_, *ControllerPage_, *ReportPage_);
}

}  // namespace halvetra
