#include "ui/TEksperiment.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "data/SignalWindow.h"
#include "ui/Chart.h"
#include "ui/Command.h"
#include "ui/DataPage.h"
#include "ui/Dialogs.h"
#include "ui/PageContext.h"

namespace halvetra {

namespace {

QLabel* valueLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("0"), parent);
    label->setObjectName(name);
    label->setMinimumWidth(90);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// Removes the `count` oldest points of a series (its keys only grow).
void dropOldest(QCPGraph* series, int count) {
    QSharedPointer<QCPGraphDataContainer> data = series->data();
    if (count <= 0 || data->isEmpty()) return;
    if (count >= data->size())
        data->clear();
    else
        data->removeBefore(data->at(count)->key);
}

// The axes follow the data: the key axis over all points, the value axis a
// tenth of the range beyond the extremes.
void followData(Chart* chart, QCPGraph* series) {
    bool found = false;
    const QCPRange values = series->getValueRange(found);
    if (found) {
        const AxisRange axis = ValueAxisRange(values.upper, values.lower);
        chart->fixValueAxis(axis.Lower, axis.Upper);
    }
    chart->fitKeyAxis();
    chart->replot(QCustomPlot::rpQueuedReplot);
}

}  // namespace

TEksperiment::TEksperiment(Dialogs& dialogs, const Clock& clock, PlantAccess& plant, MeasuredData& data,
                           DataPage& dataPage, std::uint32_t seed, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), dataPage_(dataPage) {
    setObjectName("Eksperiment");
    setWindowTitle("Eksperiment");
    setSizeGripEnabled(true);

    // While a run waits for MV1's quality, this tick wakes the wait between
    // the connection's updates, so that it notices the end of its time.
    qualityTick_ = new QTimer(this);
    qualityTick_->setInterval(10);
    run_ = std::make_unique<ExperimentRun>(
        &plant, clock, data, seed,
        [] { QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents); },
        LocaleDecimalSeparator());

    QVBoxLayout* charts = buildCharts();
    QVBoxLayout* side = buildSideColumn();

    auto* content = new QHBoxLayout;
    content->addLayout(charts, 1);
    content->addLayout(side, 0);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addLayout(content, 1);
    layout->addWidget(StatusBar1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setTimerType(Qt::PreciseTimer);

    connectSignals();

    resize(760, 620);
}

// The four live charts, stacked.
QVBoxLayout* TEksperiment::buildCharts() {
    Chart1 = new Chart("Chart1", "Manipulative signal (mv)", this);
    Chart_U = new Chart("Chart_U", "Process input", this);
    Chart3 = new Chart("Chart3", "Process output (inner loop)", this);
    Chart2 = new Chart("Chart2", "Process output (outer loop)", this);
    LineSeries1 = Chart1->addLineSeries("LineSeries1", ColorFromBgr(0x0000FF), true);
    Series1 = Chart_U->addLineSeries("Series1", ColorFromBgr(0x000080), true);
    Series2 = Chart3->addLineSeries("Series2", ColorFromBgr(0xFF0000));
    LineSeries5 = Chart2->addLineSeries("LineSeries5", ColorFromBgr(0x008000));
    auto* charts = new QVBoxLayout;
    charts->setSpacing(2);
    for (Chart* chart : {Chart1, Chart_U, Chart3, Chart2}) {
        chart->setPlainBackground(Qt::white);
        chart->setMinimumSize(360, 90);
        charts->addWidget(chart, 1);
    }
    return charts;
}

// The column beside the charts: the run's progress, the present values, and
// the MV slider with its value box and the buttons.
QVBoxLayout* TEksperiment::buildSideColumn() {
    QGridLayout* values = buildValueRows();
    buildProgress();
    QHBoxLayout* sliderRow = buildManualControl();

    auto* side = new QVBoxLayout;
    side->addWidget(Label_ProgressStep);
    side->addWidget(Label_ProgressTime);
    side->addWidget(ProgressBar_Run);
    side->addSpacing(6);
    side->addLayout(values);
    side->addSpacing(8);
    side->addLayout(sliderRow, 1);
    return side;
}

