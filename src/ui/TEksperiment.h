#pragma once
// The experiment window: the modal window in which every step-response
// experiment runs, manual or automatic. It shows what the run core says (four
// live charts, the present values, the MV slider and value box) and passes the
// user's actions and the sampling timer on to it. At the end of a run it hands
// the record to the Data page and closes.
//
// A run ends with "End of experiment", with the end of the step sequence, with
// the sample limit, or when the window is closed any other way (title bar,
// Escape): the window never goes on sampling while it is not shown.
//
// Failed samples: the first one of a run is shown in a message box, every
// later one of the same run only in the status bar with the count so far. The
// timer keeps running meanwhile, so an unattended automatic run goes on with
// its step sequence and a plant that fails at every sample never piles up
// message boxes.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>

#include "experiment/ExperimentRun.h"

class QCPGraph;
class QCloseEvent;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QTimer;
class QVBoxLayout;

namespace halvetra {

class Chart;
class Clock;
class DataPage;
class Dialogs;

class TEksperiment : public QDialog {
    Q_OBJECT
public:
    // data is the main window's measured data set, which the Data page shows;
    // the plant connection and the Data page outlive the window. The run core
    // adds its group to the plant here, so make one window per plant connection.
    TEksperiment(Dialogs& dialogs, const Clock& clock, PlantAccess& plant, MeasuredData& data, DataPage& dataPage,
                 std::uint32_t seed, QWidget* parent = nullptr);
    ~TEksperiment() override;

    ExperimentRun& Run() { return *run_; }

    // The parameters and items of the next run. An automatic run shows "Switch
    // to manual" and starts with the slider and the value box disabled.
    // Raises when an item cannot be added.
    void PrepareRun(const ExperimentParameters& parameters, const ExperimentItemIds& items, bool automatic);

    // Starts the run (a manual one tells through the dialogs when MV1 has no
    // good quality and the simulation runs instead), shows the window modally
    // and returns when the run has ended and its record is on the Data page:
    // true then. Raises, without showing the window, when the run cannot start
    // (the controller's mode cannot be commanded).
    // manualExperimentChecked reads and checkManualExperiment checks the main
    // window's "Manual experiment" button: while it is checked, the step
    // sequence of an automatic run stands still. A manual run never steps.
    bool RunModal(const SliderSettings& slider, bool automatic, std::function<bool()> manualExperimentChecked,
                  std::function<void()> checkManualExperiment);

    // One sample, as Timer1 takes it.
    void SampleNow();

    // What shows the window modally and returns once it has closed; exec()
    // unless set. Tests set it to drive a run without a nested event loop.
    std::function<void(TEksperiment&)> ModalLoop;

    // Failed samples of the present (or last) run.
    int FailedSamples() const { return failedSamples_; }

    Chart* Chart1;          // "Manipulative signal (mv)"
    Chart* Chart_U;         // "Process input"
    Chart* Chart3;          // "Process output (inner loop)"
    Chart* Chart2;          // "Process output (outer loop)"
    QCPGraph* LineSeries1;  // manipulative signal
    QCPGraph* Series1;      // process input
    QCPGraph* Series2;      // process output 1
    QCPGraph* LineSeries5;  // process output 2
    QLabel* Label_Exp_MV;   // present MV1
    QLabel* Label_Exp_U1;   // present U1
    QLabel* Label_Exp_Y1;   // present Y1
    QLabel* Label_Exp_Y2;   // present Y2
    QLabel* Label2;         // the time, after "t="
    // The run's progress: step k of N, elapsed and remaining time.
    QLabel* Label_ProgressStep;
    QLabel* Label_ProgressTime;
    QProgressBar* ProgressBar_Run;   // shown while the run has a planned end
    QScrollBar* ScrollBar1;          // MV slider
    QLineEdit* VrednostVhodaEdit;    // MV value: typed and applied on Enter
    QPushButton* RocniAvtomatski;    // "Switch to manual"
    QPushButton* KonecEksperimenta;  // "End of experiment"
    QStatusBar* StatusBar1;          // the run's messages
    QTimer* Timer1;                  // the sampling tick

public slots:
    void Timer1Timer();                   // one sampling tick of the run
    void ScrollBar1Change(int position);  // the MV slider moved
    void VrednostVhodaEditEnter();        // Enter in the MV value box
    void RocniAvtomatskiClick();          // "Switch to manual": the slider and the value box take over MV1
    void KonecEksperimentaClick();        // "End of experiment"

    // Closing the window without "End of experiment" ends the run all the same.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's parts, one builder each, called in this order by the constructor.
    QVBoxLayout* buildCharts();
    QVBoxLayout* buildSideColumn();  // the three below
    QGridLayout* buildValueRows();
    void buildProgress();
    QHBoxLayout* buildManualControl();
    void connectSignals();

    void applyView();
    void applyChart(const ChartUpdate& update);
    void afterSample(const SampleOutcome& outcome);
    void sampleFailed(const QString& text);
    void endRun();
    void finishRun();
    void syncManualExperiment();

    Dialogs& dialogs_;
    DataPage& dataPage_;
    std::unique_ptr<ExperimentRun> run_;
    QTimer* qualityTick_;  // wakes the wait for MV1's quality
    bool automatic_ = false;
    int failedSamples_ = 0;
    QString shownValueText_;  // the value box text last taken from the run
    std::function<bool()> manualExperimentChecked_;
    std::function<void()> checkManualExperiment_;
};

}  // namespace halvetra
