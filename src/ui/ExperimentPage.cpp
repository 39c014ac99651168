#include "ui/ExperimentPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

#include "data/Errors.h"
#include "data/NumberText.h"
#include "data/TextFile.h"
#include "settings/SettingsFile.h"
#include "ui/AppState.h"
#include "ui/Command.h"
#include "ui/Dialogs.h"
#include "ui/MainDialogs.h"
#include "ui/OpcPage.h"
#include "ui/SettingsMapping.h"
#include "ui/SignalRole.h"
#include "ui/TForm_SamodNastav.h"

namespace halvetra {

namespace {

constexpr const char* SettingsFileFilter = "Halvetra Experiment (*.hvx)|*.hvx|All files|*.*";
constexpr const char* SettingsLoadFilter = "Experiment (*.hvx)|*.hvx|All files|*.*";
constexpr int DataPageIndex = 2;

// The rows whose descriptions an experiment records, in column order.
constexpr std::array<SignalRole, 6> RecordedSignals = {SignalRole::MV1, SignalRole::MV2, SignalRole::U1,
                                                       SignalRole::U2,  SignalRole::Y1,  SignalRole::Y2};

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QLineEdit* edit(const char* name, const QString& text, QWidget* parent) {
    return named(new QLineEdit(text, parent), name);
}

QCheckBox* check(const char* name, const QString& caption, bool checked, QWidget* parent) {
    auto* box = named(new QCheckBox(caption, parent), name);
    box->setChecked(checked);
    return box;
}

}  // namespace

ExperimentPage::ExperimentPage(PageContext context, QWidget* parent)
    : QWidget(parent), Queue(QLocale()), ctx_(std::move(context)) {
    QGroupBox* kindBox = buildKindBox();
    QGroupBox* settingsBox = buildSettingsBox();
    QGroupBox* startBox = buildStartBox();
    QGroupBox* sliderBox = buildSliderBox();
    QGroupBox* nlBox = buildNonLinearityBox();

    AktivirajEksperiment = named(new QPushButton("&Activation of experiment", this), "AktivirajEksperiment");
    NaloziNastavitve = named(new QPushButton("&Load settings", this), "NaloziNastavitve");
    ShraniNastavitve = named(new QPushButton("&Save settings", this), "ShraniNastavitve");

    QGroupBox* queueBox = buildQueueBox();

    auto* column1 = new QVBoxLayout;
    column1->addWidget(kindBox);
    column1->addWidget(settingsBox);
    column1->addStretch(1);
    auto* column2 = new QVBoxLayout;
    column2->addWidget(startBox);
    column2->addWidget(sliderBox);
    auto* fileButtons = new QHBoxLayout;
    fileButtons->addWidget(NaloziNastavitve);
    fileButtons->addWidget(ShraniNastavitve);
    column2->addLayout(fileButtons);
    column2->addWidget(AktivirajEksperiment);
    column2->addStretch(1);
    auto* column3 = new QVBoxLayout;
    column3->addWidget(queueBox, 1);
    column3->addWidget(nlBox, 1);

    // The settings keep their width; the queue and the non-linearity table
    // take what a larger window gives.
    auto* page = new QHBoxLayout(this);
    page->addLayout(column1, 0);
    page->addLayout(column2, 0);
    page->addLayout(column3, 1);

    connectSignals();
    SeznamCakajocihEkspCas->installEventFilter(this);
    ApplyEnablingRules();
}

// "Experiment": manual or automatic.
QGroupBox* ExperimentPage::buildKindBox() {
    auto* kindBox = new QGroupBox("Experiment", this);
    auto* kindLayout = new QVBoxLayout(kindBox);
    RadioRocno = named(new QRadioButton("Manual experiment", kindBox), "RadioRocno");
    RadioAvtomatsko = named(new QRadioButton("Automatic experiment", kindBox), "RadioAvtomatsko");
    RadioAvtomatsko->setChecked(true);
    kindLayout->addWidget(RadioRocno);
    kindLayout->addWidget(RadioAvtomatsko);
    return kindBox;
}

// "Settings": sampling time, the writes and loops, the initial input and the steps.
QGroupBox* ExperimentPage::buildSettingsBox() {
    auto* settingsBox = new QGroupBox("Settings", this);
    auto* form = new QFormLayout(settingsBox);
    CasVzorcenjaEdit = edit("CasVzorcenjaEdit", "1", settingsBox);
    CheckBox_NePisi = check("CheckBox_NePisi", "Don't write to OPC", false, settingsBox);
    CheckBox_Zaprtozancni = check("CheckBox_Zaprtozancni", "Closed-loop during experiment", false, settingsBox);
    CheckBox_ZZPoPoizkusu = check("CheckBox_ZZPoPoizkusu", "Closed-loop after experiment", true, settingsBox);
    OhraniZacetniVhod = check("OhraniZacetniVhod", "Start from initial process input", false, settingsBox);
    ZacetniVhodEdit = edit("ZacetniVhodEdit", "0", settingsBox);
    CasCakanjaEdit = edit("CasCakanjaEdit", "0", settingsBox);
    VelikostStopniceEdit = edit("VelikostStopniceEdit", "0", settingsBox);
    CasStopniceEdit = edit("CasStopniceEdit", "0", settingsBox);
    SteviloStopnicEdit = edit("SteviloStopnicEdit", "1", settingsBox);
    CheckBox_ObeSmeri = check("CheckBox_ObeSmeri", "Steps in both directions", false, settingsBox);
    form->addRow("Sampling time: [s]", CasVzorcenjaEdit);
    form->addRow(CheckBox_NePisi);
    form->addRow(CheckBox_Zaprtozancni);
    form->addRow(CheckBox_ZZPoPoizkusu);
    form->addRow(OhraniZacetniVhod);
    form->addRow("Initial input: ", ZacetniVhodEdit);
    form->addRow("Waiting time: [s]", CasCakanjaEdit);
    form->addRow("Step amplitude:", VelikostStopniceEdit);
    form->addRow("Time of one step: [s]", CasStopniceEdit);
    form->addRow("Number of steps:", SteviloStopnicEdit);
    form->addRow(CheckBox_ObeSmeri);
    return settingsBox;
}

// "Start of automatic experiment": date and time, and the detailed settings.
QGroupBox* ExperimentPage::buildStartBox() {
    auto* startBox = new QGroupBox("Start of automatic experiment", this);
    auto* startForm = new QFormLayout(startBox);
    DateTimePicker1 = named(new QDateEdit(startBox), "DateTimePicker1");
    DateTimePicker1->setCalendarPopup(true);
    CajtZacetka = edit("CajtZacetka", "12:00:00", startBox);
    CajtZacetka->setInputMask("90:00:00;_");
    CajtZacetka->setText("12:00:00");
    Button1 = named(new QPushButton("Set current &time", startBox), "Button1");
    Button10 = named(new QPushButton("&Detailed settings of automatic experiment", startBox), "Button10");
    startForm->addRow("Date:", DateTimePicker1);
    startForm->addRow("Time:", CajtZacetka);
    startForm->addRow(Button1);
    startForm->addRow(Button10);
    return startBox;
}

// "MV slider parametrers": the range and step of the experiment window's slider.
QGroupBox* ExperimentPage::buildSliderBox() {
    auto* sliderBox = new QGroupBox("MV slider parametrers", this);
    auto* sliderForm = new QFormLayout(sliderBox);
    Edit_MVMax = edit("Edit_MVMax", "100", sliderBox);
    Edit_MVMin = edit("Edit_MVMin", "0", sliderBox);
    Edit_MVStep = edit("Edit_MVStep", "1", sliderBox);
    sliderForm->addRow("Max:", Edit_MVMax);
    sliderForm->addRow("Min:", Edit_MVMin);
    sliderForm->addRow("Step:", Edit_MVStep);
    sliderBox->setToolTip("Range and step of the slider of the manipulated variable MV1 in the experiment window");
    const std::pair<QWidget*, const char*> sliderTips[] = {{Edit_MVMax, "Largest value of MV1 on the slider"},
                                                           {Edit_MVMin, "Smallest value of MV1 on the slider"},
                                                           {Edit_MVStep, "Change of MV1 per slider step"}};
    for (const auto& [field, tip] : sliderTips) {
        field->setToolTip(tip);
        if (QWidget* label = sliderForm->labelForField(field)) label->setToolTip(tip);
    }
    return sliderBox;
}

// "Non-linearity between loops": "NL active" and the table of input/output points.
QGroupBox* ExperimentPage::buildNonLinearityBox() {
    auto* nlBox = new QGroupBox("Non-linearity between loops", this);
    auto* nlLayout = new QVBoxLayout(nlBox);
    CheckBox_Sekvencer = check("CheckBox_Sekvencer", "NL active", false, nlBox);
    CheckBox_Sekvencer->setToolTip(
        "Non-linearity (NL) between the loops is active: the table's input/output points are taken into account");
    StringGrid_Sekvencer = named(new QTableWidget(10, 2, nlBox), "StringGrid_Sekvencer");
    StringGrid_Sekvencer->setHorizontalHeaderLabels({"Input", "Output"});
    StringGrid_Sekvencer->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    StringGrid_Sekvencer->verticalHeader()->setDefaultSectionSize(20);
    nlLayout->addWidget(CheckBox_Sekvencer);
    nlLayout->addWidget(StringGrid_Sekvencer);
    return nlBox;
}

// "Waiting experiments": the times and labels of the queued experiments.
QGroupBox* ExperimentPage::buildQueueBox() {
    auto* queueBox = new QGroupBox("Waiting experiments", this);
    auto* queueGrid = new QGridLayout(queueBox);
    SeznamCakajocihEkspCas = named(new QListWidget(queueBox), "SeznamCakajocihEkspCas");
    SeznamCakajocihEkspOznaka = named(new QListWidget(queueBox), "SeznamCakajocihEkspOznaka");
    queueGrid->addWidget(new QLabel("Time of experiment", queueBox), 0, 0);
    queueGrid->addWidget(new QLabel("Label of experiment", queueBox), 0, 1);
    queueGrid->addWidget(SeznamCakajocihEkspCas, 1, 0);
    queueGrid->addWidget(SeznamCakajocihEkspOznaka, 1, 1);
    return queueBox;
}

void ExperimentPage::connectSignals() {
    connect(RadioRocno, &QRadioButton::toggled, this, &ExperimentPage::ApplyEnablingRules);
    connect(CheckBox_NePisi, &QCheckBox::toggled, this, &ExperimentPage::ApplyEnablingRules);
    connect(OhraniZacetniVhod, &QCheckBox::toggled, this, &ExperimentPage::ApplyEnablingRules);
    connect(AktivirajEksperiment, &QPushButton::clicked, this, &ExperimentPage::AktivirajEksperimentClick);
    connect(Button1, &QPushButton::clicked, this, &ExperimentPage::Button1Click);
    connect(Button10, &QPushButton::clicked, this, &ExperimentPage::Button10Click);
    connect(ShraniNastavitve, &QPushButton::clicked, this, &ExperimentPage::ShraniNastavitveClick);
    connect(NaloziNastavitve, &QPushButton::clicked, this, &ExperimentPage::NaloziNastavitveClick);
}

// --- Enabling rules ---

void ExperimentPage::ApplyEnablingRules() {
    const bool automatic = !RadioRocno->isChecked();
    const bool writes = !CheckBox_NePisi->isChecked();
    CheckBox_Zaprtozancni->setEnabled(writes);
    CheckBox_ZZPoPoizkusu->setEnabled(writes);
    OhraniZacetniVhod->setEnabled(writes);
    // Starting from the process's own input leaves nothing to type.
    ZacetniVhodEdit->setEnabled(writes && !OhraniZacetniVhod->isChecked());
    CasCakanjaEdit->setEnabled(automatic);
    VelikostStopniceEdit->setEnabled(automatic && writes);
    CasStopniceEdit->setEnabled(automatic);
    SteviloStopnicEdit->setEnabled(automatic && writes);
    CheckBox_ObeSmeri->setEnabled(automatic && writes);
    DateTimePicker1->setEnabled(automatic);
    CajtZacetka->setEnabled(automatic);
    Button10->setEnabled(automatic);
}

// --- Activation ---

void ExperimentPage::AktivirajEksperimentClick() {
    RunCommand(ctx_.Dialog, [this] { activate(); });
}

void ExperimentPage::activate() {
    const char separator = LocaleDecimalSeparator();
    CasVzorcenjaEdit->setText(
        QString::fromStdString(RaiseSamplingTimeText(CasVzorcenjaEdit->text().toStdString(), separator)));
    const double ts = TextToFloat(CasVzorcenjaEdit->text().toStdString(), separator);
    CasCakanjaEdit->setText(
        QString::fromStdString(RaiseWaitingTimeText(CasCakanjaEdit->text().toStdString(), ts, separator)));
    if (RadioRocno->isChecked())
        activateManual(ts);
    else
        activateAutomatic();
}

void ExperimentPage::activateManual(double ts) {
    const char separator = LocaleDecimalSeparator();
    // The experiment runs whether the user saved or not; the title says why
    // a Save As dialog appears.
    SaveSettings(QString::fromUtf8(ManualSaveTitle));

    for (std::size_t k = 0; k < RecordedSignals.size(); ++k)
        ctx_.State.Data.SignalDescriptions[k] = opc_->Description(RecordedSignals[k]);

    ExperimentStart start;
    ExperimentParameters& p = start.Parameters;
    p.ExperimentLabel = LabelOfSettingsFile(QDir::toNativeSeparators(ctx_.Files.SaveDialog1.FileName).toStdString());
    const double milliseconds = std::nearbyint(ts * 1000.0);
    if (!(milliseconds <= std::numeric_limits<int>::max()))
        throw FloatingPointError("Invalid floating point operation");
    p.SamplingMs = static_cast<int>(milliseconds);
    p.ClosedLoopDuring = CheckBox_Zaprtozancni->isChecked();
    p.StartFromProcess = OhraniZacetniVhod->isChecked();
    p.InitialInput = TextToFloat(ZacetniVhodEdit->text().toStdString(), separator);
    p.ClosedLoopAfter = CheckBox_ZZPoPoizkusu->isChecked();
    p.NoWrite = CheckBox_NePisi->isChecked();
    start.Items = itemIdsFromTable();
    start.Slider = sliderSettings();
    start.Automatic = false;
    if (PrepareExperiment) PrepareExperiment(start);

    MeasuredData& data = ctx_.State.Data;
    data.ColumnCount = 6;
    data.SampleCount = 1;
    data.SamplingTime = p.SamplingMs * 0.001;

    if (RunExperiment) {
        const QScopedValueRollback<bool> running(experimentRunning_, true);
        RunExperiment(start);
    }
    if (ctx_.ShowPage) ctx_.ShowPage(DataPageIndex);
}

void ExperimentPage::activateAutomatic() {
    const Activation activation = Queue.ActivateAutomatic(DateTimePicker1->date(), CajtZacetka->text().toStdString(),
                                                          ctx_.Time.now(), [this] { return SaveSettings(); });
    showQueue();
    if (activation.Outcome != ActivationOutcome::Queued)
        ctx_.Dialog.showMessage(QString::fromStdString(activation.Message));
}

ExperimentItemIds ExperimentPage::itemIdsFromTable() const {
    ExperimentItemIds ids;
    ids.U = opc_->ItemId(SignalRole::U1);
    ids.MV = opc_->ItemId(SignalRole::MV1);
    ids.Y1 = opc_->ItemId(SignalRole::Y1);
    ids.Y2 = opc_->ItemId(SignalRole::Y2);
    // RadioGroup4: 0 one M/A item, 1 Manual + Automatic command items.
    ids.SingleMASwitch = opc_->radioGroup4Items->checkedId() == 0;
    if (ids.SingleMASwitch) {
        ids.MA = opc_->ItemId(SignalRole::InnerMA);
        ids.ManualValue = TextToInt(opc_->ComboBox3->currentText().toStdString());
    } else {
        ids.Manual = opc_->ItemId(SignalRole::InnerManual);
        ids.Automatic = opc_->ItemId(SignalRole::InnerAutomatic);
    }
    return ids;
}

SliderSettings ExperimentPage::sliderSettings() const {
    const char separator = LocaleDecimalSeparator();
    SliderSettings slider;
    slider.Maximum = TextToFloat(Edit_MVMax->text().toStdString(), separator);
    slider.Minimum = TextToFloat(Edit_MVMin->text().toStdString(), separator);
    slider.Step = TextToFloat(Edit_MVStep->text().toStdString(), separator);
    return slider;
}

void ExperimentPage::Button1Click() {
    const QDateTime now = ctx_.Time.now();
    const QDateTime start = ProposedStart(now);
    CajtZacetka->setText(QString::fromStdString(TimeText(start.time())));
    // Shortly before midnight the proposed start is tomorrow.
    if (start.date() != now.date()) DateTimePicker1->setDate(start.date());
}

void ExperimentPage::Button10Click() {
    if (!settingsWindow_) return;
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

// --- The queue ---

void ExperimentPage::showQueue() {
    const int caret = SeznamCakajocihEkspCas->currentRow();
    SeznamCakajocihEkspCas->clear();
    SeznamCakajocihEkspOznaka->clear();
    QStringList folders;
    for (int i = 0; i < Queue.Count(); ++i) {
        const auto index = static_cast<std::size_t>(i);
        SeznamCakajocihEkspCas->addItem(QString::fromStdString(Queue.StartTexts()[index]));
        SeznamCakajocihEkspOznaka->addItem(QString::fromStdString(Queue.Labels()[index]));
        folders << QString::fromStdString(Queue.Folders()[index]);
    }
    ctx_.State.QueuedExperimentFolders = folders;
    if (caret >= 0 && Queue.Count() > 0) SeznamCakajocihEkspCas->setCurrentRow(std::min(caret, Queue.Count() - 1));
    if (EnableScheduler) EnableScheduler(Queue.TimerEnabled());
}

bool ExperimentPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == SeznamCakajocihEkspCas && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        DeleteQueuedExperiment();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ExperimentPage::DeleteQueuedExperiment() {
    const int row = SeznamCakajocihEkspCas->currentRow();
    if (row < 0) return;
    RunCommand(ctx_.Dialog, [this, row] { Queue.Delete(row); });
    showQueue();
}

void ExperimentPage::SchedulerTick() {
    // The scheduler's timer keeps running through a manual experiment's modal
    // window; an entry that comes due meanwhile starts at the first tick after it.
    if (experimentRunning_) return;
    const std::optional<DueExperiment> due = Queue.Tick(ctx_.Time);
    if (!due) return;
    showQueue();  // the timer is off while the experiment runs
    if (RunCommand(ctx_.Dialog, [this, &due] { runQueued(*due); }))
        Queue.RunFinished();
    else
        Queue.RunFailed();  // shown; the experiments after it still run
    showQueue();
}

void ExperimentPage::runQueued(const DueExperiment& due) {
    ctx_.State.WorkingFolder = QString::fromStdString(due.Folder);
    ExperimentSettings settings = ReadSettingsControls(*opc_, *this, settingsWindow_);
    const std::vector<std::string> lines = LoadSettingsFile(due.SettingsPath, settings);
    WriteSettingsControls(settings, *opc_, *this, settingsWindow_);
    const ExperimentRunParameters run = RunParametersFromLines(lines, LocaleDecimalSeparator());

    for (std::size_t k = 0; k < run.SignalDescriptions.size(); ++k)
        ctx_.State.Data.SignalDescriptions[k] = run.SignalDescriptions[k];

    ExperimentStart start;
    ExperimentParameters& p = start.Parameters;
    p.ExperimentLabel = due.Label;
    p.SamplingMs = run.SamplingMs;
    p.StartFromProcess = run.StartFromProcess;
    p.InitialInput = run.InitialInput;
    p.WaitingTime = run.WaitingTime;
    p.StepAmplitude = run.StepAmplitude;
    p.StepTime = run.StepTime;
    p.NumberOfSteps = run.NumberOfSteps;
    p.BothDirections = run.BothDirections;
    p.ClosedLoopDuring = run.ClosedLoopDuring;
    p.NoWrite = run.NoWrite;
    p.ClosedLoopAfter = run.ClosedLoopAfter;
    ExperimentItemIds& ids = start.Items;
    ids.MV = run.MVItem;
    ids.U = run.UItem;
    ids.Y1 = run.Y1Item;
    ids.Y2 = run.Y2Item;
    ids.SingleMASwitch = run.SingleMASwitch;
    ids.MA = run.MAItem;
    ids.ManualValue = run.ManualValue;
    ids.Manual = run.ManualItem;
    ids.Automatic = run.AutomaticItem;
    start.Slider = sliderSettings();
    start.Automatic = true;

    if (PrepareExperiment) PrepareExperiment(start);
    if (CopyAutomaticSettings) CopyAutomaticSettings();
    if (RunExperiment) {
        const QScopedValueRollback<bool> running(experimentRunning_, true);
        RunExperiment(start);
    }
    // The record's automatic processing; a failure in it is shown like any
    // other, and the entry leaves the queue all the same: a finished
    // experiment is never run again by itself.
    if (ProcessAutomaticRun)
        ProcessAutomaticRun(ctx_.State.WorkingFolder, QString::fromStdString(due.Label), run.NoWrite);
}

// --- Settings file ---

void ExperimentPage::ShraniNastavitveClick() {
    RunCommand(ctx_.Dialog, [this] { SaveSettings(); });
}

std::optional<std::string> ExperimentPage::SaveSettings(const QString& title) {
    const ExperimentSettings settings = ReadSettingsControls(*opc_, *this, settingsWindow_);
    FileDialog& dialog = ctx_.Files.SaveDialog1;
    dialog.Title = title;
    dialog.Filter = SettingsFileFilter;
    dialog.DefaultExt = "hvx";
    dialog.OverwritePrompt = true;
    dialog.FileName = QString::fromStdString(
        ProposedSettingsFileName(CajtZacetka->text().toStdString(), ShortDateText(DateTimePicker1->date(), QLocale())));

    std::optional<std::string> saved;
    AppState& state = ctx_.State;
    if (ctx_.Dialog.execute(dialog)) {
        const std::string path = QDir::toNativeSeparators(dialog.FileName).toStdString();
        SaveSettingsFile(path, settings);
        state.WorkingFolder = QString::fromStdString(FolderOfFile(path));
        saved = path;
    }
    // Whether saved or not, the file dialogs open in the working folder.
    MainDialogs& files = ctx_.Files;
    for (FileDialog* d : {&files.SaveDialog1, &files.SaveDialog2, &files.SaveDialog_Model, &files.SaveDialog_Controller,
                          &files.OpenDialog1, &files.OpenDialog_Model, &files.OpenDialog_Controller})
        d->InitialDir = state.WorkingFolder;
    return saved;
}

void ExperimentPage::NaloziNastavitveClick() {
    RunCommand(ctx_.Dialog, [this] { loadSettings(); });
}

void ExperimentPage::loadSettings() {
    FileDialog& dialog = ctx_.Files.OpenDialog1;
    dialog.Filter = SettingsLoadFilter;
    dialog.FilterIndex = 1;
    dialog.DefaultExt = "hvx";
    if (!ctx_.Dialog.execute(dialog)) return;
    ApplySettingsLines(ReadTextLines(QDir::toNativeSeparators(dialog.FileName).toStdString()));
}

void ExperimentPage::ApplySettingsLines(const std::vector<std::string>& lines) {
    ExperimentSettings settings = ReadSettingsControls(*opc_, *this, settingsWindow_);
    ApplySettings(lines, settings);
    WriteSettingsControls(settings, *opc_, *this, settingsWindow_);
}

}  // namespace halvetra