// The present values of MV1, U1, Y1, Y2 and the run's time, each with its caption.
QGridLayout* TEksperiment::buildValueRows() {
    Label_Exp_MV = valueLabel("Label_Exp_MV", this);
    Label_Exp_U1 = valueLabel("Label_Exp_U1", this);
    Label_Exp_Y1 = valueLabel("Label_Exp_Y1", this);
    Label_Exp_Y2 = valueLabel("Label_Exp_Y2", this);
    Label2 = valueLabel("Label2", this);
    auto* values = new QGridLayout;
    struct ValueRow {
        const char* caption;
        QLabel* value;
        const char* tip;
    };
    const ValueRow rows[] = {{"MV1:", Label_Exp_MV, "Manipulated variable 1, as the run commands it"},
                             {"U1:", Label_Exp_U1, "Process input 1 (the actuator's measured position)"},
                             {"Y1:", Label_Exp_Y1, "Process output 1 (inner loop)"},
                             {"Y2:", Label_Exp_Y2, "Process output 2 (outer loop)"},
                             {"t=", Label2, "Time since the start of the run [s]"}};
    for (int r = 0; r < 5; ++r) {
        auto* caption = new QLabel(rows[r].caption, this);
        caption->setToolTip(rows[r].tip);
        rows[r].value->setToolTip(rows[r].tip);
        values->addWidget(caption, r, 0);
        values->addWidget(rows[r].value, r, 1);
    }
    return values;
}

// The step, the remaining time and the progress bar of an automatic run.
void TEksperiment::buildProgress() {
    Label_ProgressStep = new QLabel(this);
    Label_ProgressStep->setObjectName("Label_ProgressStep");
    QFont strong = Label_ProgressStep->font();
    strong.setBold(true);
    Label_ProgressStep->setFont(strong);
    Label_ProgressTime = new QLabel(this);
    Label_ProgressTime->setObjectName("Label_ProgressTime");
    ProgressBar_Run = new QProgressBar(this);
    ProgressBar_Run->setObjectName("ProgressBar_Run");
    ProgressBar_Run->setRange(0, 100);
    ProgressBar_Run->setTextVisible(true);
    ProgressBar_Run->setMaximumHeight(16);
    ProgressBar_Run->hide();
}

// The MV slider, its value box and the buttons for manual and for the end.
QHBoxLayout* TEksperiment::buildManualControl() {
    ScrollBar1 = new QScrollBar(Qt::Vertical, this);
    ScrollBar1->setObjectName("ScrollBar1");
    ScrollBar1->setRange(0, 100);
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setPageStep(10);
    ScrollBar1->setMinimumHeight(160);
    VrednostVhodaEdit = new QLineEdit(this);
    VrednostVhodaEdit->setObjectName("VrednostVhodaEdit");
    VrednostVhodaEdit->setMaximumWidth(110);
    RocniAvtomatski = new QPushButton("&Switch to manual", this);
    RocniAvtomatski->setObjectName("RocniAvtomatski");
    KonecEksperimenta = new QPushButton("&End of experiment", this);
    KonecEksperimenta->setObjectName("KonecEksperimenta");
    // Enter belongs to the value box: no button of the window is a default one.
    for (QPushButton* button : {RocniAvtomatski, KonecEksperimenta}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* control = new QVBoxLayout;
    auto* mvCaption = new QLabel("MV:", this);
    const QString mvTip = "Manipulated variable MV1: type a value and press Enter, or move the slider";
    for (QWidget* w : {static_cast<QWidget*>(mvCaption), static_cast<QWidget*>(VrednostVhodaEdit),
                       static_cast<QWidget*>(ScrollBar1)})
        w->setToolTip(mvTip);
    control->addWidget(mvCaption);
    control->addWidget(VrednostVhodaEdit);
    control->addStretch(1);
    control->addWidget(RocniAvtomatski);
    control->addWidget(KonecEksperimenta);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(ScrollBar1);
    sliderRow->addLayout(control, 1);
    return sliderRow;
}

void TEksperiment::connectSignals() {
    connect(Timer1, &QTimer::timeout, this, &TEksperiment::Timer1Timer);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TEksperiment::ScrollBar1Change);
    connect(VrednostVhodaEdit, &QLineEdit::returnPressed, this, &TEksperiment::VrednostVhodaEditEnter);
    connect(RocniAvtomatski, &QPushButton::clicked, this, &TEksperiment::RocniAvtomatskiClick);
    connect(KonecEksperimenta, &QPushButton::clicked, this, &TEksperiment::KonecEksperimentaClick);
}

TEksperiment::~TEksperiment() { Timer1->stop(); }

// --- Starting a run ------------------------------------------------------------

void TEksperiment::PrepareRun(const ExperimentParameters& parameters, const ExperimentItemIds& items, bool automatic) {
    run_->Parameters = parameters;
    run_->PrepareItems(items);
    RocniAvtomatski->setVisible(automatic);
    RocniAvtomatski->setEnabled(true);
    ScrollBar1->setEnabled(!automatic);
    VrednostVhodaEdit->setEnabled(!automatic);
}

bool TEksperiment::RunModal(const SliderSettings& slider, bool automatic, std::function<bool()> manualExperimentChecked,
                            std::function<void()> checkManualExperiment) {
    manualExperimentChecked_ = std::move(manualExperimentChecked);
    checkManualExperiment_ = std::move(checkManualExperiment);
    automatic_ = automatic;
    failedSamples_ = 0;

    {
        // A failure here (the controller's mode) ends the start; nothing is shown.
        struct TickGuard {
            QTimer* tick;
            ~TickGuard() { tick->stop(); }
        } guard{qualityTick_};
        qualityTick_->start();
        if (automatic)
            run_->StartAutomaticRun();
        else
            run_->StartManualRun(
                [this](const std::string& text) { dialogs_.showMessage(QString::fromStdString(text)); });
    }

    // Showing the window: empty charts, the first sample at t = 0, the timer.
    for (QCPGraph* series : {LineSeries1, Series1, Series2, LineSeries5}) series->data()->clear();
    syncManualExperiment();
    const auto startTimer = [this] {
        shownValueText_ = QString::fromStdString(run_->View().ValueText);
        VrednostVhodaEdit->setText(shownValueText_);
        Timer1->setInterval(run_->View().TimerInterval);
        if (run_->Running()) Timer1->start();
    };
    RunCommand(dialogs_, [this, &slider, &startTimer] {
        SampleOutcome outcome;
        try {
            outcome = run_->FormShow(slider);
        } catch (...) {
            // A failed first sample is shown as the first failed sample of the
            // run; the timer already runs, so the run goes on meanwhile.
            ++failedSamples_;
            applyView();
            startTimer();
            throw;
        }
        startTimer();
        afterSample(outcome);
    });

    if (run_->Running()) {
        if (ModalLoop)
            ModalLoop(*this);
        else
            exec();
    }
    // However the window closed, the run has ended and its record is handed on.
    if (run_->Running()) endRun();
    Timer1->stop();
    return run_->Ended();
}

void TEksperiment::syncManualExperiment() {
    // The main window's button rules an automatic run; a manual run never steps.
    if (automatic_ && manualExperimentChecked_) run_->SetManualExperiment(manualExperimentChecked_());
}

// --- Sampling ------------------------------------------------------------------

void TEksperiment::SampleNow() { Timer1Timer(); }

void TEksperiment::Timer1Timer() {
    if (!run_->Running()) {
        Timer1->stop();
        return;
    }
    auto sample = [this] {
        syncManualExperiment();
        SampleOutcome outcome;
        try {
            outcome = run_->Timer1Timer();
        } catch (...) {
            ++failedSamples_;  // before any message is shown, so that ticks meanwhile stay quiet
            throw;
        }
        afterSample(outcome);
    };
    // The first failure of a run in a message that does not stop the
    // sampling (a timer does not fire again while its own slot waits for a
    // modal message), every later one in the status line.
    QString failure;
    try {
        sample();
        return;
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("Unknown error");
    }
    if (failedSamples_ == 1)
        dialogs_.notify(failure);
    else
        sampleFailed(failure);
}

void TEksperiment::sampleFailed(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    StatusBar1->showMessage(QStringLiteral("  Failed samples in this run: %1. Last: %2").arg(failedSamples_).arg(line));
}

void TEksperiment::afterSample(const SampleOutcome& outcome) {
    if (outcome.Taken) applyChart(outcome.Chart);
    StatusBar1->showMessage(QString::fromStdString(run_->View().StatusText));
    applyView();
    if (outcome.Ended) finishRun();
    // Once per run; the sampling goes on while the message is open.
    if (!outcome.FirstWriteRefusal.empty()) dialogs_.notify(QString::fromStdString(outcome.FirstWriteRefusal));
}

void TEksperiment::applyChart(const ChartUpdate& update) {
    const std::pair<Chart*, QCPGraph*> charts[] = {
        {Chart1, LineSeries1}, {Chart_U, Series1}, {Chart3, Series2}, {Chart2, LineSeries5}};
    const double values[] = {update.Add.MV, update.Add.U1, update.Add.Y1, update.Add.Y2};
    for (int k = 0; k < 4; ++k) {
        QCPGraph* series = charts[k].second;
        dropOldest(series, update.DropOldest);
        series->data()->add(QCPGraphData(update.Add.Time, values[k]));
        followData(charts[k].first, series);
    }
}

void TEksperiment::applyView() {
    const ExperimentView& v = run_->View();
    if (!v.Caption.empty()) setWindowTitle(QString::fromStdString(v.Caption));
    Label_Exp_MV->setText(QString::fromStdString(v.LabelMV));
    Label_Exp_U1->setText(QString::fromStdString(v.LabelU1));
    Label_Exp_Y1->setText(QString::fromStdString(v.LabelY1));
    Label_Exp_Y2->setText(QString::fromStdString(v.LabelY2));
    Label2->setText(QString::fromStdString(v.LabelTime));
    Label_ProgressStep->setText(QString::fromStdString(v.ProgressStep));
    Label_ProgressTime->setText(QString::fromStdString(v.ProgressTime));
    ProgressBar_Run->setVisible(v.ProgressPercent >= 0);
    if (v.ProgressPercent >= 0) ProgressBar_Run->setValue(v.ProgressPercent);
    {
        // The run has already handled the position it reports.
        const QSignalBlocker block(ScrollBar1);
        if (ScrollBar1->minimum() != v.SliderMinimum || ScrollBar1->maximum() != v.SliderMaximum)
            ScrollBar1->setRange(v.SliderMinimum, v.SliderMaximum);
        if (ScrollBar1->value() != v.SliderPosition) ScrollBar1->setValue(v.SliderPosition);
    }
    // The box shows the run's text only when the run changed it, so that a
    // sample never overwrites what the user is typing.
    const QString valueText = QString::fromStdString(v.ValueText);
    if (valueText != shownValueText_) {
        VrednostVhodaEdit->setText(valueText);
        shownValueText_ = valueText;
    }
    ScrollBar1->setEnabled(v.SliderEnabled);
    VrednostVhodaEdit->setEnabled(v.ValueBoxEnabled);
    RocniAvtomatski->setVisible(v.SwitchButtonVisible);
    RocniAvtomatski->setEnabled(v.SwitchButtonEnabled);
}

// --- The user's actions ------------------------------------------------------------

void TEksperiment::ScrollBar1Change(int position) {
    RunCommand(dialogs_, [this, position] {
        run_->ScrollBar1Change(position);
        applyView();
    });
}

void TEksperiment::VrednostVhodaEditEnter() {
    RunCommand(dialogs_, [this] {
        run_->EnterValue(VrednostVhodaEdit->text().toStdString());
        applyView();
    });
}

void TEksperiment::RocniAvtomatskiClick() {
    RunCommand(dialogs_, [this] {
        run_->SwitchToManual();
        if (checkManualExperiment_) checkManualExperiment_();
        applyView();
    });
}

void TEksperiment::KonecEksperimentaClick() {
    RunCommand(dialogs_, [this] {
        if (run_->Running())
            endRun();
        else
            QDialog::done(QDialog::Rejected);
    });
}

void TEksperiment::reject() {
    if (run_->Running())
        endRun();
    else
        QDialog::reject();
}

void TEksperiment::closeEvent(QCloseEvent* event) {
    if (run_->Running()) endRun();
    QDialog::closeEvent(event);
}

// --- The end of a run ------------------------------------------------------------

void TEksperiment::endRun() {
    if (run_->EndExperiment()) finishRun();
}

void TEksperiment::finishRun() {
    Timer1->stop();
    applyView();
    const ExperimentEnd end = run_->EndResult();
    // The record goes to the Data page even when its settings boxes hold a
    // text that is not a number (the failure is shown), and the window closes.
    RunCommand(dialogs_, [this] {
        dataPage_.LoadRecordedData(dataPage_.Edit8->text(), dataPage_.Edit_Actuator_Maximum->text(),
                                   dataPage_.Edit_Actuator_Minimum->text(), dataPage_.Edit_Actuator_Velocity->text());
    });
    if (end.ApplyDataWindowStart) dataPage_.SetWindowStart(end.DataWindowStart);
    QDialog::done(QDialog::Accepted);
    if (!end.LoopModeError.empty()) dialogs_.showMessage(QString::fromStdString(end.LoopModeError));
}

}  // namespace halvetra
